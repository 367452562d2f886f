#include <algorithm>
#include <string>
#include <vector>

#include "foundation/data_root.h"
#include "foundation/file_utils.h"
#include "platform/kiv/base/find.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

namespace {

// Backup folders are named by the date they were made, two digits each for year, month and
// day, so that their names sort by date.
bool IsDatedFolderName(std::string_view name) {
    if (name.size() != 8 || name[2] != '-' || name[5] != '-') return false;
    for (size_t i : {0, 1, 3, 4, 6, 7}) {
        if (name[i] < '0' || name[i] > '9') return false;
    }
    return true;
}

}  // namespace

bool MakeLocationDirectory(std::string_view location, std::string_view path) {
    if (location.empty()) return Kiv::File::Path::IsAbsolute(path) && Kiv::File::Md(path);
    Kiv::File::Path full = ResolveInLocation(location, path);
    return !full.IsEmpty() && Kiv::File::Md(full.view());
}

bool RenameLocationPath(std::string_view location, std::string_view from, std::string_view to) {
    Kiv::File::Path source(from);
    Kiv::File::Path target(to);
    if (!location.empty()) {
        source = ResolveInLocation(location, from);
        target = ResolveInLocation(location, to);
    }
    if (source.IsEmpty() || target.IsEmpty()) return false;
    // The rename of the file system would silently replace a file there; the entry already in
    // place is kept instead.
    if (EntryExists(target.view())) {
        Kiv::Log::Write(
            Kiv::String::Printf("RenameLocationPath> '%s' already exists, '%s' not renamed",
                                target.c_str(), source.c_str())
                .view());
        return false;
    }
    return Kiv::File::Rename(source.view(), target.view());
}

bool PathExists(std::string_view location, std::string_view path) {
    if (location.empty()) return Kiv::File::IsPresent(path);
    Kiv::File::Path full = ResolveInLocation(location, path);
    return !full.IsEmpty() && Kiv::File::IsPresent(full.view());
}

Kiv::File::Path CreateTemporaryFilePath(std::string_view location) {
    Kiv::File::Path folder = location.empty() ? GetDataRoot() : GetDataFolder(location);
    if (folder.IsEmpty()) {
        Kiv::Log::Write(Kiv::String::Printf("CreateTemporaryFilePath> no folder for location '%s'",
                                            std::string(location).c_str())
                            .view());
        return folder;
    }
    return FormTemporaryFilePath(folder);
}

void ThinBackupsFolder() {
    Kiv::File::Path backups = GetDataFolder("backups");
    if (backups.IsEmpty()) return;
    std::vector<std::string> dated;
    Kiv::File::Find find;
    if (find.Open(Kiv::File::Path(backups).AddPath("*").view())) {
        do {
            if (find.IsDirectory() && !find.IsSymbolicLink() && IsDatedFolderName(find.GetName()))
                dated.push_back(find.GetName());
        } while (find.Next());
    }
    if (dated.size() <= static_cast<size_t>(kBackupsKept)) return;
    std::sort(dated.begin(), dated.end());
    dated.resize(dated.size() - kBackupsKept);  // the oldest
    for (const std::string& name : dated) {
        Kiv::File::Path folder = Kiv::File::Path(backups).AddPath(name);
        Kiv::Log::Write(
            Kiv::String::Printf("ThinBackupsFolder> Deleting backup folder '%s'", folder.c_str())
                .view());
        DeleteLocationPath("backups", name);
    }
}
