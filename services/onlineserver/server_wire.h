// The stand-in online-access server's own reading and writing of the wire: little-endian
// values, texts, interned texts and binary soups inside a message, the payload scrambling and
// the two datagram layouts. It is written from the protocol's tables and shares no code with
// the client (online/), so that a misreading of a table on either side shows as a failing
// test rather than as two halves that agree by construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace onlineserver {

using Bytes = std::vector<uint8_t>;

// Builds a message: u8/u32/float little-endian; a text is a u32 length and its bytes; an
// interned text is a u32 length counting a terminating NUL, the bytes and the NUL.
class WireWriter {
public:
    explicit WireWriter(uint8_t type) { U8(type); }
    WireWriter& U8(uint8_t v) {
        bytes_.push_back(v);
        return *this;
    }
    WireWriter& U32(uint32_t v);
    WireWriter& Float(float v);
    WireWriter& Text(const std::string& s);
    WireWriter& Interned(const std::string& s);
    WireWriter& Raw(const Bytes& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    Bytes Take() { return std::move(bytes_); }

private:
    Bytes bytes_;
};

// Reads a message; any field that does not read whole clears ok() and yields empty values.
class WireReader {
public:
    WireReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit WireReader(const Bytes& b) : WireReader(b.data(), b.size()) {}
    uint8_t U8();
    uint32_t U32();
    float Float();
    std::string Text();
    std::string Interned();
    // A binary soup taken whole ("ACS$", version, reserved, body size, body), unread.
    Bytes Soup();
    // An 8-byte asset id, kept as its bytes.
    Bytes AssetId();
    bool ok() const { return ok_; }
    size_t Left() const { return size_ - pos_; }

private:
    bool Take(void* out, size_t n);
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// The longest text either form carries.
constexpr uint32_t kMaxText = 65535;

// The empty binary soup: its 16-byte header with a body of 0 bytes.
Bytes EmptySoup();

// The payload scrambling of one direction: the key is the sending side's token followed by
// the receiving side's; the state starts at 0 when the tokens are set and runs on.
struct Scrambler {
    std::string key;
    uint32_t state = 0;
    void Scramble(uint8_t* p, size_t n);
    void Unscramble(uint8_t* p, size_t n);
};

// Datagram layouts: plain [seq][ack][payload]; fragment [seq][ack][last<<7|index][bytes].
constexpr size_t kFragmentBytes = 1197;
constexpr size_t kFragmentDatagram = 1200;
constexpr size_t kMostFragments = 127;
// The datagrams of one sequenced packet, its bytes spread evenly, the larger parts last.
// Empty when the packet needs more than 127 fragments.
std::vector<Bytes> SplitIntoFragments(uint8_t seq, uint8_t ack, const Bytes& payload);

}  // namespace onlineserver
