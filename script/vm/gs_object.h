// Script objects and the references that scripts hold to them.
//
// Every value a script can reference (a class instance, a string, an array, a game object, a
// native object of the host) is a native object (GSObjectReference) joined to one counted
// script instance. The instance lives in the reference region: a header laid out just before
// its member area, then one 32-bit word per member word of its class. A reference is the
// region offset of one class part of the member area; the part's first word n gives the header
// at (part + 4n - kHeaderBytes), so a reference to any base-class part counts on the same
// header as the primary reference. Instances are tracked by their context's registry, which
// tears every live instance down in three passes (pin, drop references, finalise), so cycles
// between instances, strings and arrays free too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "script/vm/gs_class.h"
#include "script/vm/reference_region.h"

namespace GSRuntime {

class GSContext;
class GSTrackedRegistry;
struct TrackedBlock;

enum ObjectKind : int32_t {
    kKindArray = 1,
    kKindString = 2,
    kKindObject = 3,
    kKindGameObject = 4,
};

// The region's base, set once when the region is reserved.
extern char* g_regionBase;
inline uint32_t* RefWords(Ref r) {
    return reinterpret_cast<uint32_t*>(g_regionBase + r);
}

class GSObjectReference {
public:
    explicit GSObjectReference(int32_t kind) : kind_(kind) {}
    virtual ~GSObjectReference() = default;
    GSObjectReference(const GSObjectReference&) = delete;
    GSObjectReference& operator=(const GSObjectReference&) = delete;

    // The reference of the instance the object owns, 0 when none.
    virtual Ref GetInstance() const = 0;
    // A game object whose threads still run is not deleted when its count reaches zero: it
    // is flagged and handed to its router (true). Other objects are deleted at once (false).
    virtual bool DeferDeletion() { return false; }
    // A context's teardown, before it releases members: a game object stops its threads and
    // handlers here (it is deleted with the rest in the last pass).
    virtual void StopScripts() {}

    int32_t Kind() const { return kind_; }

    // Native script objects come from the "#GSContext" heap.
    static void* operator new(size_t bytes);
    static void* operator new(size_t bytes, const std::nothrow_t&) noexcept;
    static void operator delete(void* block);

protected:
    int32_t kind_;
};

// Entries of a context's registry: the three teardown passes call these in order.
class GSTrackedObject {
public:
    virtual void Pin() {}
    virtual void DropReferences() {}
    virtual void Finalise() { slot = nullptr; }

    struct TrackedSlot* slot = nullptr;

protected:
    ~GSTrackedObject() = default;
};

struct TrackedSlot {
    void* objectOrNext;   // the object when used, the next free slot when free
    TrackedBlock* block;  // the block of a used slot, null when free
};

inline constexpr uint32_t kTrackedSlotsPerBlock = 1022;

struct TrackedBlock {
    GSTrackedRegistry* owner;
    TrackedSlot* freeHead;
    TrackedSlot slots[kTrackedSlotsPerBlock];
};

class GSTrackedRegistry {
public:
    explicit GSTrackedRegistry(GSContext* context) : context_(context) {}
    ~GSTrackedRegistry() { TearDown(); }
    GSTrackedRegistry(const GSTrackedRegistry&) = delete;
    GSTrackedRegistry& operator=(const GSTrackedRegistry&) = delete;

    // False when no block can be had.
    bool Register(GSTrackedObject* object);
    void Unregister(GSTrackedObject* object);
    // The three passes over every registered object, then every block is freed.
    void TearDown();

    GSContext* Context() const { return context_; }
    bool TearingDown() const { return tearingDown_; }
    size_t BlockCount() const { return blocks_.size(); }

private:
    GSContext* context_;
    std::vector<TrackedBlock*> blocks_;
    TrackedBlock* current_ = nullptr;
    bool tearingDown_ = false;
};

// The header of one script instance; the member area follows it directly.
class GSScriptInstance final : public GSTrackedObject {
public:
    int32_t refCount = 1;
    uint32_t allocBytes = 0;
    GSObjectReference* owner = nullptr;  // strings and arrays own themselves
    GSClass* cls = nullptr;              // null for strings and arrays

    uint32_t* Members() { return reinterpret_cast<uint32_t*>(this + 1); }
    Ref PrimaryRef() const {
        return static_cast<uint32_t>(reinterpret_cast<const char*>(this) - g_regionBase) +
               static_cast<uint32_t>(sizeof(GSScriptInstance));
    }
    // The context whose registry holds the instance, null when it is in none.
    GSContext* Context() const;

    void Pin() override { refCount += 2; }
    void DropReferences() override;
    void Finalise() override;
};

inline constexpr size_t kHeaderBytes = sizeof(GSScriptInstance);
static_assert(kHeaderBytes % 8 == 0, "the member area must stay 8-aligned");
// The most member words an instance can have: its bytes must fit a reference-region block.
inline constexpr uint32_t kMaxMemberWords = (0x7FFFFFF0u - kHeaderBytes) / 4;

inline GSScriptInstance* GetHeader(Ref r) {
    int32_t n = static_cast<int32_t>(*RefWords(r));
    return reinterpret_cast<GSScriptInstance*>(g_regionBase + r + int64_t{4} * n -
                                               static_cast<int64_t>(kHeaderBytes));
}
// The header behind a word taken as a reference; null for 0 and for any word that is no part
// of a live instance. Words the code verifier could not settle (a tampered library can put a
// number where a reference belongs) go through here before they are read as an object: the
// part word is read only inside committed memory, and the header it names must be a live block
// of the region that holds the part.
inline GSScriptInstance* LiveHeader(Ref r) {
    if (r == 0 || r % 4 != 0) return nullptr;
    if (!ReferenceRegion::IsCommitted(r, 4)) return nullptr;
    int64_t at = int64_t{r} + int64_t{4} * static_cast<int32_t>(*RefWords(r)) -
                 static_cast<int64_t>(kHeaderBytes);
    if (at <= 0 || at > int64_t{r} || !ReferenceRegion::IsLiveBlock(static_cast<uint32_t>(at)))
        return nullptr;
    auto* h = reinterpret_cast<GSScriptInstance*>(g_regionBase + at);
    if (uint64_t{r} + 4 > static_cast<uint64_t>(at) + h->allocBytes) return nullptr;
    return h;
}
// The native object behind a reference; null for 0 and for a word that is no live reference.
inline GSObjectReference* GetOwner(Ref r) {
    GSScriptInstance* h = LiveHeader(r);
    return h != nullptr ? h->owner : nullptr;
}
// Counts one more holder; a word that is no live reference counts nothing (null).
inline GSScriptInstance* AddReference(Ref r) {
    GSScriptInstance* h = LiveHeader(r);
    if (h != nullptr) ++h->refCount;
    return h;
}
// What follows the last release: the owner's deletion or the instance's release and free.
void ReleaseLastHeader(GSScriptInstance* header);
inline void ReleaseHeader(GSScriptInstance* header) {
    if (--header->refCount > 0) return;
    ReleaseLastHeader(header);
}
// A word that is no live reference has nothing to release.
inline void ReleaseReference(Ref r) {
    if (GSScriptInstance* h = LiveHeader(r)) ReleaseHeader(h);
}

// A new instance with `memberWords` zeroed member words (at least one), count 1, registered in
// `registry` when one is given. Null when the memory cannot be had.
GSScriptInstance* AllocateInstance(GSTrackedRegistry* registry, uint32_t memberWords,
                                   GSObjectReference* owner, GSClass* cls);
// Unregisters the instance (unless its registry is being torn down) and frees its memory.
void FreeInstance(GSScriptInstance* header);
// Releases and zeroes the reference members of an instance of `cls`, the bases' parts from the
// last base entry to the first, then the class's own; false when the instance is of another
// class.
bool ReleaseMemberReferences(GSScriptInstance* header, const GSClass* cls);
// The reference to the part of `cls` in the instance, 0 when it has none (or when a game
// object's instance has lost its owner).
Ref GetClassData(GSScriptInstance* header, const GSClass* cls);

// A plain native object that scripts see (kind 3); the host's native classes derive from it.
class GSObject : public GSObjectReference {
public:
    GSObject() : GSObjectReference(kKindObject) {}
    ~GSObject() override;

    Ref GetInstance() const override { return instance; }
    // A null class drops the instance (false); a class creates one in `context` when the
    // object has none yet (the result of the creation); with an instance present: false.
    virtual bool Instantiate(GSClass* cls, GSContext* context);

    Ref instance = 0;
    GSContext* context = nullptr;

protected:
    explicit GSObject(int32_t kind) : GSObjectReference(kind) {}
    // Clears the header's owner, releases one reference, clears `instance` and `context`.
    void DropInstance();
};

}  // namespace GSRuntime
