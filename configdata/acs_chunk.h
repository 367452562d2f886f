// ACSChunk: one node of a configuration tree ("soup"), the interface shared by the editable
// tree (TDBContainerTag, TDBDataTag) and the read view of a loaded binary soup (TDBBinarySoup,
// TDBDataChunk). A node is either a container of named children or a value with a type code
// and raw bytes. The base class answers every operation as "nothing there"; the one bare
// ACSChunk, the shared null node, is what every failed lookup returns, so a caller can always
// go on calling operations on a result.
#pragma once

#include <cstdint>

#include "configdata/reference_count.h"
#include "platform/kiv/base/pstring.h"

class TDBTagRef;
class ACSRawDataRef;

// Type codes of nodes in memory.
enum ACSTagType : uint32_t {
    kTagEmpty = 0,      // a name with no value
    kTagContainer = 1,  // named children
    kTagRaw = 2,        // bytes
    kTagFloat = 3,      // 4-byte floats, an array when longer
    kTagText = 4,       // bytes with a terminating NUL
    kTagTextLike = 5,   // written and read back as text; nothing here creates it
    kTagInt = 6,        // signed 32-bit ints, an array when longer
    kTagKUID = 7,       // 8 bytes per KUID: the packed word, then the content id
};

// How deep containers may nest, counting the root's children as depth 1. Far above any real
// configuration; code that must recurse over a tree stops here instead of exhausting the
// stack, and the binary reader refuses files nested deeper, so what one writes the other reads.
constexpr uint32_t kMaxTagTreeDepth = 1000;

class ACSChunk : public ReferenceCountMP {
public:
    ACSChunk() = default;

    // The first child of that interned name (compared by identity), or the null node.
    virtual TDBTagRef FindChild(const Kiv::PString& name) const;
    // The same lookup, made before a removal or change.
    virtual TDBTagRef FindChildForEdit(const Kiv::PString& name);
    virtual uint32_t GetChildCount() const;
    // The child at that index with its name; false (both emptied) when there is none.
    virtual bool GetChildAt(uint32_t index, Kiv::PString& name, TDBTagRef& node) const;
    virtual void SortChildren();
    virtual void SwapChildren(const TDBTagRef& a, const TDBTagRef& b);
    // Appends the pair; nothing for a missing node.
    virtual void AddChild(const Kiv::PString& name, const TDBTagRef& node);
    // Removes the pair holding that node (identity).
    virtual void RemoveChild(const TDBTagRef& node);
    // A new node of the kind this container makes, not yet added anywhere.
    virtual TDBTagRef CreateTag(uint32_t type, const ACSRawDataRef& data);
    virtual const void* GetData() const;
    virtual uint32_t GetDataSize() const;
    virtual uint32_t GetType() const;
    virtual void SetData(uint32_t type, const ACSRawDataRef& data);

    // A reference to the shared null node, made on first request and kept for the life of the
    // process.
    static TDBTagRef GetNullChunk();
    static bool IsNullChunk(const ACSChunk* node);

    // Raw data over this node's bytes that keeps the node alive; empty when it has none.
    ACSRawDataRef GetRawData() const;

    // Makes this node a deep copy of the source: its type and data (shared bytes), then its
    // children, copied into new nodes of this node's kind; its own children are dropped first.
    // Nothing happens for an absent source or one of type 0. False when the source nests
    // deeper than kMaxTagTreeDepth below it (the deeper levels are not copied).
    bool CopyFrom(const TDBTagRef& source);
};
