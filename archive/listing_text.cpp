#include "archive/listing_text.h"

Kiv::String EscapeListingText(const char* text) {
    if (text == nullptr) return {};
    return EscapeListingText(std::string_view(text));
}

Kiv::String EscapeListingText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\\n";
            // The other half of a CR LF or LF CR pair is the same line break.
            if (i + 1 < text.size()) {
                char next = text[i + 1];
                if ((next == '\r' || next == '\n') && next != c) ++i;
            }
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out += c;
        }
    }
    return Kiv::String(std::move(out));
}

void AppendEscapedSQLText(std::string& out, std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' || c == '\'' || c == '"') {
            out.append(text, start, i - start);
            out += '\\';
            start = i;
        }
    }
    out.append(text, start, text.size() - start);
}

Kiv::String EscapeSQLText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    AppendEscapedSQLText(out, text);
    return Kiv::String(std::move(out));
}

Kiv::String JoinKUIDTexts(const KUIDBlockList& list) {
    std::string out;
    bool first = true;
    for (auto it = list.Begin(); !it.IsEnd(); ++it) {
        if (!first) out += ", ";
        first = false;
        it->AppendString(out);
    }
    return Kiv::String(std::move(out));
}
