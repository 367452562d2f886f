// The command host's archive file.
#include "archive/crak_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "foundation/file_utils.h"
#include "foundation/tbuffer.h"

namespace {

// Where the header's words lie.
constexpr size_t kLengthOffset = 12;
constexpr size_t kHeaderSize = 20;
constexpr size_t kVersion0HeaderSize = 16;
constexpr size_t kRecordHeaderSize = 12;  // KUID, end position

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PatchU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetU32(const std::vector<uint8_t>& in, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(in[at + i]) << (8 * i);
    return v;
}

}  // namespace

CrakWriter::CrakWriter(uint32_t archiveWord) {
    PutU32(bytes_, kCrakMagic);
    PutU32(bytes_, kCrakVersion);
    uint32_t bits;
    static_assert(sizeof bits == sizeof kCrakVersionFloat);
    std::memcpy(&bits, &kCrakVersionFloat, 4);
    PutU32(bytes_, bits);
    PutU32(bytes_, kCrakUnpatched);
    PutU32(bytes_, archiveWord);
}

bool CrakWriter::Add(const KUID& asset, const TDBTagRef& data) {
    TBuffer soup;
    if (!data || !WriteTagTreeBinary(data, soup) || soup.HasError()) return false;
    const uint64_t end = bytes_.size() + kRecordHeaderSize + soup.GetDataLength();
    if (end > std::numeric_limits<uint32_t>::max()) return false;
    TBuffer kuidBytes;
    asset.Write(kuidBytes);
    if (kuidBytes.GetDataLength() != 8) return false;
    bytes_.insert(bytes_.end(), kuidBytes.GetData(), kuidBytes.GetData() + 8);
    const size_t endAt = bytes_.size();
    PutU32(bytes_, kCrakUnpatched);
    bytes_.insert(bytes_.end(), soup.GetData(), soup.GetData() + soup.GetDataLength());
    PatchU32(bytes_, endAt, static_cast<uint32_t>(bytes_.size()));
    ++records_;
    return true;
}

const std::vector<uint8_t>& CrakWriter::Bytes() {
    PatchU32(bytes_, kLengthOffset, static_cast<uint32_t>(bytes_.size()));
    return bytes_;
}

bool CrakWriter::WriteTo(std::string_view path) {
    const std::vector<uint8_t>& bytes = Bytes();
    return WriteFileReplacing(path, [&bytes](TStream& out) {
        size_t done = 0;
        while (done < bytes.size()) {
            uint32_t step = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, 1u << 20));
            if (out.Write(bytes.data() + done, step) != step) return false;
            done += step;
        }
        return true;
    });
}

CrakStatus CrakReader::Open(std::string_view path, uint32_t archiveWord) {
    std::ifstream in{std::string(path), std::ios::binary | std::ios::ate};
    std::vector<uint8_t> bytes;
    if (in) {
        std::streamoff size = in.tellg();
        if (size >= 0 && static_cast<uint64_t>(size) <= std::numeric_limits<uint32_t>::max()) {
            bytes.resize(static_cast<size_t>(size));
            in.seekg(0);
            if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) bytes.clear();
        }
    }
    return OpenBytes(std::move(bytes), archiveWord);
}

CrakStatus CrakReader::OpenBytes(std::vector<uint8_t> bytes, uint32_t archiveWord) {
    bytes_ = std::move(bytes);
    at_ = 0;
    current_ = false;
    version_ = 0xFFFFFFFF;
    status_ = CrakStatus::kUnreadable;
    if (bytes_.size() > std::numeric_limits<uint32_t>::max()) return status_;
    uint32_t magic = 0;
    if (bytes_.size() >= 8) {
        magic = GetU32(bytes_, 0);
        version_ = GetU32(bytes_, 4);
    }
    size_t at = 8;
    if (version_ == 1) {
        if (bytes_.size() < kHeaderSize) return status_;
        float v;
        uint32_t bits = GetU32(bytes_, 8);
        std::memcpy(&v, &bits, 4);
        current_ =
            std::isfinite(v) && std::fabs(v) < 1e6f && static_cast<int>(v * 100.0f + 0.1f) == 360;
        at = 12;
    } else if (version_ == 0) {
        if (bytes_.size() < kVersion0HeaderSize) return status_;
    } else if (bytes_.size() >= 8) {
        return status_ = CrakStatus::kVersion;
    } else {
        return status_;
    }
    const uint32_t total = GetU32(bytes_, at);
    const uint32_t word = GetU32(bytes_, at + 4);
    if (magic != kCrakMagic || total != bytes_.size() || word != archiveWord) return status_;
    at_ = static_cast<uint32_t>(at + 8);
    return status_ = CrakStatus::kOk;
}

bool CrakReader::Next(CrakRecord& out) {
    if (status_ != CrakStatus::kOk) return false;
    // A record cut short reads as the null KUID: the end, as the format's writer leaves it.
    if (bytes_.size() - at_ < 8) return false;
    TBuffer kuid(bytes_.data() + at_, 8);
    out.asset.Read(kuid);
    if (out.asset.IsNull()) return false;
    if (bytes_.size() - at_ < kRecordHeaderSize) {
        status_ = CrakStatus::kUnreadable;
        return false;
    }
    out.start = at_ + static_cast<uint32_t>(kRecordHeaderSize);
    out.end = GetU32(bytes_, at_ + 8);
    if (out.end <= out.start || out.end > bytes_.size()) {
        status_ = CrakStatus::kUnreadable;
        return false;
    }
    at_ = out.end;
    return true;
}

TDBTagRef CrakReader::ReadData(const CrakRecord& record) const {
    if (record.end <= record.start || record.end > bytes_.size()) return {};
    TBuffer window(bytes_.data() + record.start, record.end - record.start);
    TDBTagRef tree;
    if (!ReadTagTreeBinary(window, tree)) return {};
    return tree;
}
