#include "validation/upgrade_support.h"

#include <array>

#include "configdata/acs_converter.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/path.h"

namespace DUVLib::upgrade {

namespace {

constexpr const char* kWordTexts[] = {
#define HALVEX_UPGRADE_WORD_TEXT(id, text) text,
    HALVEX_UPGRADE_WORDS(HALVEX_UPGRADE_WORD_TEXT)
#undef HALVEX_UPGRADE_WORD_TEXT
};
constexpr size_t kWordCount = static_cast<size_t>(Word::kCount);
static_assert(std::size(kWordTexts) == kWordCount);

// Below this many, removing child by child costs less than rewriting the list.
constexpr size_t kRewriteThreshold = 16;

}  // namespace

const Kiv::PString& W(Word word) {
    static const std::array<Kiv::PString, kWordCount> words = [] {
        std::array<Kiv::PString, kWordCount> made;
        for (size_t i = 0; i < kWordCount; ++i)
            made[i] = Kiv::PString(kWordTexts[i]);
        return made;
    }();
    return words[static_cast<size_t>(word)];
}

bool Has(const TDBTagRef& tree, Word name) {
    return TDBContainerTag::HasTag(tree, W(name));
}

Kiv::PString Text(const TDBTagRef& tree, Word name) {
    return TDBContainerTag::GetString(tree, W(name));
}

void Remove(const TDBTagRef& tree, Word name) {
    TDBContainerTag::RemoveTag(tree, W(name));
}

KUID GetKuid(const TDBTagRef& tree, const Kiv::PString& name) {
    return TDBContainerTag::GetKUID(tree, name, KUID::kNull);
}

bool IsContainerTag(const TDBTagRef& tree, const Kiv::PString& name) {
    return TDBContainerTag::GetTagType(tree, name) == kTagContainer;
}

TDBTagRef NewContainer() {
    TDBTagRef made;
    made.EnsureContainer();
    return made;
}

void Put(const TDBTagRef& tree, const Kiv::PString& name, const TDBTagRef& child) {
    if (!tree || !child) return;
    TDBContainerTag::RemoveTag(tree, name);
    tree->AddChild(name, child);
}

void AddText(const TDBTagRef& tree, const Kiv::PString& name, const Kiv::PString& text) {
    if (!tree) return;
    // The node is made as SetString makes it, then appended beside any of the same name.
    TDBTagRef scratch = NewContainer();
    TDBContainerTag::SetString(scratch, name, text);
    Kiv::PString made;
    TDBTagRef node;
    if (scratch->GetChildAt(0, made, node)) tree->AddChild(name, node);
}

Kiv::PString NodeText(const TDBTagRef& node) {
    if (!node || node->GetType() == kTagContainer) return W(Word::kEmpty);
    ACSRawDataRef value = ConvertRawData(node->GetType(), node->GetRawData(), kTagText);
    if (!value) return W(Word::kEmpty);
    return Kiv::PString(TextOfData(value.GetData(), value.GetSize()));
}

KUID NodeKuid(const TDBTagRef& node) {
    if (!node) return KUID::kNull;
    // Read through a container of its own so that the one converter of GetKUID applies.
    TDBTagRef holder = NewContainer();
    holder->AddChild(W(Word::kEmpty), node);
    return TDBContainerTag::GetKUID(holder, W(Word::kEmpty), KUID::kNull);
}

std::string JoinPath(std::string_view a, std::string_view b) {
    Kiv::File::Path path(a);
    path.AddPath(b);
    return path.str();
}

// --- ChildWalk --------------------------------------------------------------------------------

ChildWalk::ChildWalk(const TDBTagRef& tree) : tree_(tree) {
    const uint32_t n = TDBContainerTag::CountChildren(tree);
    names_.reserve(n);
    nodes_.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        Kiv::PString name;
        TDBTagRef node;
        tree->GetChildAt(i, name, node);
        occurrences_[name].positions.push_back(i);
        names_.push_back(std::move(name));
        nodes_.push_back(std::move(node));
    }
    removed_.assign(n, 0);
    fenwick_.assign(n + 1, 0);
    // Every position counts one: the tree is built in linear time.
    for (uint32_t i = 1; i <= n; ++i) {
        fenwick_[i] += 1;
        const uint32_t parent = i + (i & (~i + 1));
        if (parent <= n) fenwick_[parent] += fenwick_[i];
    }
    alive_ = n;
}

uint32_t ChildWalk::PositionAt(uint32_t index) const {
    // The position whose count of children left before and at it is index + 1.
    uint32_t position = 0;
    uint32_t remaining = index + 1;
    uint32_t step = 1;
    while (step * 2 <= names_.size())
        step *= 2;
    for (; step != 0; step /= 2) {
        if (position + step <= names_.size() && fenwick_[position + step] < remaining) {
            position += step;
            remaining -= fenwick_[position];
        }
    }
    return position;  // zero-based: the next position after the prefix
}

const Kiv::PString& ChildWalk::NameAt(uint32_t index) const {
    if (index >= alive_) return W(Word::kEmpty);
    return names_[PositionAt(index)];
}

bool ChildWalk::IsContainerAt(uint32_t index) const {
    if (index >= alive_) return false;
    const TDBTagRef& node = nodes_[PositionAt(index)];
    return node && node->GetType() == kTagContainer;
}

void ChildWalk::MarkRemoved(uint32_t position) {
    removed_[position] = 1;
    for (uint32_t i = position + 1; i <= names_.size(); i += i & (~i + 1))
        fenwick_[i] -= 1;
    --alive_;
    ++removedCount_;
}

void ChildWalk::RemoveFirst(const Kiv::PString& name) {
    auto it = occurrences_.find(name);
    if (it == occurrences_.end()) return;
    Occurrences& found = it->second;
    if (found.gone == found.positions.size()) return;
    MarkRemoved(found.positions[found.gone++]);
}

void ChildWalk::Commit() {
    if (removedCount_ == 0) return;
    std::vector<TDBTagRef> gone;
    gone.reserve(removedCount_);
    for (size_t i = 0; i < nodes_.size(); ++i)
        if (removed_[i]) gone.push_back(nodes_[i]);
    RemoveNodes(tree_, gone);
    removedCount_ = 0;
}

void RemoveNodes(const TDBTagRef& tree, const std::vector<TDBTagRef>& nodes) {
    if (!tree || nodes.empty()) return;
    // Only the editable container's list is rewritten; another kind of node (the view of a
    // loaded binary soup) keeps its own record of removals, one by one.
    if (nodes.size() < kRewriteThreshold || dynamic_cast<TDBContainerTag*>(tree.Get()) == nullptr) {
        for (const TDBTagRef& node : nodes)
            tree->RemoveChild(node);
        return;
    }
    std::unordered_map<const ACSChunk*, uint32_t> dropping;
    for (const TDBTagRef& node : nodes)
        ++dropping[node.Get()];
    const uint32_t n = tree->GetChildCount();
    std::vector<std::pair<Kiv::PString, TDBTagRef>> kept;
    kept.reserve(n);
    std::vector<TDBTagRef> all;
    all.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        Kiv::PString name;
        TDBTagRef node;
        tree->GetChildAt(i, name, node);
        all.push_back(node);
        auto it = dropping.find(node.Get());
        if (it != dropping.end() && it->second > 0) {
            --it->second;
            continue;
        }
        kept.emplace_back(std::move(name), std::move(node));
    }
    // Each removal finds its node first in the list, so emptying it costs one step a child.
    for (const TDBTagRef& node : all)
        tree->RemoveChild(node);
    for (const auto& [name, node] : kept)
        tree->AddChild(name, node);
}

// --- FirstChildIndex ----------------------------------------------------------------------

FirstChildIndex::FirstChildIndex(const TDBTagRef& tree) {
    const uint32_t n = TDBContainerTag::CountChildren(tree);
    first_.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        Kiv::PString name;
        TDBTagRef node;
        tree->GetChildAt(i, name, node);
        first_.emplace(std::move(name), std::move(node));
    }
}

TDBTagRef FirstChildIndex::Find(const Kiv::PString& name) const {
    auto it = first_.find(name);
    return it == first_.end() ? TDBTagRef() : it->second;
}

}  // namespace DUVLib::upgrade
