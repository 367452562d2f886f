// Exports through the real daemon, and archived assets installed back through it: an export
// carries the config's tags and every other file, packed; an archive made from it installs the
// same files again, committed as archived; a reinstall waits open for edit.
#include <filesystem>

#include "archive/cdp_archive.h"
#include "archive/cdp_dsid.h"
#include "archive/cdp_export.h"
#include "archive/cdp_install.h"
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

}  // namespace
