#include "platform/kiv/base/text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace Kiv {
void AppendVFormat(std::string& out, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        out.append(small, static_cast<size_t>(n));
        return;
    }
    size_t old = out.size();
    out.resize(old + static_cast<size_t>(n));
    std::vsnprintf(out.data() + old, static_cast<size_t>(n) + 1, format, args);
}

std::string VFormat(const char* format, va_list args) {
    std::string out;
    AppendVFormat(out, format, args);
    return out;
}

String String::Printf(const char* format, ...) {
    String out;
    va_list args;
    va_start(args, format);
    AppendVFormat(out.s_, format, args);
    va_end(args);
    return out;
}

void String::Setf(const char* format, ...) {
    s_.clear();
    va_list args;
    va_start(args, format);
    AppendVFormat(s_, format, args);
    va_end(args);
}

void String::Appendf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendVFormat(s_, format, args);
    va_end(args);
}

int String::Compare(std::string_view other) const {
    int c = std::string_view(s_).compare(other);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int String::CompareIgnoreCase(std::string_view other) const {
    size_t n = std::min(s_.size(), other.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char a = static_cast<unsigned char>(AsciiLower(s_[i]));
        unsigned char b = static_cast<unsigned char>(AsciiLower(other[i]));
        if (a != b) return a < b ? -1 : 1;
    }
    if (s_.size() == other.size()) return 0;
    return s_.size() < other.size() ? -1 : 1;
}

size_t String::FindIgnoreCase(std::string_view what, size_t from) const {
    if (what.empty()) return from <= s_.size() ? from : npos;
    if (what.size() > s_.size()) return npos;
    for (size_t i = from; i + what.size() <= s_.size(); ++i) {
        if (EqualsIgnoreCase(std::string_view(s_).substr(i, what.size()), what)) return i;
    }
    return npos;
}

void String::Splice(size_t at, size_t count, std::string_view with) {
    if (at > s_.size()) at = s_.size();
    s_.replace(at, std::min(count, s_.size() - at), with);
}

String String::Mid(size_t at, size_t count) const {
    if (at >= s_.size()) return String();
    return String(s_.substr(at, count));
}

void String::ToUpper() {
    for (char& c : s_)
        c = AsciiUpper(c);
}

void String::ToLower() {
    for (char& c : s_)
        c = AsciiLower(c);
}

void String::TrimRight() {
    while (!s_.empty() &&
           (s_.back() == ' ' || s_.back() == '\t' || s_.back() == '\r' || s_.back() == '\n'))
        s_.pop_back();
}

void String::TrimLeft() {
    size_t i = 0;
    while (i < s_.size() && (s_[i] == ' ' || s_[i] == '\t' || s_[i] == '\r' || s_[i] == '\n'))
        ++i;
    s_.erase(0, i);
}

std::vector<String> String::Token(std::string_view separators) const {
    std::vector<String> out;
    size_t i = 0;
    while (i < s_.size()) {
        size_t j = s_.find_first_of(separators, i);
        if (j == npos) j = s_.size();
        if (j > i) out.emplace_back(std::string_view(s_).substr(i, j - i));
        i = j + 1;
    }
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

std::string ToLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

std::vector<std::string_view> SplitWords(std::string_view text) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t')
            ++i;
        if (i > start) out.push_back(text.substr(start, i - start));
    }
    return out;
}

}  // namespace Kiv
