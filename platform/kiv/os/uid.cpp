#include "platform/kiv/os/uid.h"

namespace Kiv {
namespace {

constexpr size_t kTextLength = 36;

bool IsDash(size_t at) {
    return at == 8 || at == 13 || at == 18 || at == 23;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<UId> UId::Parse(std::string_view text) {
    if (text.size() != kTextLength) return std::nullopt;
    UId id;
    size_t digit = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        if (IsDash(at)) {
            if (text[at] != '-') return std::nullopt;
            continue;
        }
        int v = HexValue(text[at]);
        if (v < 0) return std::nullopt;
        uint8_t& b = id.bytes[digit / 2];
        b = static_cast<uint8_t>(digit % 2 == 0 ? v << 4 : b | v);
        ++digit;
    }
    return id;
}

std::string UId::ToString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(kTextLength);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (IsDash(text.size())) text += '-';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace Kiv
