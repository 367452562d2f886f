// The engine's file layer: one open file, plus the static file-system services the program
// calls (existence, folders, rename, delete). Paths may use '\' as they come from files and
// from the product's own literals; it is read as '/'. Because the product's files were made on
// a case-insensitive file system, a path component that does not exist as written is looked up
// ignoring case in its folder (ResolveCase); the text a caller holds keeps its own case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kiv/base/pstring.h"

namespace Kiv {

class File {
public:
    class Path;
    class Find;

    // Open modes. Reading modes need an existing file; creating modes make or truncate it.
    static constexpr uint32_t kModeRead = 0x10;
    static constexpr uint32_t kModeReadShared = 0x20;
    static constexpr uint32_t kModeCreate = 0x101;
    static constexpr uint32_t kModeCreateShared = 0x301;

    // Seek origins.
    static constexpr int kFromStart = 0;
    static constexpr int kFromCurrent = 1;
    static constexpr int kFromEnd = 2;

    File() = default;
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens `path` with one of the modes above; `flags` is kept with the file and handed back
    // by GetOpenFlags (the stream's reset reopens with it). True on success.
    bool Open(std::string_view path, uint32_t mode, uint32_t flags = 0);
    bool Open(const PString& folder, std::string_view name, uint32_t mode, uint32_t flags = 0);
    void Close();

    bool IsOpen() const { return fd_ != -1; }
    int Handle() const { return fd_; }
    const std::string& GetPath() const { return path_; }
    uint32_t GetMode() const { return mode_; }
    uint32_t GetOpenFlags() const { return flags_; }

    // Raw transfers; the result is the count moved (a short count is a failure or the end).
    uint32_t Read(void* dest, uint32_t n);
    uint32_t Write(const void* src, uint32_t n);
    // Moves by offset from kFromStart, kFromCurrent or kFromEnd. False on failure.
    bool Seek(int64_t offset, int origin);
    uint64_t Tell() const;
    uint64_t GetSize() const;
    // True when the position is at or past the end of the file (or no file is open).
    bool Eof() const;

    // Reads one line (up to '\n', which is dropped with a preceding '\r'); false at the end of
    // the file with nothing read. A line longer than maxLength is cut there and the rest is
    // left for the next call; *truncated tells when that happened.
    bool ReadLine(std::string& line, size_t maxLength = SIZE_MAX, bool* truncated = nullptr);
    // Writes the text followed by "\r\n".
    bool WriteLine(std::string_view text);

    // Static services. Exists follows the engine's convention: 0 means "exists". Callers use
    // IsPresent, which cannot be read backwards.
    static int Exists(std::string_view path);
    static bool IsPresent(std::string_view path) { return Exists(path) == 0; }
    static bool IsDirectory(std::string_view path);
    static bool IsRegularFile(std::string_view path);
    // Makes the folder and any missing parents; true when it exists afterwards.
    static bool Md(std::string_view path);
    static bool Delete(std::string_view path);
    static bool Rmd(std::string_view path);  // an empty folder
    static bool Rename(std::string_view from, std::string_view to);
    static bool Load(std::string_view path, std::string& contents);

    // The path with '\' read as '/' and each component that does not exist as written replaced
    // by an entry of its folder equal to it ignoring case, when there is one. A name that exists
    // as written costs one lookup; only a miss lists the folder.
    static std::string ResolveCase(std::string_view path);

    // While one lives on a thread, ResolveCase on that thread lists each folder once and keeps
    // its names, together with the names this thread makes, removes and renames there through
    // this class, for the rest of the operation: writing many new files into one folder then
    // costs one listing instead of one per file. Changes other processes make to a folder
    // already listed are not seen until the scope ends, so a scope spans one operation on
    // folders the program is filling itself (extracting an archive), never more. Scopes nest.
    class FolderListingScope {
    public:
        FolderListingScope();
        ~FolderListingScope();
        FolderListingScope(const FolderListingScope&) = delete;
        FolderListingScope& operator=(const FolderListingScope&) = delete;
    };

    // Path substitutions: a name that stands for a folder. Subst registers or replaces one (an
    // empty folder removes it; false for an empty name); ResolveSubst turns a path whose first
    // component is a registered name (letter case ignored) into the path inside that folder,
    // and leaves any other path as it is.
    static bool Subst(std::string_view name, std::string_view folder);
    static std::string ResolveSubst(std::string_view path);

private:
    int fd_ = -1;
    std::string path_;
    uint32_t mode_ = 0;
    uint32_t flags_ = 0;
};

}  // namespace Kiv
