// TDBContainerTag: the editable container node of a tag tree. Its children are (interned
// name, node) pairs in insertion order, kept in a ring block list of 13 pairs per block; names
// are matched by identity of the interned string, so callers intern (and lower-case, where
// matching ignores case) the names they look up.
#pragma once

#include <vector>

#include "configdata/tdb_tag_ref.h"
#include "foundation/blocklist.h"

class TDBContainerTag : public ACSChunk {
public:
    TDBContainerTag() = default;
    ~TDBContainerTag() override;

    // A new node as a container makes it: type 1 an empty container (the data is ignored),
    // any other type a TDBDataTag holding that type and data.
    static TDBTagRef MakeTag(uint32_t type, const ACSRawDataRef& data);

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

    PairList children_;
    uint32_t count_ = 0;
    uint8_t flags_ = 0;
    // Where the last indexed lookup landed, so walking the children by index costs one step
    // each rather than a walk from the first block.
    mutable const PairList::Block* cursorBlock_ = nullptr;
    mutable uint32_t cursorBase_ = 0;
};
