// Deep copies of tag trees.
#include <vector>

#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"

bool ACSChunk::CopyFrom(const TDBTagRef& source) {
    if (source.IsEmpty()) return true;
    struct Pending {
        TDBTagRef target;
        TDBTagRef source;
        uint32_t depth;  // of the source's children
    };
    // Each target is filled from its source: data first, then its children, which are made
    // and appended at once (so their order is the source's) and filled later from this list.
    // No recursion, so a tree of any shape is copied on a small stack.
    std::vector<Pending> pending;
    pending.push_back({TDBTagRef::Share(this), source, 1});
    bool whole = true;
    Kiv::PString name;
    TDBTagRef child;
    while (!pending.empty()) {
        Pending p = std::move(pending.back());
        pending.pop_back();
        ACSChunk& target = *p.target;
        target.SetData(p.source->GetType(), p.source->GetRawData());
        while (uint32_t n = target.GetChildCount()) {
            if (!target.GetChildAt(n - 1, name, child)) break;
            target.RemoveChild(child);
        }
        uint32_t count = p.source->GetChildCount();
        if (count != 0 && p.depth > kMaxTagTreeDepth) {
            whole = false;
            continue;
        }
        for (uint32_t i = 0; i < count; ++i) {
            if (!p.source->GetChildAt(i, name, child)) continue;
            TDBTagRef copy = target.CreateTag(child->GetType(), {});
            target.AddChild(name, copy);
            if (copy && !child.IsEmpty()) pending.push_back({copy, child, p.depth + 1});
        }
    }
    return whole;
}

TDBTagRef TDBContainerTag::Clone(const TDBTagRef& source) {
    TDBTagRef copy = MakeCounted<TDBContainerTag>();
    if (!copy->CopyFrom(source)) {
        LogOutputf("TDBContainerTag::Clone> the tree nests deeper than %u levels; not copied",
                   kMaxTagTreeDepth);
        return {};
    }
    return copy;
}
