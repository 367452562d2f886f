#include "services/wexdaemon/wire_format.h"

#include <algorithm>
#include <cstring>

namespace wexd {

namespace {

// Reads one little-endian word; false when the source ended first (*got says how many bytes
// of it came).
bool ReadWord(LinkByteSource& source, uint32_t& out, size_t* got = nullptr) {
    uint8_t bytes[4];
    size_t n = source.Read(bytes, sizeof bytes);
    if (got != nullptr) *got = n;
    if (n != sizeof bytes) return false;
    out = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
          uint32_t{bytes[3]} << 24;
    return true;
}

void PutWord(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

size_t MemoryByteSource::Read(void* dest, size_t n) {
    size_t take = std::min(n, size_ - at_);
    if (take != 0) std::memcpy(dest, data_ + at_, take);
    at_ += take;
    return take;
}

HelloStatus ReadClientHello(LinkByteSource& source, ClientHello& out) {
    uint32_t tag = 0;
    uint32_t length = 0;
    if (!ReadWord(source, tag)) return HelloStatus::kEnded;
    if (tag != kHelloClientTag) return HelloStatus::kBadTag;
    if (!ReadWord(source, out.version) || !ReadWord(source, out.build) ||
        !ReadWord(source, out.clientFlag) || !ReadWord(source, length))
        return HelloStatus::kEnded;
    if (out.version != kLinkVersion) return HelloStatus::kBadVersion;
    if (length > kMaxHelloPathBytes) return HelloStatus::kPathTooLong;
    out.databasePath.assign(length, '\0');
    if (source.Read(out.databasePath.data(), length) != length) return HelloStatus::kEnded;
    return HelloStatus::kOk;
}

const char* DescribeHelloStatus(HelloStatus status) {
    switch (status) {
        case HelloStatus::kOk:
            return "hello accepted";
        case HelloStatus::kEnded:
            return "the link ended inside the hello";
        case HelloStatus::kBadTag:
            return "the hello does not start with WEXC";
        case HelloStatus::kBadVersion:
            return "the hello names another link version";
        case HelloStatus::kPathTooLong:
            return "the hello's database path is too long";
    }
    return "unknown hello status";
}

FrameStatus ReadFrame(LinkByteSource& source, Frame& out) {
    size_t got = 0;
    if (!ReadWord(source, out.messageId, &got))
        return got == 0 ? FrameStatus::kEnded : FrameStatus::kTruncated;
    if (out.messageId == kGoodbyeWord) return FrameStatus::kGoodbye;
    uint32_t length = 0;
    if (!ReadWord(source, out.transactionId) || !ReadWord(source, length))
        return FrameStatus::kTruncated;
    if (length > kMaxFrameBytes) return FrameStatus::kTooLong;
    out.payload.clear();
    while (out.payload.size() < length) {
        size_t at = out.payload.size();
        size_t step = std::min<size_t>(kFrameReadStep, length - at);
        out.payload.resize(at + step);
        if (source.Read(out.payload.data() + at, step) != step) {
            out.payload.clear();
            return FrameStatus::kTruncated;
        }
    }
    return FrameStatus::kFrame;
}

const char* DescribeFrameStatus(FrameStatus status) {
    switch (status) {
        case FrameStatus::kFrame:
            return "frame";
        case FrameStatus::kGoodbye:
            return "goodbye";
        case FrameStatus::kEnded:
            return "the link ended";
        case FrameStatus::kTruncated:
            return "the link ended inside a frame";
        case FrameStatus::kTooLong:
            return "a frame over the length limit";
    }
    return "unknown frame status";
}

std::vector<uint8_t> EncodeDaemonHello() {
    return EncodeRecordHeader(kHelloDaemonTag, kLinkVersion, kLinkBuild);
}

std::vector<uint8_t> EncodeRecordHeader(uint32_t tag, uint32_t word, uint32_t length) {
    std::vector<uint8_t> out;
    out.reserve(12);
    PutWord(out, tag);
    PutWord(out, word);
    PutWord(out, length);
    return out;
}

}  // namespace wexd
