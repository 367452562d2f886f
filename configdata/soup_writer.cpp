#include "configdata/soup_writer.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "configdata/soup_format.h"
#include "platform/kiv/base/dynamic_buffer.h"

namespace {

// The file is built in memory and handed to the stream in one write: a chunk's length is
// known only once its data is written, and patching it in memory costs nothing, where patching
// it in the stream costs two seeks per chunk. The bytes are those of writing in place.
class SoupBuilder {
public:
    bool WriteFile(const TDBTagRef& root) {
        PutU32(kSoupMagic);
        PutU32(kSoupWrittenVersion);
        PutU32(0);
        size_t sizeField = Mark();
        if (root && !WriteChildren(*root, 1)) return false;
        return Patch(sizeField);
    }
    const uint8_t* Data() const { return out_.GetData(); }
    size_t Size() const { return out_.GetLength(); }

private:
    void PutU32(uint32_t v) { Put(&v, 4); }
    void PutU8(uint8_t v) { Put(&v, 1); }
    void Put(const void* data, size_t n) {
        if (n > UINT32_MAX || !out_.Write(data, static_cast<uint32_t>(n))) throw std::bad_alloc();
    }
    size_t Mark() {
        size_t at = out_.GetLength();
        PutU32(0xFFFFFFFF);
        return at;
    }
    // Fills the length word at `at` with the bytes written after it.
    bool Patch(size_t at) {
        size_t n = out_.GetLength() - at - 4;
        if (n > kSoupMaxBodySize) return false;
        auto v = static_cast<uint32_t>(n);
        std::memcpy(out_.GetData() + at, &v, 4);
        return true;
    }

    // The children of `node`, each a node at `depth`.
    bool WriteChildren(const ACSChunk& node, uint32_t depth) {
        uint32_t count = node.GetChildCount();
        Kiv::PString name;
        TDBTagRef child;
        for (uint32_t i = 0; i < count; ++i) {
            if (!node.GetChildAt(i, name, child)) continue;
            if (!WriteChunk(name, *child, depth)) return false;
        }
        return true;
    }

    bool WriteChunk(const Kiv::PString& name, const ACSChunk& node, uint32_t depth) {
        // A chunk without a name, or with one too long for its length byte, could not be read
        // back (and would make its whole file unreadable), so it is left out.
        if (name.IsNull() || name.Length() + 1 > kSoupMaxNameBytes) return true;
        if (depth > kMaxTagTreeDepth) return false;
        size_t lengthField = Mark();
        PutU8(static_cast<uint8_t>(name.Length() + 1));
        Put(name.c_str(), name.Length() + 1);
        uint32_t type = node.GetType();
        PutU8(SoupTypeByteFor(type));
        if (type == kTagContainer) {
            if (!WriteChildren(node, depth + 1)) return false;
        } else if (type != kTagEmpty) {
            uint32_t size = node.GetDataSize();
            const void* data = node.GetData();
            if (size != 0 && data != nullptr) Put(data, size);
        }
        return Patch(lengthField);
    }

    // Grown by half again with realloc, which moves a large block by remapping its pages
    // rather than copying them, so the file is never copied while it is built.
    Kiv::DynamicBuffer out_;
};

}  // namespace

bool WriteTagTreeBinary(const TDBTagRef& root, TStream& stream) {
    SoupBuilder builder;
    try {
        if (!builder.WriteFile(root)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    auto n = static_cast<uint32_t>(builder.Size());
    return stream.Write(builder.Data(), n) == n;
}
