// Test support for the stand-in content service: archives of small assets written where a test
// wants them, as the service's folder holds them, and a daemon with a client to ask it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/cdp_pack.h"
#include "archive/cdp_write.h"
#include "assetdb/settings_requests.h"
#include "assetdb/vendrix_cache.h"
#include "configdata/tdb_container_tag.h"
#include "online/url_record.h"
#include "services/wexdaemon/client_test_support.h"

namespace vendrixtest {

struct Listed {
    Listed(KUID k, std::string n, std::vector<KUID> deps = {}, std::string cats = "BD",
           std::map<std::string, std::string> f = {})
        : kuid(k),
          name(std::move(n)),
          dependencies(std::move(deps)),
          categories(std::move(cats)),
          files(std::move(f)) {}
    KUID kuid;
    std::string name;
    std::vector<KUID> dependencies;
    std::string categories = "BD";
    std::map<std::string, std::string> files;  // name -> bytes
};

// Writes an archive of the assets at `path` (its folders made first).
inline void WriteArchive(const std::string& path, const std::vector<Listed>& assets) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    CdpArchive archive;
    for (const Listed& a : assets) {
        TDBTagRef entry = CdpNewAssetEntry();
        TDBContainerTag::SetKUID(entry, Kiv::PString("kuid"), a.kuid);
        TDBContainerTag::SetString(entry, Kiv::PString("kind"), Kiv::PString("scenery"));
        TDBContainerTag::SetString(entry, Kiv::PString("username"), Kiv::PString(a.name));
        TDBContainerTag::SetString(entry, Kiv::PString("category-class"),
                                   Kiv::PString(a.categories));
        TDBContainerTag::SetFloat(entry, Kiv::PString("halvex-build"), 3.5f);
        if (!a.dependencies.empty()) {
            TDBTagRef table;
            for (size_t i = 0; i < a.dependencies.size(); ++i)
                TDBContainerTag::SetKUID(table, Kiv::PString(std::to_string(i)), a.dependencies[i]);
            TDBContainerTag::SetContainer(entry, Kiv::PString("kuid-table"), table);
        }
        std::filesystem::path folder =
            std::filesystem::path(path).parent_path() / (".files-" + a.kuid.ToColonString().str());
        std::filesystem::create_directories(folder);
        for (const auto& [name, bytes] : a.files)
            std::ofstream(folder / name, std::ios::binary) << bytes;
        TDBTagRef files;
        ASSERT_TRUE(CdpPackFolder(folder.string(), files).IsEmpty());
        std::filesystem::remove_all(folder);
        TDBContainerTag::SetContainer(entry, Kiv::PString("files"), files);
        ASSERT_TRUE(CdpAddAsset(archive, entry).IsEmpty()) << a.kuid.ToString().c_str();
    }
    ASSERT_TRUE(CdpWrite(archive, path).IsEmpty()) << path;
}

inline const KUID kShed(424242, 1), kShed2(424242, 1, 2), kRoof(424242, 2), kTile(424242, 3),
    kGone(424242, 9);

// A real daemon and its client; ListSome fills the service's folder with a shed (two versions),
// its roof and the roof's tile, one dependency of the newer shed missing.
class ServiceTest : public clienttest::DaemonClientTest {
protected:
    std::string Folder() const { return Source("service"); }
    void SetFolder(const std::string& folder) {
        TDBTagRef group;
        TDBContainerTag::SetString(group, Kiv::PString("folder"), Kiv::PString(folder));
        ASSERT_TRUE(WEXClient::WriteSettings("vendrix", group));
    }
    static uint64_t Start(const std::string& url, uint32_t kind) {
        URLRecord record;
        record.Parse(url);
        return WEXClient::ResolveVendrixAsset(record, kind);
    }
    // The finished record of a request that finishes at once.
    static WEXVendrixInfo Finished(uint64_t id) {
        WEXVendrixInfo info;
        EXPECT_TRUE(WEXClient::GetVendrixInfo(id, info));
        EXPECT_TRUE(info.finished);
        return info;
    }
    void ListSome() {
        WriteArchive(Folder() + "/a/shed.cdp", {{kShed, "Shed", {kRoof}}});
        WriteArchive(Folder() + "/a/b/shed2.CDP", {{kShed2, "Shed v2", {kRoof, kGone}}});
        WriteArchive(Folder() + "/roof.cdp",
                     {{kRoof, "Roof", {kTile}, "BD"}, {kTile, "Tile", {}, "MESH"}});
    }
};

}  // namespace vendrixtest
