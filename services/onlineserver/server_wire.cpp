#include "services/onlineserver/server_wire.h"

#include <cstring>

namespace onlineserver {

WireWriter& WireWriter::U32(uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
}

WireWriter& WireWriter::Float(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return U32(bits);
}

WireWriter& WireWriter::Text(const std::string& s) {
    if (s.size() > kMaxText) return U32(0);
    U32(static_cast<uint32_t>(s.size()));
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
}

WireWriter& WireWriter::Interned(const std::string& s) {
    if (s.size() >= kMaxText) return U32(0);
    U32(static_cast<uint32_t>(s.size() + 1));
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    bytes_.push_back(0);
    return *this;
}

bool WireReader::Take(void* out, size_t n) {
    if (!ok_ || Left() < n) {
        ok_ = false;
        std::memset(out, 0, n);
        return false;
    }
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
}

uint8_t WireReader::U8() {
    uint8_t v;
    Take(&v, 1);
    return v;
}

uint32_t WireReader::U32() {
    uint8_t b[4];
    Take(b, 4);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

float WireReader::Float() {
    uint32_t bits = U32();
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

std::string WireReader::Text() {
    uint32_t n = U32();
    if (!ok_ || n > kMaxText || Left() < n) {
        ok_ = false;
        return {};
    }
    std::string s(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return s;
}

std::string WireReader::Interned() {
    std::string s = Text();
    // The count includes the terminating NUL.
    if (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

Bytes WireReader::Soup() {
    if (!ok_ || Left() < 16 || std::memcmp(data_ + pos_, "ACS$", 4) != 0) {
        ok_ = false;
        return {};
    }
    const uint8_t* h = data_ + pos_ + 12;
    uint32_t body =
        uint32_t{h[0]} | uint32_t{h[1]} << 8 | uint32_t{h[2]} << 16 | uint32_t{h[3]} << 24;
    if (Left() - 16 < body) {
        ok_ = false;
        return {};
    }
    Bytes soup(data_ + pos_, data_ + pos_ + 16 + body);
    pos_ += 16 + body;
    return soup;
}

Bytes WireReader::AssetId() {
    Bytes id(8);
    Take(id.data(), 8);
    return id;
}

Bytes EmptySoup() {
    return Bytes{'A', 'C', 'S', '$', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

namespace {
uint8_t Mask(uint32_t s, const std::string& key) {
    uint8_t k = static_cast<uint8_t>(key[(s / 13) % key.size()]);
    unsigned turn = (s / 7) & 7;
    uint8_t turned = static_cast<uint8_t>(((k >> turn) | (k << ((8 - turn) & 7))) & 0xFF);
    return static_cast<uint8_t>((s + turned) & 0xFF);
}
}  // namespace

void Scrambler::Scramble(uint8_t* p, size_t n) {
    if (key.empty()) return;
    for (size_t i = 0; i < n; ++i) {
        p[i] ^= Mask(state, key);
        state += p[i];
    }
}

void Scrambler::Unscramble(uint8_t* p, size_t n) {
    if (key.empty()) return;
    for (size_t i = 0; i < n; ++i) {
        uint8_t seen = p[i];
        p[i] ^= Mask(state, key);
        state += seen;
    }
}

std::vector<Bytes> SplitIntoFragments(uint8_t seq, uint8_t ack, const Bytes& payload) {
    size_t parts = payload.empty() ? 1 : (payload.size() + kFragmentBytes - 1) / kFragmentBytes;
    if (parts > kMostFragments) return {};
    std::vector<Bytes> out;
    size_t at = 0;
    for (size_t i = 0; i < parts; ++i) {
        size_t take = (payload.size() - at) / (parts - i);
        Bytes d{seq, ack, static_cast<uint8_t>(i == parts - 1 ? (0x80 | i) : i)};
        d.insert(d.end(), payload.begin() + at, payload.begin() + at + take);
        at += take;
        out.push_back(std::move(d));
    }
    return out;
}

}  // namespace onlineserver
