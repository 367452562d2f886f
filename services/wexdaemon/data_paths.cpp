#include "services/wexdaemon/data_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/kiv/base/file.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/text.h"
#include "services/wexdaemon/folder_ops.h"

namespace wexd {

namespace {

constexpr std::string_view kDatabaseName = "assets.wbi";

bool SameFolder(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && S_ISDIR(sa.st_mode) &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

std::string DataRootForProgram(std::string_view programPath) {
    Kiv::File::Path install(programPath);
    install.Normalize();
    if (!install.PrevDir() || !install.PrevDir() || install.IsEmpty()) return {};
    install.AddPath("UserData");
    return Kiv::File::ResolveCase(install.view());
}

bool MakeDataFolders(const DataPaths& paths, std::string& error) {
    // A data root made here is the user's alone from the start.
    if (::mkdir(paths.root.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot make the folder " + paths.root + ": " + std::strerror(errno);
        return false;
    }
    for (const std::string& folder :
         {paths.root, paths.Local(), paths.Editing(), paths.Backups(), paths.Settings()}) {
        if (!Kiv::File::Md(folder)) {
            error = "cannot make the folder " + folder;
            return false;
        }
    }
    // The settings hold the user's password: their folder and files are the user's alone,
    // also where an older daemon made them readable to others.
    MakePrivate(paths.Settings());
    for (const std::string& name : ListFolder(paths.Settings()))
        if (IsFile(paths.Settings() + "/" + name)) MakePrivate(paths.Settings() + "/" + name);
    return true;
}

bool IsSameDatabase(std::string_view claimed, std::string_view root) {
    Kiv::File::Path path(claimed);
    path.Normalize();
    if (!Kiv::EqualsIgnoreCase(path.GetFileName(), kDatabaseName)) return false;
    std::string folder(path.GetFolder());
    if (folder.empty()) return false;
    return SameFolder(Kiv::File::ResolveCase(folder), std::string(root));
}

}  // namespace wexd
