#include "platform/kiv/geom/mesh_file_support.h"

#include <cstring>

#include "platform/kiv/base/file.h"

namespace Kiv {

void MeshOutput::WriteU32At(size_t position, uint32_t v) {
    if (position + 4 <= bytes_.size()) std::memcpy(bytes_.data() + position, &v, 4);
}

bool MeshOutput::SaveTo(File& file) const {
    size_t done = 0;
    while (done < bytes_.size()) {
        uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(bytes_.size() - done, 1u << 30));
        if (file.Write(bytes_.data() + done, chunk) != chunk) return false;
        done += chunk;
    }
    return true;
}

size_t MeshFileSupport::MarkSizePos(MeshOutput& out) {
    size_t mark = out.Tell();
    out.WriteU32(kSizePlaceholder);
    return mark;
}

void MeshFileSupport::WriteSizeAtMark(MeshOutput& out, size_t mark) {
    out.WriteU32At(mark, static_cast<uint32_t>(out.Tell() - mark - 4));
}

void MeshFileSupport::WritePaddedString(MeshOutput& out, std::string_view text) {
    // A NUL inside the text would end it early on reading: the text stops there.
    text = text.substr(0, std::min(text.size(), text.find('\0')));
    static const uint8_t kZeros[4] = {0, 0, 0, 0};
    out.Write(text.data(), text.size());
    out.Write(kZeros, PaddedSize(text.size()) - text.size());
}

bool MeshFileSupport::ReadPaddedString(MemoryFile& file, size_t limit, std::string& out) {
    size_t pos = file.Tell();
    limit = std::min(limit, file.GetSize());
    if (pos >= limit) return false;
    const uint8_t* start = file.Data() + pos;
    const void* nul = std::memchr(start, 0, limit - pos);
    if (nul == nullptr) return false;
    size_t length = static_cast<const uint8_t*>(nul) - start;
    size_t padded = PaddedSize(length);
    if (padded > limit - pos) return false;
    out.assign(reinterpret_cast<const char*>(start), length);
    file.Seek(pos + padded);
    return true;
}

bool MeshFileSupport::ReadPaddedString(MemoryFile& file, size_t limit, PString& out) {
    std::string text;
    if (!ReadPaddedString(file, limit, text)) return false;
    out = PString(text);
    return true;
}

bool MeshFileSupport::ReadId(MemoryFile& file, char out[4]) {
    return file.Read(out, 4);
}

bool MeshFileSupport::PeekId(const MemoryFile& file, char out[4]) {
    const uint8_t* p = file.Peek(4);
    if (p == nullptr) return false;
    std::memcpy(out, p, 4);
    return true;
}

bool MeshFileSupport::IdIs(const char id[4], const char* expected) {
    return std::memcmp(id, expected, 4) == 0;
}

}  // namespace Kiv
