#include "platform/kiv/base/config_parser.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/kiv/base/file.h"

namespace Kiv {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsWordChar(char c) {
    return !IsBlank(c) && c != '"' && c != '{' && c != '}' && c != ';' && c != '#';
}

// One number word; false when the word is not wholly a number.
// The word as a C string in buffer; false for an empty word or one longer than a number is.
bool CopyWord(std::string_view word, char (&buffer)[65]) {
    if (word.empty() || word.size() > 64) return false;
    std::memcpy(buffer, word.data(), word.size());
    buffer[word.size()] = 0;
    return true;
}

bool ParseFloatWord(std::string_view word, float* out) {
    char buffer[65];
    if (!CopyWord(word, buffer)) return false;
    char* end = nullptr;
    errno = 0;
    float v = std::strtof(buffer, &end);
    if (end != buffer + word.size()) return false;
    *out = v;
    return true;
}

bool ParseUIntWord(std::string_view word, uint32_t* out) {
    char buffer[65];
    if (!CopyWord(word, buffer)) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(buffer, &end, 0);
    if (end != buffer + word.size() || errno != 0 || v > 0xFFFFFFFFull || buffer[0] == '-')
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

template <typename T, typename F>
bool ParseList(std::string_view text, std::vector<T>* out, F parse) {
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        size_t start = i;
        while (i < text.size() && !IsBlank(text[i]))
            ++i;
        if (start == i) break;
        T v{};
        if (!parse(text.substr(start, i - start), &v)) return false;
        out->push_back(v);
    }
    return true;
}

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    enum Kind { kEnd, kWord, kOpen, kClose, kError };

    // The next token; words and quoted strings both give kWord with the text in *word.
    Kind Next(std::string* word) {
        SkipBlanksAndComments();
        if (pos_ >= text_.size()) return kEnd;
        char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            return kOpen;
        }
        if (c == '}') {
            ++pos_;
            return kClose;
        }
        word->clear();
        if (c == '"') {
            ++pos_;
            while (pos_ < text_.size() && text_[pos_] != '"') {
                char ch = text_[pos_++];
                if (ch == '\n') ++line_;
                if (ch == '\\' && pos_ < text_.size() &&
                    (text_[pos_] == '"' || text_[pos_] == '\\'))
                    ch = text_[pos_++];
                if (word->size() >= ConfigParser::kMaxValue) return kError;
                word->push_back(ch);
            }
            if (pos_ >= text_.size()) return kError;  // no closing quote
            ++pos_;
            return kWord;
        }
        size_t start = pos_;
        while (pos_ < text_.size() && IsWordChar(text_[pos_]))
            ++pos_;
        if (pos_ - start > ConfigParser::kMaxValue) return kError;
        word->assign(text_.substr(start, pos_ - start));
        return kWord;
    }

    uint32_t Line() const { return line_; }

private:
    void SkipBlanksAndComments() {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (IsBlank(c)) {
                ++pos_;
            } else if (c == ';' || c == '#') {
                while (pos_ < text_.size() && text_[pos_] != '\n')
                    ++pos_;
            } else {
                break;
            }
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    uint32_t line_ = 1;
};

}  // namespace

bool ConfigData::KeyIs(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

const ConfigData* ConfigData::Find(std::string_view key) const {
    for (const ConfigData& c : children_)
        if (KeyIs(c.key_, key)) return &c;
    return nullptr;
}

std::vector<const ConfigData*> ConfigData::FindAll(std::string_view key) const {
    std::vector<const ConfigData*> all;
    for (const ConfigData& c : children_)
        if (KeyIs(c.key_, key)) all.push_back(&c);
    return all;
}

std::string ConfigData::GetString(std::string_view key, std::string_view fallback) const {
    const ConfigData* c = Find(key);
    return c && !c->group_ ? c->value_ : std::string(fallback);
}

float ConfigData::GetFloat(std::string_view key, float fallback) const {
    const ConfigData* c = Find(key);
    float v = 0;
    return c && !c->group_ && ParseFloatWord(c->value_, &v) ? v : fallback;
}

int32_t ConfigData::GetInt(std::string_view key, int32_t fallback) const {
    const ConfigData* c = Find(key);
    if (c == nullptr || c->group_) return fallback;
    std::string_view text = c->value_;
    bool negative = !text.empty() && text[0] == '-';
    uint32_t v = 0;
    if (!ParseUIntWord(negative ? text.substr(1) : text, &v)) return fallback;
    if (negative) return v > 0x80000000u ? fallback : static_cast<int32_t>(0u - v);
    return v > 0x7FFFFFFFu ? fallback : static_cast<int32_t>(v);
}

bool ConfigData::GetBool(std::string_view key, bool fallback) const {
    const ConfigData* c = Find(key);
    if (c == nullptr || c->group_) return fallback;
    const std::string& v = c->value_;
    if (KeyIs(v, "true") || KeyIs(v, "yes") || KeyIs(v, "on")) return true;
    if (KeyIs(v, "false") || KeyIs(v, "no") || KeyIs(v, "off")) return false;
    float f = 0;
    return ParseFloatWord(v, &f) ? f != 0 : fallback;
}

bool ConfigData::ParseFloats(std::string_view text, std::vector<float>* out) {
    return ParseList(text, out, ParseFloatWord);
}

bool ConfigData::ParseUInts(std::string_view text, std::vector<uint32_t>* out) {
    return ParseList(text, out, ParseUIntWord);
}

bool ConfigData::GetFloats(std::string_view key, std::vector<float>* out) const {
    const ConfigData* c = Find(key);
    out->clear();
    return c && !c->group_ && ParseFloats(c->value_, out);
}

bool ConfigData::GetUInts(std::string_view key, std::vector<uint32_t>* out) const {
    const ConfigData* c = Find(key);
    out->clear();
    return c && !c->group_ && ParseUInts(c->value_, out);
}

ConfigData& ConfigData::AddValue(std::string key, std::string value) {
    group_ = true;
    return children_.emplace_back(std::move(key), std::move(value));
}

ConfigData& ConfigData::AddGroup(std::string key) {
    group_ = true;
    ConfigData& g = children_.emplace_back(std::move(key), std::string());
    g.group_ = true;
    return g;
}

ConfigParser::Result ConfigParser::Parse(std::string_view path) {
    root_ = ConfigData();
    version_ = 0;
    errorLine_ = 0;
    File file;
    if (!file.Open(path, File::kModeRead)) return kOpenError;
    uint64_t size = file.GetSize();
    if (size > 64u * 1024 * 1024) return kFormatError;
    std::string text(size, '\0');
    if (size != 0 && file.Read(text.data(), static_cast<uint32_t>(size)) != size) return kOpenError;
    return ParseText(text);
}

ConfigParser::Result ConfigParser::ParseText(std::string_view text) {
    root_ = ConfigData();
    version_ = 0;
    errorLine_ = 0;
    // A UTF-8 byte-order mark is not text.
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    Lexer lexer(text);
    ConfigData root;
    std::vector<ConfigData*> stack{&root};
    size_t entries = 0;
    bool first = true;
    std::string key, value;
    auto fail = [&](Result r) {
        errorLine_ = lexer.Line();
        return r;
    };
    for (;;) {
        Lexer::Kind k = lexer.Next(&key);
        if (k == Lexer::kEnd) break;
        if (k == Lexer::kClose) {
            if (stack.size() == 1) return fail(kFormatError);
            stack.pop_back();
            continue;
        }
        if (k != Lexer::kWord || key.size() > kMaxKey) return fail(kFormatError);
        if (++entries > kMaxEntries) return fail(kFormatError);
        Lexer::Kind v = lexer.Next(&value);
        if (v == Lexer::kOpen) {
            if (static_cast<int>(stack.size()) > kMaxDepth) return fail(kFormatError);
            ConfigData& g = stack.back()->AddGroup(key);
            stack.push_back(&g);
            first = false;
            continue;
        }
        if (v != Lexer::kWord) return fail(kFormatError);
        if (first && stack.size() == 1 && ConfigData::KeyIs(key, "version")) {
            float f = 0;
            if (!ParseFloatWord(value, &f) || !std::isfinite(f) || f < 0 || f >= 2.0f)
                return fail(kVersionError);
            version_ = f;
            first = false;
            continue;
        }
        first = false;
        stack.back()->AddValue(key, value);
        // Pointers into a parent's children stay valid: a parent gains no child while one of
        // its groups is open.
    }
    if (stack.size() != 1) return fail(kFormatError);
    root.group_ = true;
    root_ = std::move(root);
    return kOk;
}

}  // namespace Kiv
