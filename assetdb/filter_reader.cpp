#include "assetdb/filter_reader.h"

#include <cstring>
#include <string>

#include "assetdb/filter_asset_id.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_range.h"
#include "assetdb/filter_string.h"
#include "foundation/tstream.h"

namespace {

// An element in the state a read starts from.
std::unique_ptr<WEXFilterElement> NewElement(uint32_t typeCode) {
    switch (typeCode) {
        case kWEXFilterTypeGroup:
            return std::make_unique<WEXFilterElementGroup>();
        case kWEXFilterTypeString:
            return std::make_unique<WEXFilterElementString>();
        case kWEXFilterTypeBool:
            return std::make_unique<WEXFilterElementBool>();
        case kWEXFilterTypeInt:
            return std::make_unique<WEXFilterElementInt>();
        case kWEXFilterTypeTimestamp:
            return std::make_unique<WEXFilterElementTimestamp>();
        case kWEXFilterTypeAssetID:
            return std::make_unique<WEXFilterElementAssetID>();
        default:
            return nullptr;
    }
}

}  // namespace

WEXFilterReader::WEXFilterReader(TStream& stream) : stream_(stream), end_(stream.GetSize()) {}

uint32_t WEXFilterReader::Remaining() {
    uint32_t at = stream_.Tell();
    return at < end_ ? end_ - at : 0;
}

bool WEXFilterReader::Fail(std::string_view what) {
    return FailAt(stream_.Tell(), what);
}

bool WEXFilterReader::FailAt(uint32_t offset, std::string_view what) {
    if (error_.IsEmpty()) {
        error_ = Kiv::String::Printf("filter element at offset %u: %.*s", offset,
                                     static_cast<int>(what.size()), what.data());
    }
    return false;
}

bool WEXFilterReader::Need(uint32_t bytes, const char* field) {
    if (HasFailed()) return false;
    if (Remaining() >= bytes) return true;
    // The stream's own convention for a read that runs out of bytes.
    stream_.SetError(TStream::kErrorShortRead);
    return Fail(std::string("the data ends inside the ") + field);
}

bool WEXFilterReader::ReadU8(uint8_t& out, const char* field) {
    if (!Need(1, field)) return false;
    return stream_.ReadU8(out) || Fail(std::string("cannot read the ") + field);
}

bool WEXFilterReader::ReadBool(bool& out, const char* field) {
    uint8_t b = 0;
    bool ok = ReadU8(b, field);
    out = b != 0;
    return ok;
}

bool WEXFilterReader::ReadU32(uint32_t& out, const char* field) {
    if (!Need(4, field)) return false;
    return stream_.ReadU32(out) || Fail(std::string("cannot read the ") + field);
}

bool WEXFilterReader::ReadU64(uint64_t& out, const char* field) {
    if (!Need(8, field)) return false;
    return stream_.ReadU64(out) || Fail(std::string("cannot read the ") + field);
}

bool WEXFilterReader::ReadBytes(void* out, uint32_t n, const char* field) {
    if (!Need(n, field)) return false;
    return stream_.ReadBytes(out, n) == n || Fail(std::string("cannot read the ") + field);
}

bool WEXFilterReader::ReadText(Kiv::PString& out, const char* field) {
    uint32_t at = stream_.Tell();
    uint32_t length;
    if (!ReadU32(length, field)) return false;
    if (length == 0) {
        out = Kiv::PString("");
        return true;
    }
    if (length > TStream::kMaxStringLength) {
        return FailAt(at, std::string("the ") + field + " is longer than " +
                              std::to_string(TStream::kMaxStringLength) + " bytes");
    }
    if (!Need(length, field)) return false;
    std::string bytes(length, '\0');
    if (stream_.ReadBytes(bytes.data(), length) != length)
        return Fail(std::string("cannot read the ") + field);
    bytes.resize(::strnlen(bytes.data(), length));
    out = Kiv::PString(std::string_view(bytes));
    return true;
}

bool WEXFilterReader::ReadCount(uint32_t& count, uint32_t bytesEach, const char* field) {
    uint32_t at = stream_.Tell();
    if (!ReadU32(count, field)) return false;
    if (uint64_t{count} * bytesEach > Remaining()) {
        return FailAt(at, std::string("the ") + field + " " + std::to_string(count) +
                              " is more than the remaining " + std::to_string(Remaining()) +
                              " bytes can hold");
    }
    return true;
}

bool WEXFilterReader::EnterGroup() {
    if (depth_ >= kMaxDepth)
        return Fail("groups nest deeper than " + std::to_string(kMaxDepth) + " levels");
    ++depth_;
    return true;
}

std::unique_ptr<WEXFilterElement> WEXFilterReader::ReadElement() {
    uint32_t at = stream_.Tell();
    uint32_t typeCode;
    if (!ReadU32(typeCode, "type code")) return nullptr;
    std::unique_ptr<WEXFilterElement> element = NewElement(typeCode);
    if (element == nullptr) {
        FailAt(at, Kiv::String::Printf("unknown type code 0x%08X", typeCode).view());
        return nullptr;
    }
    if (!element->Read(*this)) {
        Fail("the element's body cannot be read");
        return nullptr;
    }
    return element;
}

std::unique_ptr<WEXFilterElement> WEXFilterReadElement(TStream& stream, Kiv::String* error) {
    WEXFilterReader reader(stream);
    std::unique_ptr<WEXFilterElement> element = reader.ReadElement();
    if (error != nullptr) *error = element ? Kiv::String() : reader.GetError();
    return element;
}
