#include "foundation/file_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "foundation/data_root.h"
#include "foundation/paths.h"
#include "foundation/random.h"
#include "foundation/tfile.h"
#include "platform/kiv/base/find.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

namespace {

// The folders a DeferredFileSync of this thread has to flush; null without one.
thread_local std::vector<std::string>* tDeferredSync = nullptr;

constexpr uint32_t kCopyChunk = 64 * 1024;
constexpr int kTemporaryNameTries = 100;
constexpr std::string_view kTemporaryPrefix = "temp-";

bool LStat(std::string_view path, struct stat& st) {
    if (path.empty()) return false;
    std::string p = Kiv::File::ResolveCase(path);
    return ::lstat(p.c_str(), &st) == 0;
}

// Visits the entries of a folder other than "." and "..", in name order; stops early when the
// visitor returns false. False when the folder cannot be listed.
template <class Visit>
bool ForEachEntry(std::string_view folder, Visit visit) {
    Kiv::File::Find find;
    if (!find.Open(Kiv::File::Path(folder).AddPath("*").view())) return false;
    do {
        if (IsDotDirectory(find.GetName())) continue;
        if (!visit(find)) break;
    } while (find.Next());
    return true;
}

void LogNestedTooDeep(const char* function, std::string_view folder) {
    Kiv::Log::Write(Kiv::String::Printf("%s> folders nested too deep at '%s'", function,
                                        std::string(folder).c_str())
                        .view());
}

bool FindFileAtDepth(std::string_view pattern, std::string_view folder, int depth) {
    if (depth > kMaxFolderDepth) {
        LogNestedTooDeep("FindFileRecursive", folder);
        return false;
    }
    bool found = false;
    std::vector<std::string> subFolders;
    ForEachEntry(folder, [&](const Kiv::File::Find& entry) {
        if (!entry.IsDirectory()) {
            found = Kiv::File::Find::Match(pattern, entry.GetName());
        } else if (!entry.IsSymbolicLink()) {
            subFolders.push_back(entry.GetNameAndPath());
        }
        return !found;
    });
    for (size_t i = 0; i < subFolders.size() && !found; ++i)
        found = FindFileAtDepth(pattern, subFolders[i], depth + 1);
    return found;
}

bool CopyFolderAtDepth(std::string_view from, std::string_view to, FileLinks fileLinks, int depth) {
    if (depth > kMaxFolderDepth) {
        LogNestedTooDeep("CopyFolderRecursive", from);
        return false;
    }
    if (!Kiv::File::Md(to)) return false;
    bool ok = true;
    ForEachEntry(from, [&](const Kiv::File::Find& entry) {
        std::string source = entry.GetNameAndPath();
        Kiv::File::Path target = Kiv::File::Path(to).AddPath(entry.GetName());
        if (entry.IsDirectory() && entry.IsSymbolicLink()) {
            Kiv::Log::Write(
                Kiv::String::Printf("CopyFolderRecursive> skipping link to a folder '%s'",
                                    source.c_str())
                    .view());
        } else if (entry.IsSymbolicLink() && fileLinks == FileLinks::kSkip) {
            Kiv::Log::Write(Kiv::String::Printf("CopyFolderRecursive> skipping link to a file '%s'",
                                                source.c_str())
                                .view());
        } else if (entry.IsDirectory()) {
            ok = CopyFolderAtDepth(source, target.view(), fileLinks, depth + 1) && ok;
        } else {
            ok = CopyFileContents(source, target.view()) && ok;
        }
        return true;
    });
    return ok;
}

// The folder a file lies in, as a path that can be joined: "/" for a file at the root and "."
// for a bare name.
Kiv::File::Path FolderOf(std::string_view file) {
    Kiv::File::Path path(file);
    std::string_view folder = path.GetFolder();
    if (!folder.empty()) return Kiv::File::Path(folder);
    return Kiv::File::Path(!file.empty() && Kiv::File::Path::IsSeparator(file[0]) ? "/" : ".");
}

}  // namespace

bool EntryExists(std::string_view path) {
    struct stat st;
    return LStat(path, st);
}

bool IsSymbolicLink(std::string_view path) {
    struct stat st;
    return LStat(path, st) && S_ISLNK(st.st_mode);
}

bool FindInFolder(std::string_view pattern, std::string_view folder) {
    if (pattern.empty()) pattern = "*";
    Kiv::File::Find find;
    if (!find.Open(Kiv::File::Path(folder).AddPath(pattern).view())) return false;
    do {
        if (!IsDotDirectory(find.GetName())) return true;
    } while (find.Next());
    return false;
}

bool FindFileRecursive(std::string_view pattern, std::string_view folder) {
    if (pattern.empty()) pattern = "*";
    return FindFileAtDepth(pattern, folder, 0);
}

Kiv::File::Path FormTemporaryFilePath(const Kiv::File::Path& folder) {
    static std::atomic<uint32_t> calls{0};
    uint32_t call = ++calls;
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        std::string name(kTemporaryPrefix);
        for (int i = 0; i < 8; ++i) {
            int32_t r = RandomIntLocked(35);
            name += static_cast<char>(r < 10 ? '0' + r : 'a' + (r - 10));
        }
        name += std::to_string(call);
        name += ".tmp";
        Kiv::File::Path path = folder;
        path.AddPath(name);
        if (!EntryExists(path.view())) return path;
    }
    Kiv::Log::Write(
        Kiv::String::Printf("CreateTemporaryFilePath> unable to form valid temp path in "
                            "100 tries, at path '%s' with prefix '%s'",
                            folder.c_str(), std::string(kTemporaryPrefix).c_str())
            .view());
    return Kiv::File::Path();
}

bool IsTemporaryFileName(std::string_view name) {
    constexpr size_t kRandom = 8;
    constexpr std::string_view kSuffix = ".tmp";
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kSuffix)) return false;
    std::string_view middle = name.substr(kTemporaryPrefix.size());
    middle.remove_suffix(kSuffix.size());
    if (middle.size() <= kRandom) return false;
    for (size_t i = 0; i < middle.size(); ++i) {
        char c = middle[i];
        bool digit = c >= '0' && c <= '9';
        if (!digit && !(i < kRandom && c >= 'a' && c <= 'z')) return false;
    }
    return true;
}

bool WriteFileReplacing(std::string_view target, const std::function<bool(TStream&)>& write) {
    if (target.empty()) return false;
    Kiv::File::Path twin = FormTemporaryFilePath(FolderOf(target));
    if (twin.IsEmpty()) return false;
    TFile out;
    if (!out.Open(twin.view(), Kiv::File::kModeCreate)) {
        Kiv::Log::Write(
            Kiv::String::Printf("WriteFileReplacing> unable to create '%s'", twin.c_str()).view());
        return false;
    }
    bool ok = write(out) && !out.HasError();
    if (ok && tDeferredSync != nullptr) {
        std::string folder = FolderOf(target).str();
        if (tDeferredSync->empty() || tDeferredSync->back() != folder)
            tDeferredSync->push_back(std::move(folder));
    } else if (ok) {
        ok = ::fsync(out.GetFile()->Handle()) == 0;
    }
    out.CloseFile();
    if (ok) ok = Kiv::File::Rename(twin.view(), target);
    if (!ok) Kiv::File::Delete(twin.view());
    return ok;
}

DeferredFileSync::DeferredFileSync() {
    tDeferredSync = new std::vector<std::string>();
}

DeferredFileSync::~DeferredFileSync() {
    delete tDeferredSync;
    tDeferredSync = nullptr;
}

bool DeferredFileSync::Finish() {
    bool ok = true;
    std::vector<dev_t> flushed;
    for (const std::string& folder : *tDeferredSync) {
        std::string p = Kiv::File::ResolveCase(folder.empty() ? "." : folder);
        int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            ok = false;
        } else if (std::find(flushed.begin(), flushed.end(), st.st_dev) == flushed.end()) {
            // One flush of the file system covers every file written to it.
            if (::syncfs(fd) != 0) ok = false;
            flushed.push_back(st.st_dev);
        }
        if (fd >= 0) ::close(fd);
    }
    tDeferredSync->clear();
    return ok;
}

bool CopyFileContents(std::string_view from, std::string_view to) {
    TFile in;
    if (!in.Open(from, Kiv::File::kModeRead)) return false;
    uint64_t size = in.GetFile()->GetSize();
    return WriteFileReplacing(to, [&](TStream& out) {
        std::string chunk(kCopyChunk, '\0');
        uint64_t copied = 0;
        while (uint32_t got = in.ReadBytes(chunk.data(), kCopyChunk)) {
            if (out.Write(chunk.data(), got) != got) return false;
            copied += got;
        }
        // A file that shrank or grew under the copy, or a read error, is not a copy.
        return !in.HasError() && copied == size;
    });
}

bool CopyFolderRecursive(std::string_view from, std::string_view to, FileLinks fileLinks) {
    if (!Kiv::File::IsDirectory(from) || to.empty()) return false;
    std::error_code sourceError;
    std::error_code targetError;
    std::filesystem::path source =
        std::filesystem::canonical(Kiv::File::ResolveCase(from), sourceError);
    std::filesystem::path target =
        std::filesystem::weakly_canonical(Kiv::File::ResolveCase(to), targetError);
    if (sourceError || targetError) return false;
    if (target == source || IsPathInside(target.string(), source.string())) {
        Kiv::Log::Write(Kiv::String::Printf("CopyFolderRecursive> refusing to copy '%s' into "
                                            "itself ('%s')",
                                            std::string(from).c_str(), std::string(to).c_str())
                            .view());
        return false;
    }
    return CopyFolderAtDepth(from, to, fileLinks, 0);
}

namespace {

// Deletes a file, a link (never what it points at) or a folder with everything in it.
bool DeleteTree(const std::string& path, int depth) {
    struct stat st;
    if (!LStat(path, st)) return false;
    if (!S_ISDIR(st.st_mode)) return Kiv::File::Delete(path);
    if (depth > kMaxFolderDepth) {
        LogNestedTooDeep("DeleteLocationPath", path);
        return false;
    }
    std::vector<std::string> children;
    ForEachEntry(path, [&](const Kiv::File::Find& entry) {
        children.push_back(entry.GetNameAndPath());
        return true;
    });
    bool ok = true;
    for (const std::string& child : children)
        ok = DeleteTree(child, depth + 1) && ok;
    return Kiv::File::Rmd(path) && ok;
}

// The folder part of the entry, once every link in it is resolved, still lies in `base` (also
// resolved): a link inside the location cannot lead the delete elsewhere.
bool ResolvesInside(const Kiv::File::Path& entry, const Kiv::File::Path& base) {
    Kiv::File::Path parent = entry;
    parent.Normalize();
    parent.RemoveTrailingSeparator();
    if (!parent.PrevDir()) return false;
    std::error_code ec;
    std::filesystem::path realBase = std::filesystem::canonical(Kiv::File::ResolveCase(base), ec);
    if (ec) return false;
    std::filesystem::path realParent =
        std::filesystem::canonical(Kiv::File::ResolveCase(parent), ec);
    if (ec) return false;
    return realParent == realBase || IsPathInside(realParent.string(), realBase.string());
}

}  // namespace

bool DeleteLocationPath(std::string_view location, std::string_view path) {
    Kiv::File::Path base = location.empty() ? GetDataRoot() : GetDataFolder(location);
    Kiv::File::Path full;
    if (!location.empty()) {
        full = ResolveInLocation(location, path);
    } else if (!path.empty() && !base.IsEmpty()) {
        // Without a location the path is taken as it is, from the working folder when relative.
        Kiv::File::Path given(path);
        given.ReplaceBackSlashes();
        base.ReplaceBackSlashes();
        std::error_code ec;
        full = Kiv::File::Path(std::filesystem::absolute(given.str(), ec).string());
        std::string absoluteBase = std::filesystem::absolute(base.str(), ec).string();
        if (!IsPathInside(full.view(), absoluteBase)) full = Kiv::File::Path();
    }
    if (full.IsEmpty() || IsDotDirectory(path)) {
        Kiv::Log::Write(
            Kiv::String::Printf("DeleteLocationPath> refusing to delete '%s' outside '%s'",
                                std::string(path).c_str(), base.c_str())
                .view());
        return false;
    }
    full.Normalize();
    full.RemoveTrailingSeparator();
    if (!EntryExists(full.view())) return false;
    if (!ResolvesInside(full, base)) {
        Kiv::Log::Write(Kiv::String::Printf(
                            "DeleteLocationPath> refusing to delete '%s': a link leads out of '%s'",
                            full.c_str(), base.c_str())
                            .view());
        return false;
    }
    return DeleteTree(Kiv::File::ResolveCase(full.view()), 0);
}
