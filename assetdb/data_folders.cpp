#include "assetdb/data_folders.h"

#include <array>
#include <mutex>

#include "assetdb/resource_db_registry.h"
#include "foundation/data_root.h"
#include "foundation/file_utils.h"
#include "foundation/logging.h"
#include "foundation/paths.h"
#include "foundation/statics.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/sync.h"
#include "platform/system/process.h"

namespace {

// The data folders whose resource databases are held for the run, in the order they are
// acquired: the install's "Data" first, then the user-data locations.
constexpr std::array<const char*, 6> kHeldLocations = {"local",   "original", "backups",
                                                       "editing", "cache",    "settings"};
constexpr size_t kHeldCount = 1 + kHeldLocations.size();

struct HeldFolders {
    Kiv::CriticalSection lock;
    std::array<Kiv::ResourceDatabase*, kHeldCount> databases{};
    bool held = false;
};

HeldFolders& Held() {
    static ProcessStatic<HeldFolders> held("held data folders");
    return held.Get();
}

[[maybe_unused]] const bool kBuilt = (Held(), true);

constexpr const char* kSubstScripts = "scripts";
constexpr const char* kSubstLibraries = "libraries";

Kiv::File::Path UnderRoot(Kiv::File::Path root, std::string_view a, std::string_view b = {}) {
    if (root.IsEmpty()) return root;
    root.AddPath(a);
    if (!b.empty()) root.AddPath(b);
    return root;
}

bool CanWriteIn() {
    Kiv::File::Path probe = CreateTemporaryFilePath();
    if (probe.IsEmpty()) return false;
    Kiv::File file;
    if (!file.Open(probe.view(), Kiv::File::kModeCreate)) return false;
    file.Close();
    return Kiv::File::Delete(probe.view());
}

void AcquireHeldDatabases() {
    HeldFolders& h = Held();
    std::lock_guard<Kiv::CriticalSection> lock(h.lock);
    if (h.held) return;
    h.databases[0] =
        AcquireResourceDatabase(Kiv::PString("data"), UnderRoot(GetInstallRoot(), "Data").view());
    for (size_t i = 0; i < kHeldLocations.size(); ++i)
        h.databases[i + 1] = AcquireResourceDatabase(Kiv::PString(kHeldLocations[i]),
                                                     GetDataFolder(kHeldLocations[i]).view());
    h.held = true;
}

// The rest of the path below the folder, in the path's own text; false when it is not inside.
bool RestBelow(const Kiv::File::Path& path, const Kiv::File::Path& folder, std::string& rest) {
    if (folder.IsEmpty()) return false;
    Kiv::File::Path relative = path;
    if (!relative.MakeRelativeTo(folder.view())) return false;
    rest = relative.str();
    return true;
}

Kiv::File::Path RelativeInComparisonForm(std::string_view path, const Kiv::File::Path& root) {
    if (root.IsEmpty() || path.empty()) return Kiv::File::Path();
    Kiv::File::Path p = NormalizePathLower(Kiv::File::Path(path));
    if (!p.MakeRelativeTo(NormalizePathLower(root).view())) return Kiv::File::Path();
    return p;
}

}  // namespace

Kiv::File::Path GetProgramPath() {
    return Kiv::File::Path(Sys::GetProcessExecutable(Sys::GetCurrentProcessId()));
}

void SetUpDataFolders(const Kiv::File::Path& programPath) {
    Kiv::File::Path install = programPath;
    install.PrevDir();
    install.PrevDir();
    FindInstallAndUserData(install);
    PrepareUserDataFolders();
}

void FindInstallAndUserData(const Kiv::File::Path& installPath) {
    Kiv::File::Path install = installPath;
    install.Normalize();
    install.RemoveTrailingSeparator();
    if (install.IsEmpty()) FatalError("Unable to determine application installation path.");
    Kiv::File::Path data = install;
    data.AddPath("UserData");
    SetFolderRoots(install, data);
    Kiv::File::Md(data.view());
    if (!CanWriteIn()) FatalError("Unable to acquire write access to UserData folder.");
}

void PrepareUserDataFolders() {
    Kiv::File::Path install = GetInstallRoot();
    Kiv::File::Path data = GetDataRoot();
    if (install.IsEmpty() || data.IsEmpty()) return;

    Kiv::File::Md(UnderRoot(data, "cache").view());
    Kiv::File::Path trash = UnderRoot(data, "trash");
    Kiv::File::Path backups = UnderRoot(data, "backups");
    if (Kiv::File::IsPresent(trash.view()) && !Kiv::File::IsPresent(backups.view()))
        Kiv::File::Rename(trash.view(), backups.view());
    Kiv::File::Md(backups.view());
    for (const char* name :
         {"bookmarks", "sessions", "water", "local", "original", "editing", "settings"})
        Kiv::File::Md(UnderRoot(data, name).view());

    AcquireHeldDatabases();

    Kiv::File::Subst(kSubstScripts, UnderRoot(install, "scripts/").view());
    Kiv::File::Subst(kSubstLibraries, UnderRoot(data, "libraries/").view());

    Kiv::File::Path settings = UnderRoot(data, "settings");
    if (!FindInFolder("*", settings.view()))
        CopyFolderRecursive(UnderRoot(install, "prebuilt", "settings").view(), settings.view());
}

void ReleaseDataFolders() {
    {
        HeldFolders& h = Held();
        std::lock_guard<Kiv::CriticalSection> lock(h.lock);
        for (Kiv::ResourceDatabase*& database : h.databases) {
            ReleaseResourceDatabase(database);
            database = nullptr;
        }
        h.held = false;
    }
    Kiv::File::Subst(kSubstScripts, "");
    Kiv::File::Subst(kSubstLibraries, "");
}

Kiv::File::Path GetPrebuiltFolder() {
    return UnderRoot(GetInstallRoot(), "prebuilt");
}
Kiv::File::Path GetLibrariesFolder() {
    return UnderRoot(GetDataRoot(), "libraries/");
}
Kiv::File::Path GetScriptsFolder() {
    return UnderRoot(GetInstallRoot(), "scripts/");
}
Kiv::File::Path GetBuiltinFolder() {
    return UnderRoot(GetInstallRoot(), "builtin");
}
Kiv::File::Path GetPluginFolder() {
    return UnderRoot(GetInstallRoot(), "bin/plugins");
}
Kiv::File::Path GetDaemonExecutablePath() {
    return UnderRoot(GetInstallRoot(), "bin", "wexdaemon");
}
Kiv::File::Path GetDataRootPath() {
    return GetDataRoot();
}
Kiv::File::Path GetDatabaseFilePath() {
    return UnderRoot(GetDataRoot(), "assets.wbi");
}
Kiv::File::Path GetCacheFolder() {
    return UnderRoot(GetDataRoot(), "cache");
}

Kiv::File::Path GetLibrariesCacheFolder() {
    Kiv::File::Path folder = UnderRoot(GetDataRoot(), "cache", "libraries");
    if (!folder.IsEmpty()) Kiv::File::Md(folder.view());
    return folder;
}

LocationPath SplitLocationPath(std::string_view text) {
    Kiv::File::Path path(text);
    path.Normalize();
    std::string rest;
    if (RestBelow(path, GetDataRoot(), rest)) {
        size_t cut = 0;
        while (cut < rest.size() && !Kiv::File::Path::IsSeparator(rest[cut]))
            ++cut;
        std::string after = cut < rest.size() ? rest.substr(cut + 1) : std::string();
        return {rest.substr(0, cut), after};
    }
    if (RestBelow(path, GetBuiltinFolder(), rest)) return {"builtin\\", rest};
    for (const char* location : {"base", "data"}) {
        if (RestBelow(path, GetDataFolder(location), rest)) return {location, rest};
    }
    return {};
}

Kiv::File::Path MakeRelativeToInstallRoot(std::string_view path) {
    return RelativeInComparisonForm(path, GetInstallRoot());
}

Kiv::File::Path MakeRelativeToDataRoot(std::string_view path) {
    return RelativeInComparisonForm(path, GetDataRoot());
}

bool DeleteUnderDataRoot(std::string_view path) {
    return DeleteLocationPath({}, path);
}
