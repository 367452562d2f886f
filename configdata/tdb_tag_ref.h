// TDBTagRef: the counted reference to a tree node that callers hold. It may be empty; a
// reference to a node of type 0 counts as empty too, since such a node carries nothing.
#pragma once

#include <utility>

#include "configdata/acs_chunk.h"
#include "configdata/acs_raw_data.h"

class TDBTagRef : public CountedRef<ACSChunk> {
public:
    TDBTagRef() = default;
    TDBTagRef(CountedRef<ACSChunk> r)  // NOLINT: a node reference is one
        : CountedRef<ACSChunk>(std::move(r)) {}
    template <typename U>
    TDBTagRef(CountedRef<U> r)  // NOLINT: as a pointer upcast
        : CountedRef<ACSChunk>(CountedRef<ACSChunk>::Adopt(r.Detach())) {}

    static TDBTagRef Adopt(ACSChunk* node) { return CountedRef<ACSChunk>::Adopt(node); }
    static TDBTagRef Share(ACSChunk* node) { return CountedRef<ACSChunk>::Share(node); }

    // True when the reference holds nothing or a node of type 0.
    bool IsEmpty() const { return Get() == nullptr || Get()->GetType() == kTagEmpty; }
    // True when the reference holds the shared null node.
    bool IsNullChunk() const { return ACSChunk::IsNullChunk(Get()); }
    // An empty reference for an absent node or a node of type 0, else a reference to it.
    static TDBTagRef FromChunk(ACSChunk* node) {
        if (node == nullptr || node->GetType() == kTagEmpty) return {};
        return Share(node);
    }

    // Makes an empty reference (IsEmpty: nothing, or a node of type 0 such as the null node)
    // hold a new empty TDBContainerTag; a reference to any other node is left as it is.
    void EnsureContainer();
    // EnsureContainer, then a copy of the reference.
    TDBTagRef GetEnsuredContainer();
    // Another reference to the same node (shared, not cloned).
    TDBTagRef Copy() const { return *this; }
};
