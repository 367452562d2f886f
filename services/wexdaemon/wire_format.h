// The daemon's side of the link's byte forms: the client's hello and the daemon's answer, the
// frames that carry requests and posts, and the reply and note records sent back. Readers work
// over a LinkByteSource so the same code reads a socket, a test's bytes and a fuzzer's input.
//
//   hello in    u32 'WEXC', u32 version 360, u32 build, u32 client flag, u32 path length,
//               that many bytes of the database path (no NUL)
//   hello out   u32 'WEXD', u32 version, u32 build
//   frame       u32 message id, u32 transaction id (0: a post), u32 length, payload
//   goodbye     u32 1 where a frame would start
//   reply       u32 'repl', u32 transaction id, u32 length, bytes
//   note        u32 'note', u32 type, u32 length, bytes
//
// The four-character tags are multi-character constants (first character in the most
// significant byte), written little-endian like every other word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "assetdb/daemon_link.h"

namespace wexd {

// The hello's tags, the version and build numbers and the goodbye word are the client's own.
constexpr uint32_t kHelloClientTag = ::kHelloClientTag;
constexpr uint32_t kHelloDaemonTag = ::kHelloDaemonTag;
constexpr uint32_t kLinkVersion = ::kClientVersion;
constexpr uint32_t kLinkBuild = ::kClientBuild;
constexpr uint32_t kGoodbyeWord = ::kGoodbyeWord;
constexpr uint32_t kReplyTag = 0x7265706C;  // 'repl'
constexpr uint32_t kNoteTag = 0x6E6F7465;   // 'note'

// A path longer than this in a hello is refused before anything is allocated for it.
constexpr uint32_t kMaxHelloPathBytes = 4096;
// A frame whose payload claims more is refused and its link closed.
constexpr uint32_t kMaxFrameBytes = 64u << 20;
// Payload bytes are taken in pieces of this size, so a length that is claimed but never sent
// costs no more memory than what actually arrived.
constexpr uint32_t kFrameReadStep = 1u << 20;

// Where link bytes come from.
class LinkByteSource {
public:
    virtual ~LinkByteSource() = default;
    // Reads up to n bytes, blocking until all have come or the source ends; returns the count
    // read (fewer than n only at the end of the source or on a failure).
    virtual size_t Read(void* dest, size_t n) = 0;
};

// A source over bytes in memory.
class MemoryByteSource final : public LinkByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Read(void* dest, size_t n) override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

struct ClientHello {
    uint32_t version = 0;
    uint32_t build = 0;
    uint32_t clientFlag = 0;
    std::string databasePath;
};

enum class HelloStatus {
    kOk,
    kEnded,        // the source ended before the hello was whole
    kBadTag,       // the first word is not 'WEXC'
    kBadVersion,   // a version other than 360
    kPathTooLong,  // a path length over kMaxHelloPathBytes
};
HelloStatus ReadClientHello(LinkByteSource& source, ClientHello& out);
const char* DescribeHelloStatus(HelloStatus status);

struct Frame {
    uint32_t messageId = 0;
    uint32_t transactionId = 0;
    std::vector<uint8_t> payload;

    bool IsPost() const { return transactionId == 0; }
};

enum class FrameStatus {
    kFrame,      // a whole frame was read
    kGoodbye,    // the client said goodbye
    kEnded,      // the source ended cleanly where a frame would start
    kTruncated,  // the source ended inside a frame
    kTooLong,    // the length word is over kMaxFrameBytes
};
FrameStatus ReadFrame(LinkByteSource& source, Frame& out);
const char* DescribeFrameStatus(FrameStatus status);

// The 12-byte daemon hello.
std::vector<uint8_t> EncodeDaemonHello();
// The 12-byte header of a reply or note; the payload follows it on the wire.
std::vector<uint8_t> EncodeRecordHeader(uint32_t tag, uint32_t word, uint32_t length);

}  // namespace wexd
