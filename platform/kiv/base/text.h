// Owned strings of the engine base library: Kiv::String (UTF-8 text for messages, settings
// values and paths) and Kiv::AnsiString (bytes in the local code page, used for option strings
// and file-system text). Both are thin value types over std::string with the operations the
// program calls; the split only records which encoding the bytes are in.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Kiv {

class String {
public:
    static constexpr size_t npos = std::string::npos;

    String() = default;
    String(const char* text) : s_(text ? text : "") {}  // NOLINT: implicit like the engine's
    String(std::string_view text) : s_(text) {}         // NOLINT
    String(std::string text) : s_(std::move(text)) {}   // NOLINT
    String(const char* text, size_t n) : s_(text, n) {}

    static String Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
    void Setf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Appendf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const char* c_str() const { return s_.c_str(); }
    const std::string& str() const { return s_; }
    std::string& str() { return s_; }
    std::string_view view() const { return s_; }
    operator std::string_view() const { return s_; }  // NOLINT
    size_t Length() const { return s_.size(); }
    bool IsEmpty() const { return s_.empty(); }
    char operator[](size_t i) const { return s_[i]; }
    char& operator[](size_t i) { return s_[i]; }

    String& operator+=(std::string_view text) {
        s_ += text;
        return *this;
    }
    String& operator+=(char c) {
        s_ += c;
        return *this;
    }
    friend String operator+(const String& a, std::string_view b) {
        return String(a.s_ + std::string(b));
    }

    // Byte-wise comparison (<0, 0, >0), and the same ignoring ASCII letter case.
    int Compare(std::string_view other) const;
    int CompareIgnoreCase(std::string_view other) const;
    bool CompareWith(std::string_view other) const { return Compare(other) == 0; }

    size_t Find(std::string_view what, size_t from = 0) const { return s_.find(what, from); }
    size_t FindIgnoreCase(std::string_view what, size_t from = 0) const;
    size_t FindLast(char c) const { return s_.rfind(c); }

    // Replaces `count` bytes at `at` by `with` (clamped to the text).
    void Splice(size_t at, size_t count, std::string_view with);
    String Mid(size_t at, size_t count = npos) const;
    void Truncate(size_t length) {
        if (length < s_.size()) s_.resize(length);
    }
    void Clear() { s_.clear(); }

    void ToUpper();
    void ToLower();
    void TrimRight();
    void TrimLeft();

    // Splits at any of the separator bytes, dropping empty pieces.
    std::vector<String> Token(std::string_view separators) const;

    bool operator==(const String& o) const { return s_ == o.s_; }
    bool operator==(std::string_view o) const { return s_ == o; }
    bool operator==(const char* o) const { return s_ == (o ? o : ""); }
    bool operator<(const String& o) const { return s_ < o.s_; }

private:
    std::string s_;
};

class AnsiString : public String {
public:
    using String::String;
    AnsiString() = default;
    AnsiString(const String& s) : String(s) {}  // NOLINT
};

// printf-style formatting into owned text: the one formatter of the program.
std::string VFormat(const char* format, va_list args);
void AppendVFormat(std::string& out, const char* format, va_list args);

// ASCII-only case helpers shared by the base library.
inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
inline char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string ToLowerAscii(std::string_view text);

// The words of a text separated by blanks and tabs.
std::vector<std::string_view> SplitWords(std::string_view text);

}  // namespace Kiv
