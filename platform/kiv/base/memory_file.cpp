#include "platform/kiv/base/memory_file.h"

#include "platform/kiv/base/file.h"

namespace Kiv {

bool MemoryFile::Open(File& file, bool /*share*/, uint32_t start) {
    Close();
    if (!file.IsOpen()) return false;
    uint64_t size = file.GetSize();
    name_ = file.GetPath();
    if (start >= size) return true;
    if (!file.Seek(start, File::kFromStart)) return false;
    // Files beyond 4 GiB are no meshes: the containers count their sizes in 32 bits.
    if (size - start > UINT32_MAX) return false;
    data_.resize(static_cast<size_t>(size - start));
    if (file.Read(data_.data(), static_cast<uint32_t>(data_.size())) != data_.size()) {
        Close();
        return false;
    }
    return true;
}

void MemoryFile::OpenBytes(std::span<const uint8_t> bytes, std::string name) {
    data_.assign(bytes.begin(), bytes.end());
    pos_ = 0;
    name_ = std::move(name);
}

void MemoryFile::Close() {
    data_.clear();
    data_.shrink_to_fit();
    pos_ = 0;
}

bool MemoryFile::Seek(size_t position) {
    if (position > data_.size()) return false;
    pos_ = position;
    return true;
}

}  // namespace Kiv
