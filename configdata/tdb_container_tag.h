// TDBContainerTag: the editable container node of a tag tree. Its children are (interned
// name, node) pairs in insertion order, kept in a ring block list of 13 pairs per block; names
// are matched by identity of the interned string, so callers intern (and lower-case, where
// matching ignores case) the names they look up.
//
// The static operations are how the rest of the program reads and writes configuration values:
// on a reference that holds a container (an editable one or a view of a loaded binary soup),
// addressed by child name, with the value converters of acs_converter.h between the stored type
// and the type asked for.
#pragma once

#include <vector>

#include "configdata/kuid.h"
#include "configdata/kuid_list.h"
#include "configdata/tdb_tag_ref.h"
#include "foundation/blocklist.h"

class TagArena;

class TDBContainerTag : public ACSChunk {
public:
    TDBContainerTag() = default;
    ~TDBContainerTag() override;

    // A new node as a container makes it: type 1 an empty container (the data is ignored),
    // any other type a TDBDataTag holding that type and data.
    static TDBTagRef MakeTag(uint32_t type, const ACSRawDataRef& data);
    // The same in the arena, the value's `size` bytes copied in beside the node.
    static TDBTagRef MakeTagIn(TagArena& arena, uint32_t type, const void* data, uint32_t size);

    // A child as a builder gathers it; an empty node is left out.
    struct NamedChild {
        Kiv::PString name;
        TDBTagRef node;
    };
    // A new container in the arena with the children in order, taken out of `children` (which
    // is left empty). They stay in one array in the arena, exactly as large as they need, until
    // the container is first changed, when they move to the usual block list.
    static TDBTagRef MakeContainerIn(TagArena& arena, std::vector<NamedChild>& children);

    TDBTagRef FindChild(const Kiv::PString& name) const override;
    TDBTagRef FindChildForEdit(const Kiv::PString& name) override { return FindChild(name); }
    uint32_t GetChildCount() const override { return count_; }
    bool GetChildAt(uint32_t index, Kiv::PString& name, TDBTagRef& node) const override;
    // Orders the children by the bytes of their names (shorter first when one is a prefix of
    // the other). Not stable.
    void SortChildren() override;
    void SwapChildren(const TDBTagRef& a, const TDBTagRef& b) override;
    // Appends without looking for a child of the same name.
    void AddChild(const Kiv::PString& name, const TDBTagRef& node) override;
    void RemoveChild(const TDBTagRef& node) override;
    TDBTagRef CreateTag(uint32_t type, const ACSRawDataRef& data) override {
        return MakeTag(type, data);
    }
    uint32_t GetType() const override { return kTagContainer; }

    // A byte of state that this class never reads; cleared at construction and by copies.
    uint8_t GetFlags() const { return flags_; }
    void SetFlags(uint8_t flags) { flags_ = flags; }

    // --- getters ---------------------------------------------------------------------------
    // An empty reference, a missing child and a child of type 0 give the default. A value
    // converts to the type asked for (text "12" reads as the int 12 and the float 12.0, text
    // "12abc" as neither); a number getter takes exactly one value (a list gives the default).
    static int32_t GetInt(const TDBTagRef& tag, const Kiv::PString& name, int32_t defaultValue);
    // GetInt with the default as 0 or 1, then non-zero.
    static bool GetBool(const TDBTagRef& tag, const Kiv::PString& name, bool defaultValue);
    static float GetFloat(const TDBTagRef& tag, const Kiv::PString& name, float defaultValue);
    // Text converts without the strict check ("1234" is (-1, 1234, 127)).
    static KUID GetKUID(const TDBTagRef& tag, const Kiv::PString& name, const KUID& defaultValue);
    // The value as text; the interned empty text when there is none.
    static Kiv::PString GetString(const TDBTagRef& tag, const Kiv::PString& name);
    // Fills `values` with the value as floats (a text gives at most one) and returns true; false,
    // with `values` untouched, when the child is missing or does not convert.
    static bool GetFloatArray(const TDBTagRef& tag, const Kiv::PString& name,
                              std::vector<float>& values);
    // The child's bytes as stored; empty when missing or of type 0.
    static ACSRawDataRef GetRawData(const TDBTagRef& tag, const Kiv::PString& name);
    using ACSChunk::GetRawData;
    // The child's type code; 0 when missing.
    static uint32_t GetTagType(const TDBTagRef& tag, const Kiv::PString& name);
    // A child of that name exists and its type is not 0.
    static bool HasTag(const TDBTagRef& tag, const Kiv::PString& name);
    // The child when it is a container, else an empty reference.
    static TDBTagRef GetContainer(const TDBTagRef& tag, const Kiv::PString& name);
    static TDBTagRef GetContainerAt(const TDBTagRef& tag, uint32_t index);
    // The name of the child at the index; the interned empty text when there is none.
    static Kiv::PString GetChildName(const TDBTagRef& tag, uint32_t index);
    // 0 for an empty reference.
    static uint32_t CountChildren(const TDBTagRef& tag);

    // --- setters ---------------------------------------------------------------------------
    // Each makes an empty reference a new container (TDBTagRef::EnsureContainer), removes the
    // child of that name, and appends a new node: the value always becomes the last child.
    static void SetInt(TDBTagRef& tag, const Kiv::PString& name, int32_t value);
    static void SetBool(TDBTagRef& tag, const Kiv::PString& name, bool value);
    static void SetFloat(TDBTagRef& tag, const Kiv::PString& name, float value);
    static void SetFloatArray(TDBTagRef& tag, const Kiv::PString& name,
                              const std::vector<float>& values);
    // The characters and a NUL; a null text gives a text node without data.
    static void SetString(TDBTagRef& tag, const Kiv::PString& name, const Kiv::PString& text);
    static void SetKUID(TDBTagRef& tag, const Kiv::PString& name, const KUID& kuid);
    // A name with no value (type 0): HasTag reports false for it, the file forms keep it.
    static void SetEmpty(TDBTagRef& tag, const Kiv::PString& name);
    // Both references are made containers first; the child is shared, not copied.
    static void SetContainer(TDBTagRef& tag, const Kiv::PString& name, TDBTagRef& container);
    // Removes the first child of that name; nothing when there is none.
    static void RemoveTag(const TDBTagRef& tag, const Kiv::PString& name);

    // --- KUID tables ("0", "1", ... each holding one KUID) ----------------------------------
    // A new container of the list's non-null KUIDs, in order; null KUIDs use no number.
    static TDBTagRef FromKUIDList(const KUIDBlockList& list);
    // Appends every child's non-null KUID (GetKUID, so text converts loosely) not yet listed.
    static void CollectChildKUIDs(const TDBTagRef& tag, KUIDBlockList& list);
    // Appends every non-null KUID of the whole tree not yet listed, depth first: KUID values,
    // and texts that parse as KUIDs in strict mode ("kuid:1:2" does, "1:2" does not). False
    // when the tree nests deeper than kMaxTagTreeDepth; the deeper levels are not searched.
    static bool CollectAllKUIDs(const TDBTagRef& tag, KUIDBlockList& list);
    // The first of "0", "1", ... that no child is named.
    static Kiv::PString GetFreeNumericName(const TDBTagRef& tag);

    // --- copies and dumps ------------------------------------------------------------------
    // A deep copy in a new container that shares no node with the source (value bytes are
    // shared). Empty when the source nests deeper than kMaxTagTreeDepth.
    static TDBTagRef Clone(const TDBTagRef& source);
    // The tree in the text form, to the process log ("%s") or to standard output.
    static void LogAsText(const TDBTagRef& tree);
    static void PrintAsText(const TDBTagRef& tree);

private:
    // A pair holds one reference to its node and one to its name. The name handle is a single
    // pointer, so the block list may move a pair's bytes as a whole.
    struct Pair {
        alignas(Kiv::PString) unsigned char nameBytes[sizeof(Kiv::PString)];
        ACSChunk* node;

        Kiv::PString& Name() { return *std::launder(reinterpret_cast<Kiv::PString*>(nameBytes)); }
        const Kiv::PString& Name() const {
            return *std::launder(reinterpret_cast<const Kiv::PString*>(nameBytes));
        }
    };
    using PairList = BlockList<Pair, 13>;

    PairList::Iterator FindNode(const ACSChunk* node) const;
    // Moves every child's node reference to `out` and drops the names, leaving no children.
    void TakeChildren(std::vector<ACSChunk*>& out);
    void Changed() { cursorBlock_ = nullptr; }
    // Moves packed children into the block list, before any change.
    void Unpack();

    PairList children_;
    // The children of a container made by MakeContainerIn while it is unchanged (count_ of
    // them, in the arena); null otherwise.
    Pair* packed_ = nullptr;
    uint32_t count_ = 0;
    uint8_t flags_ = 0;
    // Where the last indexed lookup landed, so walking the children by index costs one step
    // each rather than a walk from the first block.
    mutable const PairList::Block* cursorBlock_ = nullptr;
    mutable uint32_t cursorBase_ = 0;
};
