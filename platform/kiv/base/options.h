// Engine option strings: blank-separated words "-Flag" and "-Key=Value" (a value may be put
// between double quotes to hold blanks). Names are compared ignoring letter case; a later word
// replaces an earlier one of the same name. Start-up builds one string for the engine OS
// object ("-NullRender -LogStdOut"), and resources take creation options the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Kiv {

class Options {
public:
    Options() = default;
    explicit Options(std::string_view raw) { ProcessRaw(raw); }

    // Reads the words of `raw` into the set. A malformed word (one that does not start with
    // '-', has no name, or opens a quote it does not close) is skipped and makes the result
    // false, with GetLastError naming it; the well-formed words still apply.
    bool ProcessRaw(std::string_view raw);

    // The option is present, as a flag or with a value.
    bool Has(std::string_view name) const { return Find(name) != nullptr; }
    // The value of "-Name=Value"; none for an absent option or a bare flag.
    std::optional<std::string> GetValue(std::string_view name) const;
    std::string GetString(std::string_view name, std::string_view fallback = {}) const;
    // The value read as a decimal integer; the fallback when absent or not a whole number.
    int64_t GetInt(std::string_view name, int64_t fallback = 0) const;
    // Removes the option; false when it was not present.
    bool Remove(std::string_view name);
    void Clear() { entries_.clear(); }
    size_t Count() const { return entries_.size(); }

    // The set written back as words, in the order first given.
    std::string ToString() const;
    const std::string& GetLastError() const { return lastError_; }

private:
    struct Entry {
        std::string name;
        std::optional<std::string> value;
    };
    const Entry* Find(std::string_view name) const;
    void Set(std::string name, std::optional<std::string> value);

    std::vector<Entry> entries_;
    std::string lastError_;
};

}  // namespace Kiv
