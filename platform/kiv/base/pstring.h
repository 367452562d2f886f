// Interned strings of the engine base library.
//
// A PString is a counted handle to one entry of a process-wide cache. Two handles made from the
// same bytes are the same entry, so equality is identity and costs one pointer compare. Letter
// case is kept; ToLower() gives the separate lower-case twin, which is how words are matched
// without regard to case. A null handle is distinct from the interned empty text.
//
// The cache is created on first use and never destroyed: static objects in other files intern
// words before main() and release them after exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Kiv {

namespace detail {
struct PStringEntry;
}

class PString {
public:
    PString() noexcept = default;
    explicit PString(std::string_view text);
    explicit PString(const char* text);
    PString(const PString& other) noexcept;
    PString(PString&& other) noexcept : entry_(other.entry_) { other.entry_ = nullptr; }
    PString& operator=(const PString& other) noexcept;
    PString& operator=(PString&& other) noexcept;
    ~PString();

    // Interns printf-formatted text.
    static PString Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
    void Setf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    bool IsNull() const { return entry_ == nullptr; }
    bool IsEmpty() const { return Length() == 0; }
    // The text, "" for the null handle; valid while any handle holds the entry.
    const char* c_str() const;
    std::string_view view() const;
    std::string str() const { return std::string(view()); }
    size_t Length() const;

    // The lower-case twin (ASCII letters only; other bytes unchanged). The null handle stays null.
    PString ToLower() const;
    bool EqualsIgnoreCase(const PString& other) const;

    bool operator==(const PString& other) const { return entry_ == other.entry_; }
    bool operator!=(const PString& other) const { return entry_ != other.entry_; }
    // Ordered by text bytes (null first), so maps keyed by interned words iterate the same way
    // in every run.
    bool operator<(const PString& other) const;

    // Identity hash, for unordered containers.
    size_t Hash() const { return std::hash<const void*>()(entry_); }
    // The number of handles on this entry (0 for null); for tests and diagnostics.
    uint32_t RefCount() const;

private:
    friend class PStringCache;
    explicit PString(detail::PStringEntry* entry) noexcept : entry_(entry) {}
    detail::PStringEntry* entry_ = nullptr;
};

class PStringCache {
public:
    static PString Create(std::string_view text);
    static PString ToLower(const PString& text) { return text.ToLower(); }
    // Frees every entry that no handle references; returns how many were freed.
    static size_t CollectGarbage();
    // Number of entries currently interned (referenced or not).
    static size_t Size();
};

struct PStringHash {
    size_t operator()(const PString& s) const { return s.Hash(); }
};

}  // namespace Kiv
