#include "assetdb/filter_string.h"

#include <string>

#include "assetdb/filter_reader.h"
#include "foundation/tstream.h"

WEXFilterElementString::WEXFilterElementString() : value_("") {}

WEXFilterElementString::WEXFilterElementString(uint32_t keywordCode, const Kiv::PString& text)
    : code_(keywordCode), value_(text) {
    std::string_view v = text.view();
    if (keywordCode == kWEXAssetName && v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        value_ = Kiv::PString(v.substr(1, v.size() - 2));
        exact_ = true;
    }
}

Kiv::PString WEXFilterElementString::KeywordName() const {
    return WEXFilterKeywordName(WEXFilterKeywordFamily::kString, code_);
}

Kiv::PString WEXFilterElementString::ValueText() const {
    std::string text;
    for (char c : value_.view()) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '(' || c == ')') {
            text += '\\';
            text += c;
        } else if (byte < 32) {
            text += '\\';
            text += static_cast<char>(byte + 64);
        } else {
            text += c;
        }
    }
    return WEXFilterValueText(text);
}

bool WEXFilterElementString::Write(TStream& stream) const {
    if (stream.WriteU32(code_) != 4) return false;
    // A value too long for the interned form goes out as the empty value, which would widen
    // the search: the write reports failure so that it is not sent.
    bool fits = value_.IsNull() || value_.Length() + 1 <= TStream::kMaxStringLength;
    uint32_t before = stream.Tell();
    stream.WritePString(value_);
    uint32_t expected = value_.IsNull() || !fits ? 4 : 5 + static_cast<uint32_t>(value_.Length());
    return fits && stream.Tell() - before == expected && stream.WriteBool(exact_) == 1;
}

bool WEXFilterElementString::Read(WEXFilterReader& reader) {
    return reader.ReadU32(code_, "string keyword code") &&
           reader.ReadText(value_, "string value") && reader.ReadBool(exact_, "exact flag");
}
