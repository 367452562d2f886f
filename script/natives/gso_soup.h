// GSOSoup, the native object of the script class "Soup": a counted reference to a node of a
// tag tree and a locked flag. Soups made from one another share nodes (only Copy copies), so a
// change through one is seen through all; a locked soup, and every sub-soup got from it, refuses
// every change.
//
// Sharing never builds a cycle: SetNamedSoup and AddUniqueNamedSoup refuse a soup whose tree
// holds the target's node, since every walk of the tree (copies, text, release) would go round
// for ever. Trees nested deeper than the config readers take (kMaxTagTreeDepth) are refused by
// Copy, AsString, Log and as message data instead of being walked.
//
// Sharing still lets a tree be far larger than the nodes it is made of: a walk visits a shared
// sub-soup once in every place it is held, so a chain of forty soups, each holding the next
// twice, walks as 2^41 tags. Copy, AsString, Log and message data therefore refuse a tree whose
// walk would visit more than kMaxWalkedTags tags ("Soup.Copy> soup holds more than 1000000
// tags"), counting the visits before they make anything.
#pragma once

#include "configdata/tdb_tag_ref.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_stack.h"

namespace ScriptNatives {

class GSOSoup : public GSRuntime::GSObject {
public:
    // Empty and unlocked; instantiated at once with the Soup class slot in `context` (none
    // without either).
    explicit GSOSoup(GSRuntime::GSContext* context);
    GSOSoup(GSRuntime::GSContext* context, const TDBTagRef& soup, bool locked);

    const TDBTagRef& GetSoup() const { return soup_; }
    // Makes the soup hold another tree (as Copy does); the caller checks the lock.
    void SetSoup(TDBTagRef soup) { soup_ = std::move(soup); }

    // The most tags one Copy, AsString, Log or message data walks: far more than any asset's
    // configuration holds, far fewer than a few dozen shared sub-soups can expand to.
    static constexpr uint32_t kMaxWalkedTags = 1'000'000;
    // True when a walk of `tree` would visit more than kMaxWalkedTags tags, each counted once
    // per place it is held. Costs at most that many steps, whatever the tree.
    static bool WalksTooManyTags(const TDBTagRef& tree);
    bool IsLockedSoup() const { return locked_; }

    // The natives, in their table order.
    void CountTags(GSRuntime::GSStack& frame);
    void GetNamedTag(GSRuntime::GSStack& frame);
    void GetNamedSoup(GSRuntime::GSStack& frame);
    void GetNamedSoupAdd(GSRuntime::GSStack& frame);
    void GetIndexedTagName(GSRuntime::GSStack& frame);
    void GetIndexForNamedTag(GSRuntime::GSStack& frame);
    void GetNamedTagAsKUID(GSRuntime::GSStack& frame);
    void GetNamedTagAsInt(GSRuntime::GSStack& frame);
    void GetNamedTagAsIntOr(GSRuntime::GSStack& frame);
    void GetNamedTagAsFloat(GSRuntime::GSStack& frame);
    void GetNamedTagAsFloatOr(GSRuntime::GSStack& frame);
    void SetNamedTagString(GSRuntime::GSStack& frame);
    void SetNamedTagFloat(GSRuntime::GSStack& frame);
    void SetNamedTagInt(GSRuntime::GSStack& frame);
    void SetNamedTagKUID(GSRuntime::GSStack& frame);
    void SetNamedSoup(GSRuntime::GSStack& frame);
    void RemoveNamedTag(GSRuntime::GSStack& frame);
    void Copy(GSRuntime::GSStack& frame);
    void Clear(GSRuntime::GSStack& frame);
    void IsLocked(GSRuntime::GSStack& frame);
    void GetLockedReference(GSRuntime::GSStack& frame);
    void AddUniqueNamedSoup(GSRuntime::GSStack& frame);
    void Log(GSRuntime::GSStack& frame);
    void AsString(GSRuntime::GSStack& frame);

    // Message data from a script object: a copy of a Soup's tree without its top-level tags
    // whose names begin with "__"; nothing for other objects. The reason, with nothing made,
    // when the tree holds too many tags or nests too deep to copy; null otherwise.
    static const char* MessageData(GSRuntime::GSObjectReference* object,
                                   CountedRef<ACSChunk>& data);
    // The script Soup a message's data becomes: locked, over the message's own tree; 0 for no
    // data. The reference is handed to the caller.
    static GSRuntime::Ref MessageSoup(GSRuntime::GSContext* context,
                                      const CountedRef<ACSChunk>& data);

private:
    GSRuntime::GSContext* OwnContext() const;
    // The lower-cased name at parameter 1; false (the error raised) when null or empty.
    static bool NameParam(GSRuntime::GSStack& frame, Kiv::PString& name);
    // Raises "<native>> soup holds more than 1000000 tags" when WalksTooManyTags.
    bool RefusedAsTooLarge(const char* native) const;
    // Raises "<native>> parent soup is locked" when locked.
    bool RefusedAsLocked(const char* native) const;
    // The shared part of SetNamedSoup and AddUniqueNamedSoup: the refusals of a soup parameter.
    bool RefusedSubSoup(const char* native, const GSOSoup* sub) const;
    void PushNewSoup(GSRuntime::GSStack& frame, const TDBTagRef& soup, bool locked) const;

    TDBTagRef soup_;
    bool locked_ = false;
};

}  // namespace ScriptNatives
