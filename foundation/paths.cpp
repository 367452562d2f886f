#include "foundation/paths.h"

#include <array>

namespace {

constexpr std::array<uint8_t, 256> MakeLowerCaseTable() {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = static_cast<uint8_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return table;
}

constexpr std::array<uint8_t, 256> kLowerCase = MakeLowerCaseTable();

bool IsSafeFileNameChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           c == ' ';
}

}  // namespace

Kiv::File::Path NormalizePathLower(const Kiv::File::Path& path) {
    if (path.IsEmpty()) return path;
    Kiv::File::Path out = path;
    out.Normalize();
    out.ReplaceForwardSlashes();
    std::string text = out.str();
    LowerCaseText(text.data(), text.size());
    if (text.size() > 1 && Kiv::File::Path::IsSeparator(text.back())) text.pop_back();
    return Kiv::File::Path(std::move(text));
}

bool IsTextureTxtFile(std::string_view path) {
    const Kiv::File::Path file(path);
    const std::string_view name = file.GetFileName();
    constexpr std::string_view kDescription = ".texture.txt";
    return Kiv::EqualsIgnoreCase(name, "texture.txt") ||
           (name.size() > kDescription.size() &&
            Kiv::EqualsIgnoreCase(name.substr(name.size() - kDescription.size()), kDescription));
}

std::string_view FindFileExtension(std::string_view name) {
    for (size_t k = name.size(); k > 0; --k) {
        char c = name[k - 1];
        if (c == '.') return name.substr(k);
        if (Kiv::File::Path::IsSeparator(c)) break;
    }
    return std::string_view();
}

bool IsDotDirectory(std::string_view name) {
    return name == "." || name == "..";
}

bool IsAbsolutePath(std::string_view text) {
    // One rule with the engine's path type, so that what is absolute here is what the file
    // layer opens without joining.
    return Kiv::File::Path::IsAbsolute(text);
}

bool IsPowerOfTwo(uint32_t n) {
    return (n & (n - 1)) == 0;
}

Kiv::String MakeSafeFileName(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (!IsSafeFileNameChar(c)) c = '_';
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return Kiv::String(std::move(out));
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    size_t i = 0;
    for (; i < pattern.size(); ++i) {
        if (i >= name.size()) return false;
        char p = pattern[i];
        if (p == '?') continue;
        if (LowerCaseByte(static_cast<uint8_t>(p)) != LowerCaseByte(static_cast<uint8_t>(name[i])))
            return false;
    }
    return true;
}

uint8_t LowerCaseByte(uint8_t c) {
    return kLowerCase[c];
}

void LowerCaseText(char* text, size_t size) {
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(kLowerCase[static_cast<uint8_t>(text[i])]);
}

void LowerCasePString(Kiv::PString& name) {
    // The cache's lower-case twin is made by the same ASCII rule as the table.
    name = name.ToLower();
}
