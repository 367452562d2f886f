#include "assetdb/category_match.h"

#include <cstring>
#include <string_view>

namespace {

bool EndsToken(char c) {
    return c == '\0' || c == ';' || c == '|';
}

size_t TokenLength(const char* text) {
    size_t n = 0;
    while (!EndsToken(text[n]))
        ++n;
    return n;
}

// The list's entries, stopping at its first "|".
bool ListHoldsEntry(const char* list, std::string_view token) {
    const char* p = list;
    while (*p != '\0' && *p != '|') {
        if (*p == ';') {
            ++p;
            continue;
        }
        size_t n = TokenLength(p);
        if (std::string_view(p, n) == token) return true;
        p += n;
    }
    return false;
}

}  // namespace

bool CategoryListContains(const char* list, const char* token) {
    if (list == nullptr || token == nullptr) return false;
    // Leading "-"s counted rather than recursed into, so that a long run of them in a text
    // from outside cannot exhaust the stack.
    bool negate = false;
    while (*token == '-') {
        negate = !negate;
        ++token;
    }
    size_t n = TokenLength(token);
    bool holds = n != 0 && ListHoldsEntry(list, std::string_view(token, n));
    return holds != negate;
}

bool MatchCategoryList(const char* list, const char* expression) {
    if (expression == nullptr) return true;
    if (list == nullptr) return false;
    if (*expression == '\0') return true;
    const char* p = expression;
    for (;;) {
        bool holds = true;
        while (*p != '\0' && *p != '|') {
            if (*p == ';') {
                ++p;
                continue;
            }
            // Every token is stepped over even after one fails, to reach the next "|".
            if (holds && !CategoryListContains(list, p)) holds = false;
            while (*p == '-')
                ++p;
            p += TokenLength(p);
        }
        if (holds) return true;
        if (*p == '\0') return false;
        ++p;  // the "|"
    }
}

Kiv::String NextCategoryToken(const char* text) {
    if (text == nullptr) return {};
    return Kiv::String(text, TokenLength(text));
}

void AppendCategoryToken(Kiv::String& out, const char* token) {
    if (token == nullptr || *token == '\0' || *token == ';' || *token == '|') return;
    if (!out.IsEmpty()) out += ';';
    out += std::string_view(token, TokenLength(token));
}

void BuildCategoryFilterText(Kiv::String& out, const char* base, const char* categories) {
    out = Kiv::String(base);
    if (categories == nullptr) return;
    const char* p = categories;
    while (*p != '\0') {
        if (*p == ';' || *p == '|') {
            ++p;
            continue;
        }
        size_t n = TokenLength(p);
        Kiv::String entry = Kiv::String("#") + std::string_view(p, n);
        if (!CategoryListContains(out.c_str(), entry.c_str()))
            AppendCategoryToken(out, entry.c_str());
        p += n;
    }
}
