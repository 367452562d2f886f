// A URL split into the fields the content service and the online client pass around, and the
// URL text composed back from them. Each text field holds at most a fixed number of bytes
// (the record's historic layout); longer parts are cut there without a word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kiv/base/pstring.h"

class URLRecord {
public:
    // Longest text each field keeps, in bytes.
    static constexpr size_t kSchemeMax = 31;
    static constexpr size_t kUserMax = 63;
    static constexpr size_t kPasswordMax = 63;
    static constexpr size_t kHostMax = 127;
    static constexpr size_t kPathMax = 255;
    static constexpr size_t kQueryMax = 511;

    std::string scheme;  // without ":" and "//"
    std::string user;
    std::string password;
    std::string host;
    uint32_t port = 0;  // 0: not given
    std::string path;   // keeps its leading '/'
    std::string query;  // keeps its leading '?', and everything after it

    void Clear();
    // True when both scheme and host are set.
    bool IsValid() const { return !scheme.empty() && !host.empty(); }

    // Fills the record from URL text; the record is always cleared first. Parts the text lacks
    // stay empty (port 0).
    void Parse(std::string_view text);
    // The URL text of the record; the scheme "http" stands in for an empty one.
    Kiv::PString Compose() const;

    // Setters that keep the field limits.
    void SetScheme(std::string_view v) { Assign(scheme, v, kSchemeMax); }
    void SetUser(std::string_view v) { Assign(user, v, kUserMax); }
    void SetPassword(std::string_view v) { Assign(password, v, kPasswordMax); }
    void SetHost(std::string_view v) { Assign(host, v, kHostMax); }
    void SetPath(std::string_view v) { Assign(path, v, kPathMax); }
    void SetQuery(std::string_view v) { Assign(query, v, kQueryMax); }

    bool operator==(const URLRecord&) const = default;

private:
    static void Assign(std::string& field, std::string_view v, size_t max) {
        field.assign(v.substr(0, max));
    }
};
