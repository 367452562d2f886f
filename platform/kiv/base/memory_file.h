// Kiv::MemoryFile: a whole file held in memory and read from front to back. Every read is
// bounds-checked: a read that would pass the end delivers nothing, leaves the position where it
// was and answers false, so a hostile length can never make a reader look outside the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace Kiv {

class File;

class MemoryFile {
public:
    // Copies the rest of an open file into memory and remembers its path as the name. The
    // two further arguments are the engine's (share the file, start offset); a start offset
    // past the end gives an empty memory file. False when the file is not open or unreadable.
    bool Open(File& file, bool share = false, uint32_t start = 0);
    // Takes a copy of the bytes (fixtures, fuzzing, benchmarks).
    void OpenBytes(std::span<const uint8_t> bytes, std::string name = {});
    void Close();

    bool HasData() const { return !data_.empty(); }
    const std::string& GetName() const { return name_; }
    size_t GetSize() const { return data_.size(); }
    size_t Tell() const { return pos_; }
    size_t Remaining() const { return data_.size() - pos_; }
    // False, and the position unchanged, for a position past the end.
    bool Seek(size_t position);
    const uint8_t* Data() const { return data_.data(); }

    bool Read(void* dest, size_t n) {
        if (n > Remaining()) return false;
        if (n != 0) std::memcpy(dest, data_.data() + pos_, n);
        pos_ += n;
        return true;
    }
    template <typename T>
    bool Read(T& out) {
        static_assert(std::is_trivially_copyable_v<T>);
        return Read(&out, sizeof(T));
    }
    // The bytes at the position without moving, or null when fewer than n remain.
    const uint8_t* Peek(size_t n) const { return n <= Remaining() ? data_.data() + pos_ : nullptr; }

private:
    std::vector<uint8_t> data_;
    size_t pos_ = 0;
    std::string name_;
};

}  // namespace Kiv
