#include "platform/kiv/base/options.h"

#include <charconv>

namespace Kiv {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

}  // namespace

bool Options::ProcessRaw(std::string_view raw) {
    bool ok = true;
    size_t i = 0;
    while (i < raw.size()) {
        while (i < raw.size() && IsBlank(raw[i]))
            ++i;
        if (i >= raw.size()) break;

        // One word: up to the next blank outside quotes.
        size_t start = i;
        bool quoted = false;
        std::string word;
        for (; i < raw.size() && (quoted || !IsBlank(raw[i])); ++i) {
            if (raw[i] == '"') {
                quoted = !quoted;
            } else {
                word += raw[i];
            }
        }
        std::string_view original = raw.substr(start, i - start);
        if (quoted) {
            lastError_ = "unterminated quote in option '" + std::string(original) + "'";
            ok = false;
            continue;
        }
        size_t eq = word.find('=');
        std::string name = word.substr(0, eq);
        if (name.size() < 2 || name[0] != '-') {
            lastError_ = "option '" + std::string(original) + "' is not -Name or -Name=Value";
            ok = false;
            continue;
        }
        name.erase(0, 1);
        std::optional<std::string> value;
        if (eq != std::string::npos) value = word.substr(eq + 1);
        Set(std::move(name), std::move(value));
    }
    return ok;
}

const Options::Entry* Options::Find(std::string_view name) const {
    if (!name.empty() && name[0] == '-') name.remove_prefix(1);
    for (const Entry& e : entries_)
        if (SameName(e.name, name)) return &e;
    return nullptr;
}

void Options::Set(std::string name, std::optional<std::string> value) {
    for (Entry& e : entries_) {
        if (SameName(e.name, name)) {
            e.value = std::move(value);
            return;
        }
    }
    entries_.push_back(Entry{std::move(name), std::move(value)});
}

std::optional<std::string> Options::GetValue(std::string_view name) const {
    const Entry* e = Find(name);
    if (e == nullptr) return std::nullopt;
    return e->value;
}

std::string Options::GetString(std::string_view name, std::string_view fallback) const {
    std::optional<std::string> v = GetValue(name);
    return v ? *v : std::string(fallback);
}

int64_t Options::GetInt(std::string_view name, int64_t fallback) const {
    std::optional<std::string> v = GetValue(name);
    if (!v || v->empty()) return fallback;
    int64_t out = 0;
    const char* end = v->data() + v->size();
    auto [ptr, ec] = std::from_chars(v->data(), end, out);
    if (ec != std::errc() || ptr != end) return fallback;
    return out;
}

bool Options::Remove(std::string_view name) {
    const Entry* e = Find(name);
    if (e == nullptr) return false;
    entries_.erase(entries_.begin() + (e - entries_.data()));
    return true;
}

std::string Options::ToString() const {
    std::string out;
    for (const Entry& e : entries_) {
        if (!out.empty()) out += ' ';
        out += '-';
        out += e.name;
        if (e.value) {
            out += '=';
            bool blank = e.value->find_first_of(" \t\r\n") != std::string::npos;
            if (blank) out += '"';
            out += *e.value;
            if (blank) out += '"';
        }
    }
    return out;
}

}  // namespace Kiv
