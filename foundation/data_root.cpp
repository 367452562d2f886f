#include "foundation/data_root.h"

#include <mutex>
#include <string>

#include "foundation/statics.h"
#include "platform/kiv/base/sync.h"
#include "platform/kiv/base/text.h"

namespace {

struct FolderRootsSlot {
    Kiv::CriticalSection lock;
    std::string installRoot;
    std::string dataRoot;
};

FolderRootsSlot& Slot() {
    static ProcessStatic<FolderRootsSlot> slot("folder roots");
    return slot.Get();
}

[[maybe_unused]] const bool kBuilt = (Slot(), true);

// The locations that live under the data root. Every other location name is a folder of the
// install root.
constexpr std::string_view kDataRootLocations[] = {"local",   "original", "backups",
                                                   "editing", "cache",    "settings"};

bool IsSingleFolderName(std::string_view name) {
    if (!name.empty() && Kiv::File::Path::IsSeparator(name.back())) name.remove_suffix(1);
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (Kiv::File::Path::IsSeparator(c)) return false;
    }
    return true;
}

std::string Comparable(std::string_view path) {
    Kiv::File::Path p(path);
    p.Normalize();
    p.RemoveTrailingSeparator();
    return p.str();
}

}  // namespace

void SetFolderRoots(const Kiv::File::Path& installRoot, const Kiv::File::Path& dataRoot) {
    FolderRootsSlot& slot = Slot();
    std::lock_guard<Kiv::CriticalSection> lock(slot.lock);
    slot.installRoot = installRoot.str();
    slot.dataRoot = dataRoot.str();
}

Kiv::File::Path GetInstallRoot() {
    FolderRootsSlot& slot = Slot();
    std::lock_guard<Kiv::CriticalSection> lock(slot.lock);
    return Kiv::File::Path(slot.installRoot);
}

Kiv::File::Path GetDataRoot() {
    FolderRootsSlot& slot = Slot();
    std::lock_guard<Kiv::CriticalSection> lock(slot.lock);
    return Kiv::File::Path(slot.dataRoot);
}

Kiv::File::Path GetDataFolder(std::string_view location) {
    if (!IsSingleFolderName(location)) return Kiv::File::Path();
    for (std::string_view name : kDataRootLocations) {
        if (Kiv::EqualsIgnoreCase(name, location)) {
            Kiv::File::Path root = GetDataRoot();
            return root.IsEmpty() ? root : root.AddPath(name);
        }
    }
    Kiv::File::Path install = GetInstallRoot();
    return install.IsEmpty() ? install : install.AddPath(location);
}

bool IsPathInside(std::string_view path, std::string_view folder) {
    std::string p = Comparable(path);
    std::string f = Comparable(folder);
    if (f.empty() || p.size() <= f.size()) return false;
    if (!Kiv::EqualsIgnoreCase(std::string_view(p).substr(0, f.size()), f)) return false;
    return f.back() == '/' || p[f.size()] == '/';
}

Kiv::File::Path ResolveInLocation(std::string_view location, std::string_view path) {
    Kiv::File::Path folder = GetDataFolder(location);
    if (folder.IsEmpty() || path.empty()) return Kiv::File::Path();
    Kiv::File::Path full = Kiv::File::Path::IsAbsolute(path) ? Kiv::File::Path(path) : folder;
    if (!Kiv::File::Path::IsAbsolute(path)) full.AddPath(path);
    if (!IsPathInside(full.view(), folder.view())) return Kiv::File::Path();
    return full;
}
