#include "foundation/codepage.h"

#include <errno.h>
#include <iconv.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Every conversion goes through code points (UTF-32), as the platform's own conversion went
// through UTF-16: decode the source, then encode the target.
constexpr const char* kPivot = "UTF-32LE";

// Windows-1252 leaves five bytes undefined, and iconv refuses them; the platform the files
// come from maps each to the C1 control of the same value, so every byte string of the local
// code page converts. The same five map back.
bool IsUndefinedIn1252(uint32_t value) {
    return value == 0x81 || value == 0x8D || value == 0x8F || value == 0x90 || value == 0x9D;
}

std::string CharsetName(uint32_t codePage) {
    switch (codePage) {
        case kCodePageLocal:
        case kCodePageWindows1252:
            return "WINDOWS-1252";
        case kCodePageUtf8:
            return "UTF-8";
        default:
            return "CP" + std::to_string(codePage);
    }
}

bool Is1252(uint32_t codePage) {
    return codePage == kCodePageLocal || codePage == kCodePageWindows1252;
}

// One iconv descriptor per code page and direction, opened on first use by each thread and
// closed when the thread ends.
class DescriptorCache {
public:
    ~DescriptorCache() {
        for (const Entry& e : entries_)
            if (e.cd != kInvalid) iconv_close(e.cd);
    }
    // Decoding reads the code page into the pivot; encoding writes the code page from it.
    iconv_t Get(uint32_t codePage, bool decode) {
        for (const Entry& e : entries_)
            if (e.codePage == codePage && e.decode == decode) return e.cd;
        std::string name = CharsetName(codePage);
        iconv_t cd = decode ? iconv_open(kPivot, name.c_str()) : iconv_open(name.c_str(), kPivot);
        entries_.push_back({codePage, decode, cd});
        return cd;
    }
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

private:
    struct Entry {
        uint32_t codePage;
        bool decode;
        iconv_t cd;
    };
    std::vector<Entry> entries_;
};

DescriptorCache& Descriptors() {
    thread_local DescriptorCache cache;
    return cache;
}

// Runs iconv over the whole input. On an input byte iconv refuses, `onRefused` may consume it
// (returning the bytes it used) or give up (returning 0). Output grows as needed.
template <typename OnRefused>
bool RunIconv(iconv_t cd, const char* in, size_t inLeft, std::string& out, OnRefused onRefused) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.clear();
    char* src = const_cast<char*>(in);
    std::array<char, 1024> chunk;
    while (inLeft > 0) {
        char* dst = chunk.data();
        size_t dstLeft = chunk.size();
        size_t r = iconv(cd, &src, &inLeft, &dst, &dstLeft);
        out.append(chunk.data(), chunk.size() - dstLeft);
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (errno != EILSEQ) return false;  // EINVAL: a sequence cut short by the end
        size_t used = onRefused(src, inLeft, out);
        if (used == 0) return false;
        src += used;
        inLeft -= used;
    }
    return true;
}

void AppendPivot(std::string& out, uint32_t codePoint) {
    char b[4];
    std::memcpy(b, &codePoint, 4);  // the pivot is little-endian, as is this machine
    out.append(b, 4);
}

bool Decode(const char* text, size_t length, uint32_t codePage, std::string& codePoints) {
    iconv_t cd = Descriptors().Get(codePage, true);
    if (cd == DescriptorCache::kInvalid) return false;
    bool lenient1252 = Is1252(codePage);
    return RunIconv(cd, text, length, codePoints,
                    [lenient1252](const char* at, size_t, std::string& out) -> size_t {
                        auto byte = static_cast<uint8_t>(*at);
                        if (!lenient1252 || !IsUndefinedIn1252(byte)) return 0;
                        AppendPivot(out, byte);
                        return 1;
                    });
}

bool Encode(const std::string& codePoints, uint32_t codePage, std::string& encoded) {
    iconv_t cd = Descriptors().Get(codePage, false);
    if (cd == DescriptorCache::kInvalid) return false;
    bool lenient1252 = Is1252(codePage);
    return RunIconv(
        cd, codePoints.data(), codePoints.size(), encoded,
        [lenient1252](const char* at, size_t left, std::string& out) -> size_t {
            if (left < 4) return 0;
            uint32_t cp;
            std::memcpy(&cp, at, 4);
            out.push_back(lenient1252 && IsUndefinedIn1252(cp) ? static_cast<char>(cp) : '?');
            return 4;
        });
}

void MarkHighBytes(char* text) {
    for (char* p = text; *p != '\0'; ++p)
        if (static_cast<uint8_t>(*p) & 0x80) *p = '?';
}

}  // namespace

int ConvertTextCodePage(char* text, uint32_t bufferSize, uint32_t fromCodePage,
                        uint32_t toCodePage) {
    if (text == nullptr || bufferSize == 0) return kCodePageFailed;
    size_t length = ::strnlen(text, bufferSize);
    if (length == bufferSize) {
        text[0] = '\0';
        return kCodePageFailed;
    }
    std::string codePoints;
    std::string encoded;
    if (!Decode(text, length, fromCodePage, codePoints) ||
        !Encode(codePoints, toCodePage, encoded)) {
        MarkHighBytes(text);
        return kCodePageFailed;
    }
    if (encoded.size() + 1 > bufferSize) return static_cast<int>(encoded.size() + 1);
    std::memcpy(text, encoded.data(), encoded.size());
    text[encoded.size()] = '\0';
    return kCodePageConverted;
}

int ConvertToUtf8(char* text, uint32_t bufferSize) {
    return ConvertTextCodePage(text, bufferSize, kCodePageLocal, kCodePageUtf8);
}

int ConvertFromUtf8(char* text, uint32_t bufferSize, uint32_t toCodePage) {
    return ConvertTextCodePage(text, bufferSize, kCodePageUtf8, toCodePage);
}

bool LocalTextToUtf8(std::string_view text, std::string& out) {
    out.assign(text.substr(0, text.find('\0')));
    out.push_back('\0');
    int result = ConvertToUtf8(out.data(), static_cast<uint32_t>(out.size()));
    if (result > 0) {
        // The buffer was too small; the text is unchanged, so it converts in a larger one.
        out.resize(static_cast<size_t>(result));
        result = ConvertToUtf8(out.data(), static_cast<uint32_t>(out.size()));
    }
    if (result != kCodePageConverted) {
        out.clear();
        return false;
    }
    out.resize(std::strlen(out.c_str()));
    return true;
}

namespace {

// Following bytes by lead byte: 0x00-0xBF none (ASCII and stray continuation bytes),
// 0xC0-0xDF one, 0xE0-0xEF two, 0xF0-0xF7 three, 0xF8-0xFF none.
uint32_t FollowingBytes(uint8_t lead) {
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 1;
    if (lead < 0xF0) return 2;
    if (lead < 0xF8) return 3;
    return 0;
}

// What the lead and its following bytes add up to, less than the true value by this much.
constexpr uint32_t kUtf8Offsets[4] = {0x00000000, 0x00003080, 0x000E2080, 0x03C82080};

// `available` bytes may be read (SIZE_MAX: up to a NUL, which is never a continuation byte).
uint32_t Decode(const uint8_t* p, size_t available, uint32_t* length) {
    uint32_t extra = FollowingBytes(p[0]);
    for (uint32_t i = 1; i <= extra; ++i) {
        if (i >= available || (p[i] & 0xC0) != 0x80) {
            extra = 0;  // cut short: the lead byte stands alone
            break;
        }
    }
    uint32_t value = 0;
    for (uint32_t i = 0; i <= extra; ++i)
        value = (value << 6) + p[i];
    if (length != nullptr) *length = extra + 1;
    return value - kUtf8Offsets[extra];
}

}  // namespace

uint32_t DecodeUtf8Char(const char* text, uint32_t* length) {
    return Decode(reinterpret_cast<const uint8_t*>(text), SIZE_MAX, length);
}

uint32_t DecodeUtf8Char(std::string_view text, uint32_t* length) {
    if (text.empty()) {
        if (length != nullptr) *length = 0;
        return 0;
    }
    return Decode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), length);
}
