// Reading a compiled library image. Every size, count, tag, offset and index is checked against
// the bytes left before it is used, so a truncated or damaged file is refused with the place
// and the reason, never read past its end. gsldump, the verifier and the script machine's
// loader all read images through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/bytecode/gsl_format.h"

namespace GSBytecode {

struct GslLibraryId {
    uint32_t sourceChecksum = 0;
    uint32_t nameChecksum = 0;
    bool operator==(const GslLibraryId&) const = default;
};

struct GslClassRow {
    uint32_t module = 0;  // row of the library table
    uint32_t name = 0;    // string index
};

struct GslFunctionRow {
    uint32_t classIndex = 0;
    uint32_t signature = 0;  // string index
    int32_t methodSlot = kNoIndex;
};

struct GslLine {
    uint32_t offset = 0;
    uint32_t line = 0;
};

inline uint32_t GslWordAt(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void ReadGslEntry(const uint8_t* p, int32_t& out) {
    out = static_cast<int32_t>(GslWordAt(p));
}
inline void ReadGslEntry(const uint8_t* p, GslLine& out) {
    out = {GslWordAt(p), GslWordAt(p + 4)};
}

// A table of a record as it lies in the image, its entries read on access: the words are
// little-endian and need not be aligned, and a view costs the reader no copy of them.
template <typename T, size_t kEntryBytes>
class GslTable {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = T;
        iterator() = default;
        explicit iterator(const uint8_t* at) : at_(at) {}
        T operator*() const {
            T out;
            ReadGslEntry(at_, out);
            return out;
        }
        iterator& operator++() {
            at_ += kEntryBytes;
            return *this;
        }
        iterator operator++(int) {
            iterator was = *this;
            at_ += kEntryBytes;
            return was;
        }
        bool operator==(const iterator&) const = default;

    private:
        const uint8_t* at_ = nullptr;
    };

    GslTable() = default;
    // `bytes` holds whole entries.
    explicit GslTable(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t size() const { return bytes_.size() / kEntryBytes; }
    bool empty() const { return bytes_.empty(); }
    T operator[](size_t i) const { return *iterator(bytes_.data() + i * kEntryBytes); }
    iterator begin() const { return iterator(bytes_.data()); }
    iterator end() const { return iterator(bytes_.data() + bytes_.size()); }

private:
    std::span<const uint8_t> bytes_;
};

struct GslFunction {
    uint32_t recordOffset = 0;  // image offset of the record, for messages
    uint32_t signature = 0;
    uint32_t returnType = 0;
    int32_t returnClass = kNoIndex;
    uint32_t flags = 0;
    int32_t methodSlot = kNoIndex;
    FrameWords frame{};
    GslTable<int32_t, 4> referenceSlots;
    uint32_t codeOffset = 0;        // image offset of the first code byte
    std::span<const uint8_t> code;  // inside the image
    bool hasLineTable = false;
    GslTable<GslLine, 8> lines;
};

struct GslBase {
    uint32_t classIndex = 0;
    uint32_t w1 = 0;
    uint32_t w3 = 0;
};

struct GslMember {
    uint32_t name = 0;
    uint32_t type = 0;
    int32_t classIndex = kNoIndex;
    uint32_t flags = 0;
    int32_t slot = kNoIndex;
};

struct GslMethodEntry {
    uint32_t function = 0;  // row of the function table
    uint32_t baseOffset = 0;
};

struct GslClass {
    uint32_t recordOffset = 0;
    uint32_t name = 0;
    uint32_t flags = 0;
    std::vector<GslBase> bases;
    // One record per function with code or native binding, then the member initialiser.
    std::vector<GslFunction> functions;
    std::vector<GslMember> members;
    std::vector<GslMethodEntry> methods;
    // The initialiser section.
    uint32_t memberWords = 0;
    std::vector<uint32_t> baseWords;  // six per base
    uint32_t tail[3] = {0, 0, 0};
    std::vector<uint32_t> secondTable;
};

// A parsed image. Strings, code, reference slots and line tables point into the bytes that were
// read, which must outlive it.
struct GslImage {
    uint32_t totalSize = 0;
    uint32_t versionBits = 0;
    GslLibraryId id;
    std::string_view name;  // without the NUL
    std::vector<GslLibraryId> libraries;
    std::vector<std::string_view> strings;
    std::vector<GslClassRow> classTable;
    std::vector<GslFunctionRow> functionTable;
    std::vector<GslClass> classes;

    // The string of an index, or an empty view for an index beyond the table.
    std::string_view String(uint32_t index) const {
        return index < strings.size() ? strings[index] : std::string_view{};
    }
};

struct GslReadError {
    uint32_t offset = 0;  // image offset where reading stopped
    std::string text;
};

// Parses `bytes` as a whole image. False with `error` filled on the first fault; `out` is then
// partly filled and must not be used.
bool ReadLibraryImage(std::span<const uint8_t> bytes, GslImage& out, GslReadError& error);

}  // namespace GSBytecode
