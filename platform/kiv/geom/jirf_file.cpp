#include "platform/kiv/geom/jirf_file.h"

namespace Kiv {

JIRFWriteHeader::JIRFWriteHeader(MeshOutput& out, uint32_t type) : out_(&out) {
    out.WriteId("JIRF");
    mark_ = MeshFileSupport::MarkSizePos(out);
    out.WriteU32(type);
}

void JIRFWriteHeader::Close() {
    if (out_ == nullptr) return;
    MeshFileSupport::WriteSizeAtMark(*out_, mark_);
    out_ = nullptr;
}

bool JIRFFile::Open(MemoryFile& file, uint32_t type) {
    end_ = 0;
    if (!file.Seek(0)) return false;
    char id[4];
    if (!MeshFileSupport::ReadId(file, id) || !MeshFileSupport::IdIs(id, "JIRF")) return false;
    uint32_t size = 0;
    if (!file.Read(size)) return false;
    const size_t end = file.Tell() + size_t{size};
    if (end > file.GetSize()) return false;
    uint32_t read = 0;
    if (!file.Read(read) || read != type || file.Tell() > end) return false;
    end_ = end;
    return true;
}

}  // namespace Kiv
