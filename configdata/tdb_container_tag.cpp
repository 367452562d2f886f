#include "configdata/tdb_container_tag.h"

#include <cstring>
#include <utility>

#include "configdata/tag_arena.h"
#include "configdata/tdb_data_tag.h"

namespace {

// Ranges shorter than this are finished by insertion sort.
constexpr size_t kInsertionSortBelow = 10;

template <typename T, typename Less>
void InsertionSort(T* items, size_t n, Less less) {
    for (size_t i = 1; i < n; ++i) {
        T item = items[i];
        size_t j = i;
        for (; j > 0 && less(item, items[j - 1]); --j)
            items[j] = items[j - 1];
        items[j] = item;
    }
}

// Quicksort on the middle element; the smaller side is sorted by recursion and the larger by
// looping, so the depth stays logarithmic.
template <typename T, typename Less>
void QuickSort(T* items, size_t n, Less less) {
    while (n >= kInsertionSortBelow) {
        T pivot = items[n / 2];
        size_t i = 0;
        size_t j = n - 1;
        for (;;) {
            while (less(items[i], pivot))
                ++i;
            while (less(pivot, items[j]))
                --j;
            if (i >= j) break;
            std::swap(items[i], items[j]);
            ++i;
            --j;
        }
        size_t left = j + 1;  // [0, j] and [j + 1, n)
        if (left < n - left) {
            QuickSort(items, left, less);
            items += left;
            n -= left;
        } else {
            QuickSort(items + left, n - left, less);
            n = left;
        }
    }
    InsertionSort(items, n, less);
}

}  // namespace

TDBContainerTag::~TDBContainerTag() {
    // Children whose last reference this is are taken apart here, one at a time, instead of
    // each destroying its own children in turn: a tree of any depth is released without deep
    // recursion. A container with one reference left is held by nothing else, so its children
    // can be taken out of it safely.
    std::vector<ACSChunk*> pending;
    TakeChildren(pending);
    while (!pending.empty()) {
        ACSChunk* node = pending.back();
        pending.pop_back();
        auto* container = dynamic_cast<TDBContainerTag*>(node);
        if (container != nullptr && container->GetReferenceCount() == 1)
            container->TakeChildren(pending);
        node->ReleaseReference();
    }
}

void TDBContainerTag::TakeChildren(std::vector<ACSChunk*>& out) {
    out.reserve(out.size() + count_);
    if (packed_ != nullptr) {
        for (uint32_t i = 0; i < count_; ++i) {
            packed_[i].Name().~PString();
            out.push_back(packed_[i].node);
        }
        packed_ = nullptr;
    }
    for (Pair& p : children_) {
        p.Name().~PString();
        out.push_back(p.node);
    }
    children_.FreeAll();
    count_ = 0;
    Changed();
}

TDBTagRef TDBContainerTag::MakeTag(uint32_t type, const ACSRawDataRef& data) {
    if (type == kTagContainer) return MakeCounted<TDBContainerTag>();
    return MakeCounted<TDBDataTag>(type, data);
}

namespace {

// A value node whose bytes follow it in the arena.
class ArenaValueTag : public TDBDataTag {
public:
    ArenaValueTag(uint32_t type, const uint8_t* bytes, uint32_t size)
        : TDBDataTag(type, bytes, size) {}
};

}  // namespace

TDBTagRef TDBContainerTag::MakeTagIn(TagArena& arena, uint32_t type, const void* data,
                                     uint32_t size) {
    if (type == kTagContainer)
        return TDBTagRef::Adopt(ArenaNode<TDBContainerTag>::At(
            arena.Allocate(sizeof(ArenaNode<TDBContainerTag>)), arena));
    using Node = ArenaNode<ArenaValueTag>;
    if (data == nullptr) size = 0;
    void* memory = arena.Allocate(sizeof(Node) + size);
    uint8_t* bytes = static_cast<uint8_t*>(memory) + sizeof(Node);
    if (size != 0) std::memcpy(bytes, data, size);
    return TDBTagRef::Adopt(Node::At(memory, arena, type, bytes, size));
}

TDBTagRef TDBContainerTag::MakeContainerIn(TagArena& arena, std::vector<NamedChild>& children) {
    using Node = ArenaNode<TDBContainerTag>;
    TDBContainerTag* container = Node::At(arena.Allocate(sizeof(Node)), arena);
    TDBTagRef ref = TDBTagRef::Adopt(container);
    uint32_t n = 0;
    for (const NamedChild& c : children)
        n += c.node ? 1 : 0;
    if (n != 0) {
        auto* pairs = static_cast<Pair*>(arena.Allocate(sizeof(Pair) * n));
        Pair* p = pairs;
        for (NamedChild& c : children) {
            if (!c.node) continue;
            new (p->nameBytes) Kiv::PString(std::move(c.name));
            p->node = c.node.Detach();
            ++p;
        }
        container->packed_ = pairs;
        container->count_ = n;
    }
    children.clear();
    return ref;
}

void TDBContainerTag::Unpack() {
    if (packed_ == nullptr) return;
    for (uint32_t i = 0; i < count_; ++i)
        children_.Append(packed_[i]);
    packed_ = nullptr;
    Changed();
}

TDBTagRef TDBContainerTag::FindChild(const Kiv::PString& name) const {
    if (packed_ != nullptr) {
        for (uint32_t i = 0; i < count_; ++i)
            if (packed_[i].Name() == name) return TDBTagRef::Share(packed_[i].node);
        return GetNullChunk();
    }
    for (const Pair& p : children_)
        if (p.Name() == name) return TDBTagRef::Share(p.node);
    return GetNullChunk();
}

bool TDBContainerTag::GetChildAt(uint32_t index, Kiv::PString& name, TDBTagRef& node) const {
    if (index >= count_) {
        name = Kiv::PString();
        node.Reset();
        return false;
    }
    if (packed_ != nullptr) {
        name = packed_[index].Name();
        node = TDBTagRef::Share(packed_[index].node);
        return true;
    }
    const PairList::Block* head = children_.GetHead();
    const PairList::Block* b = head;
    uint32_t base = 0;
    if (cursorBlock_ != nullptr && index >= cursorBase_) {
        b = cursorBlock_;
        base = cursorBase_;
    }
    while (index - base >= b->count) {
        base += b->count;
        b = b->next;
    }
    cursorBlock_ = b;
    cursorBase_ = base;
    const Pair& p = b->entries[index - base];
    name = p.Name();
    node = TDBTagRef::Share(p.node);
    return true;
}

TDBContainerTag::PairList::Iterator TDBContainerTag::FindNode(const ACSChunk* node) const {
    for (auto it = children_.Begin(); !it.IsEnd(); it.Next())
        if (it->node == node) return it;
    return children_.End();
}

void TDBContainerTag::AddChild(const Kiv::PString& name, const TDBTagRef& node) {
    if (!node) return;
    Unpack();
    Pair p;
    new (p.nameBytes) Kiv::PString(name);
    p.node = node.Get();
    p.node->AddReference();
    children_.Append(p);
    ++count_;
    Changed();
}

void TDBContainerTag::RemoveChild(const TDBTagRef& node) {
    if (!node) return;
    Unpack();
    auto it = FindNode(node.Get());
    if (it.IsEnd()) return;
    ACSChunk* removed = it->node;
    it->Name().~PString();
    children_.Erase(it);
    --count_;
    Changed();
    // Dropped last: the node may be the caller's only way to this container.
    removed->ReleaseReference();
}

void TDBContainerTag::SwapChildren(const TDBTagRef& a, const TDBTagRef& b) {
    Unpack();
    auto ia = FindNode(a.Get());
    auto ib = FindNode(b.Get());
    if (ia.IsEnd() || ib.IsEnd() || ia == ib) return;
    std::swap(*ia, *ib);
}

void TDBContainerTag::SortChildren() {
    if (count_ < 2) return;
    Unpack();
    // The pairs are sorted as plain bytes in one array and written back block by block.
    std::vector<Pair> pairs;
    pairs.reserve(count_);
    for (const Pair& p : children_)
        pairs.push_back(p);
    QuickSort(pairs.data(), pairs.size(),
              [](const Pair& x, const Pair& y) { return x.Name().view() < y.Name().view(); });
    size_t i = 0;
    for (Pair& p : children_)
        p = pairs[i++];
}
