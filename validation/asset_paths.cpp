#include "validation/asset_paths.h"

#include "foundation/data_root.h"
#include "validation/data_manager.h"

namespace DUVLib {

std::string LocationDataFolder(const Kiv::PString& location) {
    if (location.IsEmpty()) return {};
    return GetDataFolder(location.view()).str();
}

Kiv::File::Path JoinAssetPath(std::string_view base, std::string_view path) {
    if (Kiv::File::Path::IsAbsolute(path) || base.empty()) return Kiv::File::Path(path);
    Kiv::File::Path joined(base);
    joined.AddPath(path);
    return joined;
}

bool StaysInsideAsset(std::string_view name) {
    if (Kiv::File::Path::IsAbsolute(name)) return false;
    if (!name.empty() && Kiv::File::Path::IsSeparator(name.front())) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !Kiv::File::Path::IsSeparator(name[end]))
            ++end;
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

Kiv::File::Path AssetFolderPath() {
    DataManager& manager = DataManager::Instance();
    return JoinAssetPath(LocationDataFolder(manager.GetAssetLocation()),
                         manager.GetAssetFolder().view());
}

}  // namespace DUVLib
