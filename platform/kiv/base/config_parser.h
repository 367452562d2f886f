// Kiv::ConfigParser and Kiv::ConfigData: the engine's small text configuration files (LOD mesh
// texts ".lm.txt", geometry texts ".imtxt", material configurations). Our syntax:
//
//   ; a comment runs from ';' or '#' to the end of the line (outside quotes)
//   version 1.00              the first entry may name the syntax version (a number)
//   key value                 a value is a word or a quoted string ("a \"b\" \\ c")
//   key "x y z"               numbers lists are one value, separated by blanks
//   group {                   a group holds entries; keys repeat freely and keep their order
//     key value
//   }
//
// A word is a run of characters other than blanks, quotes, braces, ';' and '#'. A key may be
// quoted too ("" is the empty key). Keys are matched ignoring ASCII letter case.
//
// Limits: groups nest at most 64 deep, a key is at most 256 bytes, a value at most 1 MiB, a
// file at most 1,000,000 entries; anything past them is a format error, never a crash.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Kiv {

class ConfigData {
public:
    ConfigData() = default;
    ConfigData(std::string key, std::string value)
        : key_(std::move(key)), value_(std::move(value)) {}

    const std::string& GetKey() const { return key_; }
    const std::string& GetValue() const { return value_; }
    bool IsGroup() const { return group_; }

    const std::vector<ConfigData>& GetChildren() const { return children_; }
    size_t GetNumChildren() const { return children_.size(); }
    // The first child of the key, or null.
    const ConfigData* Find(std::string_view key) const;
    // Every child of the key, in order.
    std::vector<const ConfigData*> FindAll(std::string_view key) const;

    // The first child's value read as a type; the default when it is missing or not of it.
    std::string GetString(std::string_view key, std::string_view fallback = {}) const;
    float GetFloat(std::string_view key, float fallback) const;
    int32_t GetInt(std::string_view key, int32_t fallback) const;
    // "true", "yes", "on" or a nonzero number; "false", "no", "off" or 0.
    bool GetBool(std::string_view key, bool fallback) const;
    // A blank-separated list of numbers (decimal, or hexadecimal with "0x"); false when any
    // word is not one.
    bool GetFloats(std::string_view key, std::vector<float>* out) const;
    bool GetUInts(std::string_view key, std::vector<uint32_t>* out) const;

    // Building (the parser and tests).
    ConfigData& AddValue(std::string key, std::string value);
    ConfigData& AddGroup(std::string key);

    static bool KeyIs(std::string_view a, std::string_view b);
    static bool ParseFloats(std::string_view text, std::vector<float>* out);
    static bool ParseUInts(std::string_view text, std::vector<uint32_t>* out);

private:
    friend class ConfigParser;
    std::string key_, value_;
    bool group_ = false;
    std::vector<ConfigData> children_;
};

class ConfigParser {
public:
    enum Result : uint32_t {
        kOk = 0,
        kInternalError = 1,  // anything not below
        kOpenError = 2,      // the file cannot be read
        kFormatError = 3,    // the text breaks the syntax or a limit
        kVersionError = 4,   // a "version" entry that is not a number, or newer than 1.99
    };
    static constexpr int kMaxDepth = 64;
    static constexpr size_t kMaxKey = 256;
    static constexpr size_t kMaxValue = 1u << 20;
    static constexpr size_t kMaxEntries = 1000000;

    // Parses a file (read through Kiv::File, so '\' and letter case are tolerated).
    Result Parse(std::string_view path);
    Result ParseText(std::string_view text);

    // The tree (a group without key) of the last successful parse.
    const ConfigData& GetData() const { return root_; }
    std::unique_ptr<ConfigData> TakeData() {
        return std::make_unique<ConfigData>(std::move(root_));
    }
    // The "version" the text named, 0 when none.
    float GetVersion() const { return version_; }
    // Where the last parse stopped with an error (1-based line), 0 after success.
    uint32_t GetErrorLine() const { return errorLine_; }

private:
    ConfigData root_;
    float version_ = 0;
    uint32_t errorLine_ = 0;
};

}  // namespace Kiv
