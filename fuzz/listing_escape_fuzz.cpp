// The two listing escapers on arbitrary bytes: each output reads back to its input. The SQL
// text reads back by dropping each escaping backslash, and no quote in it is left unescaped
// (so a value cannot end its SQL string); the listing line holds no line break, and reads
// back to the input with every line break (a CR LF or LF CR pair as one) made a line feed.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive/listing_text.h"

namespace {

std::string ReadSQLText(std::string_view escaped) {
    std::string out;
    for (size_t i = 0; i < escaped.size(); ++i) {
        char c = escaped[i];
        if (c == '\\') {
            if (i + 1 >= escaped.size()) std::abort();  // a lone backslash at the end
            c = escaped[++i];
            if (c != '\\' && c != '\'' && c != '"') std::abort();
        } else if (c == '\'' || c == '"') {
            std::abort();  // a quote that would end the string
        }
        out += c;
    }
    return out;
}

std::string ReadListingText(std::string_view escaped) {
    std::string out;
    for (size_t i = 0; i < escaped.size(); ++i) {
        char c = escaped[i];
        if (c == '\r' || c == '\n') std::abort();
        if (c == '\\') {
            if (i + 1 >= escaped.size()) std::abort();
            c = escaped[++i];
            if (c == 'n')
                c = '\n';
            else if (c != '\\')
                std::abort();
        }
        out += c;
    }
    return out;
}

std::string LineBreaksAsLineFeeds(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n') &&
                text[i + 1] != c)
                ++i;
            c = '\n';
        }
        out += c;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (ReadSQLText(EscapeSQLText(text).view()) != text) std::abort();
    if (ReadListingText(EscapeListingText(text).view()) != LineBreaksAsLineFeeds(text))
        std::abort();
    return 0;
}
