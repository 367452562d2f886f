#include "configdata/soup_node.h"

#include <cstring>
#include <string>
#include <vector>

#include "configdata/tdb_binary_soup.h"
#include "configdata/tdb_data_chunk.h"
#include "foundation/codepage.h"

namespace {

constexpr uint32_t kNumberAlignment = 4;

TDBTagRef MakeValue(const CountedRef<TDBBinaryFile>& file, SoupNodeLocation location, uint32_t type,
                    const uint8_t* data, uint32_t size, ACSRawDataRef copy = {}) {
    return MakeCounted<TDBDataChunk>(file->GetBodyBlock(), location, type, data, size,
                                     std::move(copy));
}

TDBTagRef MakeCopiedValue(const CountedRef<TDBBinaryFile>& file, SoupNodeLocation location,
                          uint32_t type, const void* data, uint32_t size) {
    ACSRawDataRef copy = MakeRawData(data, size);
    return MakeValue(file, location, type, copy.GetData(), copy.GetSize(), copy);
}

// Text of a version-0 file: bytes in the local code page, made UTF-8 when any byte before the
// first NUL has its top bit set. A text that cannot be converted becomes empty (a lone NUL).
std::vector<char> VersionZeroText(const uint8_t* data, uint32_t size) {
    std::vector<char> text(data, data + size);
    if (text.back() != '\0') text.push_back('\0');
    size_t length = std::strlen(text.data());
    bool high = false;
    for (size_t i = 0; i < length; ++i)
        high |= (static_cast<uint8_t>(text[i]) & 0x80) != 0;
    if (!high) return text;
    std::string converted;
    if (!LocalTextToUtf8(std::string_view(text.data(), length), converted)) return {'\0'};
    return std::vector<char>(converted.c_str(), converted.c_str() + converted.size() + 1);
}

TDBTagRef MakeText(const CountedRef<TDBBinaryFile>& file, SoupNodeLocation location,
                   const uint8_t* data, uint32_t size) {
    if (size != 0 && file->HasLocalText()) {
        std::vector<char> text = VersionZeroText(data, size);
        return MakeCopiedValue(file, location, kTagText, text.data(),
                               static_cast<uint32_t>(text.size()));
    }
    if (size != 0 && data[size - 1] != 0) {
        std::vector<uint8_t> text(data, data + size);
        text.push_back(0);
        return MakeCopiedValue(file, location, kTagText, text.data(),
                               static_cast<uint32_t>(text.size()));
    }
    return MakeValue(file, location, kTagText, data, size);
}

TDBTagRef MakeNumbers(const CountedRef<TDBBinaryFile>& file, SoupNodeLocation location,
                      uint32_t type, const uint8_t* data, uint32_t size) {
    // Values are read in place as 4-byte words, so a misaligned start is copied first.
    if (type != kTagRaw && reinterpret_cast<uintptr_t>(data) % kNumberAlignment != 0)
        return MakeCopiedValue(file, location, type, data, size);
    return MakeValue(file, location, type, data, size);
}

TDBTagRef MakeAlignedRaw(const CountedRef<TDBBinaryFile>& file, SoupNodeLocation location,
                         const uint8_t* data, uint32_t size) {
    uint32_t shift = static_cast<uint32_t>(
        (kSoupRawAlignment - reinterpret_cast<uintptr_t>(data) % kSoupRawAlignment) %
        kSoupRawAlignment);
    // Data shorter than the move holds no aligned bytes at all.
    if (size < shift) return MakeValue(file, location, kTagRaw, nullptr, 0);
    return MakeValue(file, location, kTagRaw, data + shift, size - shift);
}

}  // namespace

TDBTagRef MakeSoupNode(const CountedRef<TDBBinaryFile>& file, const SoupChunk& chunk,
                       uint32_t runKey) {
    SoupNodeLocation location{chunk.position, runKey};
    const uint8_t* data = file->GetBody() + chunk.dataOffset;
    switch (chunk.typeByte) {
        case kSoupByteContainer:
            return MakeCounted<TDBBinarySoup>(file, chunk.dataOffset, chunk.dataSize, location);
        case kSoupByteInt:
        case kSoupByteFloat:
        case kSoupByteRaw:
        case kSoupByteKUID:
            return MakeNumbers(file, location, SoupMemoryTypeFor(chunk.typeByte), data,
                               chunk.dataSize);
        case kSoupByteAlignedRaw:
            return MakeAlignedRaw(file, location, data, chunk.dataSize);
        case kSoupByteText:
            return MakeText(file, location, data, chunk.dataSize);
        default:
            return MakeValue(file, location, kTagEmpty, nullptr, 0);
    }
}

TDBTagRef MakeSoupNodeAt(const CountedRef<TDBBinaryFile>& file, uint32_t chunk, uint32_t runKey) {
    if (chunk == TDBSoupOverlay::kRootChunk) return file->GetRoot();
    SoupChunk parsed;
    if (!ParseSoupChunk(file->GetBody(), chunk, file->GetBodySize(), parsed))
        return ACSChunk::GetNullChunk();
    return MakeSoupNode(file, parsed, runKey);
}

const TDBSoupBody* FindSoupNodeLocation(const ACSChunk* node, SoupNodeLocation& location) {
    if (const auto* soup = dynamic_cast<const TDBBinarySoup*>(node)) {
        location = soup->GetLocation();
        return soup->GetBody();
    }
    if (const auto* value = dynamic_cast<const TDBDataChunk*>(node)) {
        location = value->GetLocation();
        return value->GetBody();
    }
    return nullptr;
}
