#include "configdata/kuid.h"

#include <charconv>
#include <cstring>

#include "configdata/number_text.h"
#include "foundation/tstream.h"

const KUID KUID::kNull{};

namespace {

const Kiv::PString& NullText() {
    // One interned "<NULL>" shared by every caller, made on first use and kept for good.
    static const Kiv::PString* text = new Kiv::PString("<NULL>");
    return *text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// "kuid" in any letter case at p.
bool MatchKeyword(const char* p) {
    return Lower(p[0]) == 'k' && Lower(p[1]) == 'u' && Lower(p[2]) == 'i' && Lower(p[3]) == 'd';
}

// One "%d" conversion as the C library reads it, with a range check instead of overflow; on
// success p moves past the number.
NumberScan ReadInt(const char*& p, int32_t& value) {
    return ScanInt(p, p + std::strlen(p), value, &p);
}

// Reads up to `count` numbers separated by ':' (the "%d:%d" and "%d:%d:%d" formats): each
// number that cannot be read, and all after it, keep their values. False when a number was
// out of range.
bool ReadNumbers(const char* p, int32_t* out[], int count) {
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (*p != ':') return true;
            ++p;
        }
        int32_t v;
        NumberScan r = ReadInt(p, v);
        if (r == NumberScan::kOutOfRange) return false;
        if (r == NumberScan::kMissing) return true;
        *out[i] = v;
    }
    return true;
}

// Strict shape of a short form after "kuid:": ['-'] digits* ':' digits* '>'.
bool StrictBracketedShort(const char* p) {
    if (*p == '-') ++p;
    while (IsDigit(*p))
        ++p;
    if (*p++ != ':') return false;
    while (IsDigit(*p))
        ++p;
    return *p == '>';
}

// Strict shape of a long form after "kuid2:": digits ':' digits ':' digits '>'.
bool StrictBracketedLong(const char* p) {
    for (int i = 0; i < 3; ++i) {
        if (!IsDigit(*p)) return false;
        while (IsDigit(*p))
            ++p;
        if (*p++ != (i < 2 ? ':' : '>')) return false;
    }
    return true;
}

// Strict shape after a bare keyword: ['-'] digits ':' digits (the rest is not looked at).
bool StrictBare(const char* p) {
    if (*p == '-') ++p;
    if (!IsDigit(*p)) return false;
    while (IsDigit(*p))
        ++p;
    if (*p++ != ':') return false;
    return IsDigit(*p);
}

// Only digits, '-' and ':' up to `end`, with exactly one ':'.
bool BarePair(const char* p, const char* end) {
    int colons = 0;
    for (; p < end; ++p) {
        if (*p == ':') {
            ++colons;
        } else if (!IsDigit(*p) && *p != '-') {
            return false;
        }
    }
    return colons == 1;
}

bool InRange(const KUID& k) {
    if (k.userId >= 0 && k.userId <= KUID::kMaxUserId) {
        return static_cast<uint32_t>(k.version) <= KUID::kMaxVersion;
    }
    if (k.userId < 0 && k.userId >= KUID::kMinUserId) return k.version == KUID::kMaxVersion;
    return false;
}

// The two-number forms: "%d:%d" from p, version by the user id's sign.
KUID ParsePair(const char* p) {
    KUID k;
    int32_t* fields[] = {&k.userId, &k.contentId};
    if (!ReadNumbers(p, fields, 2)) return KUID::kNull;
    k.version = k.userId < 0 ? 127 : 0;
    return k;
}

// The three-number forms: "%d:%d:%d" from p; a negative or too large user id is refused.
KUID ParseTriple(const char* p) {
    KUID k;
    int32_t* fields[] = {&k.userId, &k.contentId, &k.version};
    if (!ReadNumbers(p, fields, 3)) return KUID::kNull;
    if (k.userId < 0 || k.userId > KUID::kMaxUserId) return KUID::kNull;
    return k;
}

KUID ParseText(const char* t, bool strict) {
    if (t == nullptr) return KUID::kNull;
    size_t len = std::strlen(t);

    if (len >= 6 && t[0] == '<' && Lower(t[1]) == 'n' && Lower(t[2]) == 'u' && Lower(t[3]) == 'l' &&
        Lower(t[4]) == 'l' && t[5] == '>')
        return KUID::kNull;

    if (t[0] == '<' && len >= 5 && MatchKeyword(t + 1)) {
        if (t[5] == ':') {
            if (strict && !StrictBracketedShort(t + 6)) return KUID::kNull;
            return ParsePair(t + 6);
        }
        if (t[5] == '2' && t[6] == ':') {
            if (strict && !StrictBracketedLong(t + 7)) return KUID::kNull;
            return ParseTriple(t + 7);
        }
    }

    if (len >= 4 && MatchKeyword(t)) {
        if (t[4] == ':') {
            if (strict && !StrictBare(t + 5)) return KUID::kNull;
            return ParsePair(t + 5);
        }
        if (t[4] == '2' && t[5] == ':') {
            if (strict && !StrictBare(t + 6)) return KUID::kNull;
            return ParseTriple(t + 6);
        }
    }

    if (strict) return KUID::kNull;

    if (len > 0 && BarePair(t, t + len)) return ParsePair(t);

    if (t[0] == '<') {
        const char* end = t + len;
        if (len >= 2 && t[len - 1] == '>') --end;
        if (BarePair(t + 1, end)) return ParsePair(t + 1);
    }

    bool onlyNumber = true;
    for (const char* p = t; *p; ++p) {
        if (!IsDigit(*p) && *p != '-') {
            onlyNumber = false;
            break;
        }
    }
    if (onlyNumber) {
        KUID k;
        const char* p = t;
        int32_t v;
        NumberScan r = ReadInt(p, v);
        if (r == NumberScan::kOutOfRange) return KUID::kNull;
        if (r == NumberScan::kRead) k.contentId = v;
        return k;
    }
    return KUID::kNull;
}

}  // namespace

Kiv::PString KUID::ToString() const {
    if (IsNull()) return NullText();
    std::string text;
    AppendString(text);
    return Kiv::PString(text);
}

void KUID::AppendString(std::string& out) const {
    if (IsNull()) {
        out += NullText().view();
        return;
    }
    char number[16];
    auto put = [&](int32_t v) { out.append(number, std::to_chars(number, number + 16, v).ptr); };
    out += IsShortForm() ? "<kuid:" : "<kuid2:";
    put(userId);
    out += ':';
    put(contentId);
    if (!IsShortForm()) {
        out += ':';
        put(version);
    }
    out += '>';
}

Kiv::PString KUID::ToStringNoVersion() const {
    if (IsNull()) return NullText();
    return Kiv::PString::Printf("<kuid:%d:%d>", userId, contentId);
}

Kiv::String KUID::ToDisplayString() const {
    if (IsNull()) return "NULLKUID";
    if (IsShortForm()) return Kiv::String::Printf("kuid %d %d", userId, contentId);
    return Kiv::String::Printf("kuid2 %d %d %d", userId, contentId, version);
}

Kiv::String KUID::ToColonString() const {
    if (IsNull()) return "NULLKUID";
    if (IsShortForm()) return Kiv::String::Printf("%d%c%d", userId, ':', contentId);
    return Kiv::String::Printf("%d%c%d%c%d", userId, ':', contentId, ':', version);
}

KUID& KUID::Parse(const char* text, bool strict) {
    KUID k = ParseText(text, strict);
    *this = InRange(k) ? k : kNull;
    return *this;
}

KUID KUID::FromText(std::string_view text, bool strict) {
    std::string copy(text);
    KUID k;
    return k.Parse(copy.c_str(), strict);
}

void KUID::PackWords(const KUID& kuid, uint32_t& packed, uint32_t& content) {
    packed = (static_cast<uint32_t>(kuid.version) << 25) |
             (static_cast<uint32_t>(kuid.userId) & 0x1FFFFFFu);
    content = static_cast<uint32_t>(kuid.contentId);
}

void KUID::PackWords(const KUID& kuid, void* block8) {
    uint32_t words[2];
    PackWords(kuid, words[0], words[1]);
    std::memcpy(block8, words, 8);
}

KUID KUID::UnpackWords(uint32_t packed, uint32_t content) {
    uint32_t user = packed & 0x1FFFFFFu;
    if (user & 0x1000000u) user |= 0xFE000000u;
    return KUID(static_cast<int32_t>(user), static_cast<int32_t>(content),
                static_cast<int32_t>(packed >> 25));
}

KUID KUID::UnpackWords(const void* block8) {
    uint32_t words[2];
    std::memcpy(words, block8, 8);
    return UnpackWords(words[0], words[1]);
}

void KUID::Write(TStream& stream) const {
    uint32_t packed, content;
    PackWords(*this, packed, content);
    stream.WriteU32(content);
    stream.WriteU32(packed);
}

void KUID::Read(TStream& stream) {
    uint32_t content, packed;
    stream.ReadU32(content, 0xFFFFFFFFu);
    stream.ReadU32(packed, 0xFFFFFFFFu);
    *this = UnpackWords(packed, content);
}

// The stream's KUID helpers live with KUID so the foundation does not depend on this layer.
void TStream::ReadKUID(KUID& out) {
    out.Read(*this);
}

void TStream::WriteKUID(const KUID& kuid) {
    kuid.Write(*this);
}
