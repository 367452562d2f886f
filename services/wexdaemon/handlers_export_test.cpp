// Exports through the real daemon, and archived assets installed back through it: an export
// carries the config's tags and every other file, packed; an archive made from it installs the
// same files again, committed as archived; a reinstall waits open for edit.
#include <filesystem>

#include "archive/archive_host_calls.h"
#include "archive/cdp_archive.h"
#include "archive/cdp_dsid.h"
#include "archive/cdp_export.h"
#include "archive/cdp_install.h"
#include "archive/crak_file.h"
#include "assetdb/asset_info.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_edit.h"
#include "assetdb/wex_client_install.h"
#include "configdata/config_file.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "services/wexdaemon/client_test_support.h"
#include "services/wexdaemon/store_test_support.h"

namespace {

using clienttest::Config;
using clienttest::Mentions;
using storetest::FolderFiles;
using Files = std::map<std::string, std::string>;
using W = Kiv::PString;

const KUID kShed(4242, 17);
const KUID kRoof(4242, 18);

class HandlersExportTest : public clienttest::DaemonClientTest {
protected:
    std::string ShedSource() {
        std::string folder = Source("shed");
        Config(kShed)
            .Text("username", "Shed")
            .Text("kind", "Mesh")
            .Kuid("mesh-asset", kRoof)
            .WriteTo(folder, {{"shed.im", std::string(5000, 's')},
                              {"art/roof.texture.txt", "roof"},
                              {"art/deep/more.tga", std::string(70, '\x01')}});
        return folder;
    }
    uint32_t Status(const KUID& kuid) {
        WEXAssetInfo info;
        EXPECT_TRUE(WEXClient::GetAssetInfo(kuid, info, kWEXInfoEverything));
        return info.IsKnown() ? info.GetStatus() : 0;
    }
};

TEST_F(HandlersExportTest, AnExportCarriesTheConfigAndThePackedFiles) {
    Install(ShedSource());
    ResultsLog log;
    TDBTagRef exported = WEXClient::ExportAsset(kShed, 3, &log);
    ASSERT_TRUE(exported) << DaemonLog();
    EXPECT_EQ(log.GetCount(), 0u);
    EXPECT_EQ(TDBContainerTag::GetKUID(exported, W("kuid"), KUID::kNull), kShed);
    EXPECT_EQ(TDBContainerTag::GetString(exported, W("username")).str(), "Shed");
    EXPECT_EQ(CdpAssetCompression(exported).str(), "LZSS");
    EXPECT_TRUE(CdpCheckDsid(exported));
    // The config travels as tags, not as a file.
    EXPECT_EQ(souptest::Names(CdpAssetFiles(exported)),
              (std::vector<std::string>{"art", "shed.im"}));

    // Not installed: said, and no soup.
    ResultsLog missing;
    EXPECT_FALSE(WEXClient::ExportAsset(kRoof, 3, &missing));
    EXPECT_TRUE(Mentions(missing, "Asset is not local.")) << DaemonLog();
    EXPECT_EQ(missing.GetErrorCount(), 1u);
}

TEST_F(HandlersExportTest, AnArchivedAssetInstallsBackAsItWas) {
    std::string source = ShedSource();
    Install(source);
    Files original = FolderFiles(Local(kShed));
    ResultsLog log;
    TDBTagRef exported = WEXClient::ExportAsset(kShed, 3, &log);
    TDBTagRef entry;
    ASSERT_EQ(CdpEntryFromExport(exported, W("LZSS"), entry).str(), "");
    ASSERT_TRUE(WEXClient::DeleteAsset(kShed, false, &log));
    ASSERT_EQ(Status(kShed), 0u);

    bool second = false;
    EXPECT_EQ(InstallArchiveAsset(entry, log, kCdpInstallCommit, &second, nullptr), kShed)
        << DaemonLog();
    EXPECT_TRUE(second) << "a first commit";
    EXPECT_EQ(log.GetErrorCount(), 0u);
    EXPECT_EQ(log.GetSuccessCount(), 1u);
    // Installed, committed as archived: not locally modified, not open.
    EXPECT_EQ(
        Status(kShed) & (kWEXStatusInstalled | kWEXStatusLocallyModified | kWEXStatusOpenForEdit),
        kWEXStatusInstalled);
    Files installed = FolderFiles(Local(kShed));
    ASSERT_TRUE(installed.count("config.chump"));
    installed.erase("config.chump");
    original.erase("config.txt");
    EXPECT_EQ(installed, original);
    TDBTagRef config;
    ASSERT_TRUE(ReadConfigFile({}, Local(kShed) + "/config.chump", config));
    EXPECT_EQ(TDBContainerTag::GetString(config, W("kind")).str(), "mesh");
    EXPECT_EQ(TDBContainerTag::GetKUID(TDBContainerTag::GetContainer(config, W("kuid-table")),
                                       W("0"), KUID::kNull),
              kRoof);

    // Again, over the installed asset: its copy is filled and left open, with "config.txt".
    ResultsLog again;
    EXPECT_EQ(InstallArchiveAsset(entry, again, kCdpInstallCommit, nullptr, nullptr), kShed);
    EXPECT_TRUE(Status(kShed) & kWEXStatusOpenForEdit);
    std::string copy = Root() + "/editing/" + kShed.ToDisplayString().str();
    Files edited = FolderFiles(copy);
    EXPECT_TRUE(edited.count("config.txt"));
    EXPECT_FALSE(edited.count("config.chump"));
    edited.erase("config.txt");
    EXPECT_EQ(edited, original);
}

// The host's save call feeds its install call: assets saved to an archive file through the
// daemon's exports, deleted, and installed back from the file come back as they were.
TEST_F(HandlersExportTest, ASavedArchiveFileInstallsBackAsItWas) {
    Install(ShedSource());
    Config(kRoof).Text("username", "Roof").WriteTo(Source("roof"), {{"roof.im", "r"}});
    Install(Source("roof"));
    Files shed = FolderFiles(Local(kShed)), roof = FolderFiles(Local(kRoof));
    const std::string file = dir_ / "saved.crak";
    ResultsLog log;
    ASSERT_TRUE(WEXArchiveSaveToFile(0x5151, file, {kShed, kRoof}, log)) << DaemonLog();
    // An asset the daemon does not hold is no record, and the save says not all were saved.
    ResultsLog partial;
    EXPECT_FALSE(WEXArchiveSaveToFile(0x5151, dir_ / "partial.crak", {KUID(4242, 99)}, partial));
    for (const KUID& kuid : {kShed, kRoof})
        ASSERT_TRUE(WEXClient::DeleteAsset(kuid, false, &log));

    // The wrong word is another exchange's file: nothing is installed.
    std::vector<KUID> wanted{kShed, kRoof};
    ResultsLog wrong;
    EXPECT_FALSE(WEXArchiveInstall(0x5152, wanted, file, wrong));
    EXPECT_EQ(wanted.size(), 2u);
    EXPECT_EQ(Status(kShed), 0u);

    ASSERT_TRUE(WEXArchiveInstall(0x5151, wanted, file, log)) << DaemonLog();
    EXPECT_TRUE(wanted.empty());
    EXPECT_EQ(log.GetErrorCount(), 0u);
    for (auto& [kuid, before] : {std::pair{kShed, shed}, std::pair{kRoof, roof}}) {
        Files after = FolderFiles(Local(kuid));
        EXPECT_TRUE(after.count("config.chump"));
        after.erase("config.chump");
        Files expected = before;
        expected.erase("config.txt");
        EXPECT_EQ(after, expected) << kuid.ToString().str();
    }
}

}  // namespace
