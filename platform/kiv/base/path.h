// Kiv::File::Path: a file-system path as text, with the operations the program performs on
// paths. '/' is the separator written; '\' is accepted on input and read as '/'. A leading
// '/', a drive letter with ":\" or ":/", and a leading "\\\\" (a share) are absolute.
#pragma once

#include <string>
#include <string_view>

#include "platform/kiv/base/file.h"

namespace Kiv {

class File::Path {
public:
    Path() = default;
    Path(std::string_view text) : s_(text) {}         // NOLINT: paths convert freely from text
    Path(const char* text) : s_(text ? text : "") {}  // NOLINT
    Path(std::string text) : s_(std::move(text)) {}   // NOLINT

    const char* c_str() const { return s_.c_str(); }
    const std::string& str() const { return s_; }
    std::string_view view() const { return s_; }
    operator std::string_view() const { return s_; }  // NOLINT
    size_t Length() const { return s_.size(); }
    bool IsEmpty() const { return s_.empty(); }
    bool operator==(const Path& o) const { return s_ == o.s_; }

    // '\' to '/', repeated separators collapsed (a leading "//" of a share is kept), "."
    // components dropped and "name/.." pairs removed. A trailing separator is kept.
    Path& Normalize();
    // Joins a component with exactly one separator between.
    Path& AddPath(std::string_view component);
    // Appends raw text.
    Path& Add(std::string_view text) {
        s_ += text;
        return *this;
    }
    // Removes the last component (and a trailing separator before it). False when there is
    // no component to remove.
    bool PrevDir();
    // The text after the last separator.
    std::string_view GetFileName() const;
    // The folder part: everything before the last separator ("" when there is none).
    std::string_view GetFolder() const;
    // The extension of the file name without its dot ("" when there is none).
    std::string_view GetExt() const;
    // True when the file name ends with "." followed by ext, ignoring case; ext is given
    // without a leading dot and may itself hold dots ("lm.txt" matches "x.lm.txt").
    bool IsExt(std::string_view ext) const;
    // Replaces the extension (or adds one); ext without its dot.
    Path& SetExt(std::string_view ext);
    // '/' to '\' (the form some comparisons are made in) and back.
    Path& ReplaceForwardSlashes();
    Path& ReplaceBackSlashes();
    // Drops a trailing separator unless the path is just a root.
    Path& RemoveTrailingSeparator();
    // When the path lies inside base (compared ignoring case and separator style), makes it
    // relative to base and returns true; otherwise leaves it and returns false.
    bool MakeRelativeTo(std::string_view base);

    static bool IsAbsolute(std::string_view text);
    static bool IsSeparator(char c) { return c == '/' || c == '\\'; }

private:
    std::string s_;
};

}  // namespace Kiv
