// Kiv::JIRFWriteHeader and Kiv::JIRFFile: the "JIRF" chunk-file container that mesh and texture
// files share. A container is the magic "JIRF", a u32 count of the bytes after it, and a
// 4-byte type; the file type's own fields follow and must end exactly where the count says.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/kiv/base/memory_file.h"
#include "platform/kiv/geom/mesh_file_support.h"

namespace Kiv {

// Opens a container on the output with its type (a u32 written little-endian, so the type
// 0x46544D4D is the bytes "MMTF"); the size is filled in when the header is closed or
// destroyed, so a writer never computes it in advance.
class JIRFWriteHeader {
public:
    JIRFWriteHeader(MeshOutput& out, uint32_t type);
    ~JIRFWriteHeader() { Close(); }
    JIRFWriteHeader(const JIRFWriteHeader&) = delete;
    JIRFWriteHeader& operator=(const JIRFWriteHeader&) = delete;
    void Close();

private:
    MeshOutput* out_;
    size_t mark_;
};

// Reads a container header from the start of a memory file.
class JIRFFile {
public:
    // True when the file opens with "JIRF", a size that lies within the file and the expected
    // type; the position is then just behind the type.
    bool Open(MemoryFile& file, uint32_t type);
    // Where the container ends (valid after a successful Open).
    size_t End() const { return end_; }
    // The bytes left in the container from the file's position.
    size_t Remaining(const MemoryFile& file) const {
        return file.Tell() < end_ ? end_ - file.Tell() : 0;
    }

private:
    size_t end_ = 0;
};

}  // namespace Kiv
