// Kiv::MeshFileSupport: what every mesh chunk file reads and writes through, and the base of
// the mesh definitions.
//
// Padded string, our layout: the text's bytes, one NUL, then NUL bytes up to the next multiple
// of four counted from the string's first byte ("ab" is 61 62 00 00; "abcd" is 61 62 63 64
// 00 00 00 00). A reader is given the end of the chunk it reads in: a string whose NUL or
// padding does not lie before that end is refused and the position is left where it was.
//
// Size marks: MarkSizePos writes the placeholder 0xFEEDCEEB and returns its position;
// WriteSizeAtMark writes there the number of bytes written after the placeholder. Marks nest.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kiv/base/memory_file.h"
#include "platform/kiv/base/pstring.h"

namespace Kiv {

class File;

// A growing file image in memory, written to a file in one go.
class MeshOutput {
public:
    void Write(const void* data, size_t n) {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + n);
    }
    template <typename T>
    void WriteValue(const T& v) {
        Write(&v, sizeof(T));
    }
    void WriteU32(uint32_t v) { WriteValue(v); }
    void WriteI32(int32_t v) { WriteValue(v); }
    void WriteF32(float v) { WriteValue(v); }
    void WriteU8(uint8_t v) { WriteValue(v); }
    void WriteId(const char id[4]) { Write(id, 4); }
    size_t Tell() const { return bytes_.size(); }
    void WriteU32At(size_t position, uint32_t v);
    void Reserve(size_t n) { bytes_.reserve(n); }
    // n more bytes, zero-filled, for the caller to fill in place; valid until the next write.
    uint8_t* Extend(size_t n) {
        size_t at = bytes_.size();
        bytes_.resize(at + n);
        return bytes_.data() + at;
    }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t> Take() { return std::move(bytes_); }
    // All bytes to the open file; false when any is not written.
    bool SaveTo(File& file) const;

private:
    std::vector<uint8_t> bytes_;
};

class MeshFileSupport {
public:
    static constexpr uint32_t kSizePlaceholder = 0xFEEDCEEB;

    virtual ~MeshFileSupport() = default;

    static size_t MarkSizePos(MeshOutput& out);
    static void WriteSizeAtMark(MeshOutput& out, size_t mark);
    static void WritePaddedString(MeshOutput& out, std::string_view text);
    // Bytes the padded string of a text of that length takes.
    static size_t PaddedSize(size_t length) { return (length + 4) & ~size_t{3}; }

    // False (position unchanged) when the string does not end and pad out before `limit`.
    static bool ReadPaddedString(MemoryFile& file, size_t limit, std::string& out);
    static bool ReadPaddedString(MemoryFile& file, size_t limit, PString& out);

    // The four bytes at the position, taken only when four remain (the position then moves
    // on); false otherwise, position unchanged.
    static bool ReadId(MemoryFile& file, char out[4]);
    // The next id without moving; false when fewer than four bytes remain.
    static bool PeekId(const MemoryFile& file, char out[4]);
    static bool IdIs(const char id[4], const char* expected);
};

}  // namespace Kiv
