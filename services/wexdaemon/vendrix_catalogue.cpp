#include "services/wexdaemon/vendrix_catalogue.h"

#include <sys/stat.h>

#include <set>

#include "archive/cdp_archive.h"
#include "archive/cdp_install.h"
#include "platform/kiv/base/text.h"
#include "services/wexdaemon/config_facts.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/folder_ops.h"

namespace wexd {

namespace {

struct FileFacts {
    uint64_t size = 0;
    int64_t stamp = 0;
};

// Every ".cdp" file below the folder (any letter case), links left alone.
void FindArchives(const std::string& folder, int depth, std::map<std::string, FileFacts>& out) {
    if (depth > kMaxTreeDepth) {
        DaemonLog("content service: %s nests too deep; not looked into", folder.c_str());
        return;
    }
    for (const std::string& name : ListFolder(folder)) {
        std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            FindArchives(path, depth + 1, out);
        } else if (S_ISREG(st.st_mode) && name.size() > 4 &&
                   Kiv::EqualsIgnoreCase(std::string_view(name).substr(name.size() - 4), ".cdp")) {
            out[path] = {static_cast<uint64_t>(st.st_size),
                         int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
        }
    }
}

std::vector<ListedAsset> ReadArchive(const std::string& path, uint64_t size) {
    std::vector<ListedAsset> out;
    CdpArchive archive;
    Kiv::PString error = CdpOpen(archive, path);
    if (!error.IsEmpty()) {
        DaemonLog("content service: %s is skipped: %s", path.c_str(), error.c_str());
        return out;
    }
    for (uint32_t i = 0, n = CdpAssetCount(archive); i < n; ++i) {
        TDBTagRef entry = CdpGetAsset(archive, i);
        KUID kuid = CdpAssetKUID(entry);
        if (kuid.IsNull()) continue;
        ListedAsset asset;
        asset.kuid = kuid;
        asset.facts = FactsFromConfig(kuid, CdpAssetToConfig(entry));
        asset.archive = path;
        asset.archiveSize = size;
        out.push_back(std::move(asset));
    }
    return out;
}

}  // namespace

AssetRecord ListedRecord(const ListedAsset& asset) {
    AssetRecord record;
    record.kuid = asset.kuid;
    record.config = asset.facts;
    record.cache = kRecordCacheVersion;
    return record;
}

const ListedAsset* VendrixListing::Find(const KUID& kuid) const {
    auto it = assets.find(kuid);
    return it == assets.end() ? nullptr : &it->second;
}

const ListedAsset* VendrixListing::Newest(const KUID& kuid) const {
    // Versions of one user and content id stand side by side in KUID order.
    auto it = assets.upper_bound(KUID(kuid.userId, kuid.contentId, KUID::kMaxVersion));
    if (it == assets.begin()) return nullptr;
    --it;
    if (it->first.userId != kuid.userId || it->first.contentId != kuid.contentId) return nullptr;
    return &it->second;
}

std::shared_ptr<const VendrixListing> VendrixCatalogue::Look(const std::string& folder) {
    std::map<std::string, FileFacts> found;
    if (!folder.empty()) FindArchives(folder, 0, found);

    std::lock_guard<std::mutex> hold(mutex_);
    bool changed = folder != folder_ || found.size() != archives_.size();
    if (folder != folder_) archives_.clear();
    folder_ = folder;
    for (auto it = archives_.begin(); it != archives_.end();) {
        auto now = found.find(it->first);
        if (now == found.end() || now->second.size != it->second.size ||
            now->second.stamp != it->second.stamp) {
            it = archives_.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    for (const auto& [path, facts] : found) {
        if (archives_.count(path) != 0) continue;
        archives_[path] = {facts.size, facts.stamp, ReadArchive(path, facts.size)};
        changed = true;
    }
    if (changed) {
        auto listing = std::make_shared<VendrixListing>();
        // An asset in two archives is listed from the first by path.
        for (const auto& [path, seen] : archives_)
            for (const ListedAsset& asset : seen.assets)
                listing->assets.emplace(asset.kuid, asset);
        listing_ = std::move(listing);
    }
    return listing_;
}

}  // namespace wexd
