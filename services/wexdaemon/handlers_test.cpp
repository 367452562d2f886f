// The daemon's asset requests driven through the program's own client library against the real
// wexdaemon: install, status, editing, commit, revert, delete, new KUIDs, settings, keywords,
// search, repair; what survives a restart; and two clients on one asset.
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "assetdb/asset_search.h"
#include "assetdb/asset_status.h"
#include "assetdb/author_cache.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_range.h"
#include "assetdb/filter_string.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"
#include "assetdb/settings_requests.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_database.h"
#include "assetdb/wex_client_edit.h"
#include "assetdb/wex_client_install.h"
#include "services/wexdaemon/client_test_support.h"
#include "services/wexdaemon/store_test_support.h"

namespace {

using clienttest::Config;
using clienttest::Lines;
using clienttest::Mentions;
using storetest::FolderFiles;

const KUID kShed(4242, 17);

// The list's KUIDs; the list is emptied.
std::vector<KUID> ToVector(KUIDBlockList& list) {
    std::vector<KUID> out;
    for (const KUID& k : list)
        out.push_back(k);
    list.FreeAll();
    return out;
}

class HandlersTest : public clienttest::DaemonClientTest {
protected:
    std::string ShedSource(const std::string& name = "shed") {
        std::string folder = Source(name);
        Config(kShed)
            .Text("username", "Goods Shed")
            .Text("kind", "scenery")
            .Text("category-class", "BI")
            .Text("category-region", "AU;NZ")
            .Text("category-era", "1950s")
            .Float("halvex-build", 3.5f)
            .WriteTo(folder, {{"mesh/shed.im", "mesh bytes"}});
        return folder;
    }
    std::vector<KUID> Search(const WEXFilterElement& root) {
        KUIDBlockList found;
        EXPECT_TRUE(WEXClient::SearchAssets(root, found));
        return ToVector(found);
    }
};

TEST_F(HandlersTest, InstallStatusEditCommitRevertDelete) {
    std::string source = ShedSource();
    EXPECT_EQ(Install(source), kShed);
    EXPECT_EQ(FolderFiles(Local(kShed)), FolderFiles(source));

    WEXAssetInfo info;
    ASSERT_TRUE(WEXClient::GetAssetInfo(kShed, info, kWEXInfoEverything));
    EXPECT_EQ(info.asset, kShed);
    EXPECT_EQ(info.name.view(), "Goods Shed");
    EXPECT_EQ(info.userName.view(), "Goods Shed");
    EXPECT_EQ(info.region.view(), "AU;NZ");
    EXPECT_EQ(info.era.view(), "1950s");
    EXPECT_EQ(info.categoryCodes.view(), "BD;IND;NACT");
    EXPECT_EQ(info.authorId, 4242u);
    EXPECT_EQ(info.authorName.view(), "4242");
    EXPECT_TRUE(info.buildKnown);
    EXPECT_EQ(static_cast<int>(info.build * 100.0f), 350);
    EXPECT_GT(info.installedAt, 0u);
    EXPECT_EQ(WEXAssetStatusLetters(info).view(), "eIadlmf");

    // Open for edit: a copy in editing/, the asset shows E.
    Kiv::String folder;
    WEXAssetHandle handle = WEXClient::OpenAssetForEdit(kShed, false, 0, &folder);
    ASSERT_TRUE(handle.IsValid());
    EXPECT_EQ(std::string(folder.view()), Root() + "/editing/kuid 4242 17");
    EXPECT_EQ(handle.GetName().view(), "Goods Shed");
    EXPECT_EQ(FolderFiles(folder.c_str()), FolderFiles(source));
    ASSERT_TRUE(WEXClient::GetAssetInfo(kShed, info, kWEXInfoEverything));
    EXPECT_EQ(WEXAssetStatusLetters(info).view(), "EIadlmf");

    // Commit: the edited copy is installed, the asset is locally modified and closed.
    std::ofstream(std::string(folder.view()) + "/notes.txt") << "new";
    ResultsLog log;
    bool second = true;
    ASSERT_TRUE(WEXClient::CommitAsset(handle, 0, &second, &log))
        << ::testing::PrintToString(Lines(log));
    EXPECT_FALSE(second);
    EXPECT_EQ(log.GetCount(), 0u);
    EXPECT_TRUE(std::filesystem::exists(Local(kShed) + "/notes.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder.c_str()));
    ASSERT_TRUE(WEXClient::GetAssetInfo(kShed, info, kWEXInfoEverything));
    EXPECT_EQ(WEXAssetStatusLetters(info).view(), "eIadLmf");
    handle.Release();

    // Revert throws a copy away.
    WEXAssetHandle again = WEXClient::OpenAssetForEdit(kShed, false, 0, &folder);
    ASSERT_TRUE(again.IsValid());
    std::ofstream(std::string(folder.view()) + "/notes.txt") << "thrown away";
    EXPECT_TRUE(WEXClient::RevertAsset(again, &log));
    EXPECT_FALSE(again.IsValid());
    EXPECT_EQ(wexdtest::ReadWhole(Local(kShed) + "/notes.txt"), "new");
    EXPECT_TRUE(WEXAssetIsLocallyModified(kShed));

    // Delete; then the asset is unknown and a second delete says why it fails.
    EXPECT_TRUE(WEXClient::DeleteAsset(kShed, false, &log));
    EXPECT_FALSE(std::filesystem::exists(Local(kShed)));
    ASSERT_TRUE(WEXClient::GetAssetInfo(kShed, info, kWEXInfoEverything));
    EXPECT_FALSE(info.IsKnown());
    EXPECT_TRUE(info.asset.IsNull());
    EXPECT_FALSE(WEXAssetIsInstalled(kShed));
    EXPECT_FALSE(WEXClient::DeleteAsset(kShed, false, &log));
    EXPECT_TRUE(Mentions(log, "not installed")) << ::testing::PrintToString(Lines(log));
    EXPECT_EQ(log.GetErrorCount(), 1u);
}

// A config whose text ends inside a container installs as it reads, and the install warns of
// the "{" that was never closed, naming the file and its line.
TEST_F(HandlersTest, AConfigThatEndsInsideAContainerInstallsWithAWarning) {
    std::string folder = Source("unclosed");
    std::filesystem::create_directories(folder);
    const std::string text =
        "kuid <kuid:4242:17>\r\nusername \"Goods Shed\"\r\nmesh-table\r\n{\r\n"
        "  default\r\n  {\r\n    mesh shed.im\r\n";
    {
        std::FILE* f = std::fopen((folder + "/config.txt").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    ResultsLog log;
    KUID installed;
    EXPECT_TRUE(WEXClient::InstallFromPath(folder, 0, false, installed, &log, nullptr));
    EXPECT_EQ(installed, kShed);
    EXPECT_EQ(log.GetErrorCount(), 0u);
    EXPECT_EQ(log.GetWarningCount(), 1u);
    EXPECT_TRUE(Mentions(log, folder + "/config.txt\" ends inside 2 containers"))
        << ::testing::PrintToString(Lines(log));
    EXPECT_TRUE(Mentions(log, "is on line 4")) << ::testing::PrintToString(Lines(log));
    EXPECT_TRUE(WEXAssetIsInstalled(kShed));
}

TEST_F(HandlersTest, RefusalsComeBackAsErrorsInTheRequestsLog) {
    Install(ShedSource());
    std::filesystem::create_directories(Source("no-config"));
    Config(KUID::kNull).Text("username", "Nameless").WriteTo(Source("no-kuid"));
    struct Case {
        std::string folder;
        const char* says;
    };
    const Case cases[] = {
        {Source("no-config"), "no config.txt or config.chump"},
        {Source("no-kuid"), "names no usable kuid"},
        {Source("missing"), "there is no folder"},
        {"relative/folder", "is not a full path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        ResultsLog log;
        KUID installed(1, 1);
        EXPECT_FALSE(WEXClient::InstallFromPath(c.folder, 0, false, installed, &log, nullptr));
        EXPECT_TRUE(installed.IsNull());
        EXPECT_EQ(log.GetErrorCount(), 1u);
        EXPECT_TRUE(Mentions(log, c.says)) << ::testing::PrintToString(Lines(log));
    }

    // Open for edit: delete is refused; a commit whose config names another asset too.
    Kiv::String folder;
    WEXAssetHandle handle = WEXClient::OpenAssetForEdit(kShed, false, 0, &folder);
    ASSERT_TRUE(handle.IsValid());
    ResultsLog log;
    EXPECT_FALSE(WEXClient::DeleteAsset(kShed, false, &log));
    EXPECT_TRUE(Mentions(log, "open for edit")) << ::testing::PrintToString(Lines(log));
    Config(KUID(4242, 18)).Text("username", "Impostor").WriteTo(folder.c_str());
    ResultsLog commitLog;
    EXPECT_FALSE(WEXClient::CommitAsset(handle, 0, nullptr, &commitLog));
    EXPECT_TRUE(Mentions(commitLog, "<kuid:4242:18>"))
        << ::testing::PrintToString(Lines(commitLog));
    EXPECT_EQ(WEXGetAssetName(kShed).view(), "Goods Shed");

    // An unknown asset cannot be opened.
    EXPECT_FALSE(WEXClient::OpenAssetForEdit(KUID(1, 2), false).IsValid());
}

TEST_F(HandlersTest, NewKUIDsAndCreatedAssets) {
    // No user id set: local content that no registered author owns.
    EXPECT_EQ(WEXClient::GenerateKUID(), KUID(0, 1));
    EXPECT_EQ(WEXClient::GenerateKUID(), KUID(0, 2));

    TDBTagRef group;
    TDBContainerTag::SetInt(group, Kiv::PString("user-id"), 12345);
    ASSERT_TRUE(WEXClient::WriteSettings("database", group));
    EXPECT_EQ(WEXClient::GenerateKUID(), KUID(12345, 3));
    // A user id the 8-byte form cannot hold gives no KUID, not the caller's fallback.
    TDBContainerTag::SetInt(group, Kiv::PString("user-id"), 40000000);
    ASSERT_TRUE(WEXClient::WriteSettings("database", group));
    EXPECT_TRUE(WEXClient::GenerateKUID(KUID(1, 1)).IsNull());
    EXPECT_FALSE(WEXClient::CreateAsset(KUID::kNull, true, "Refused").IsValid());
    TDBContainerTag::SetInt(group, Kiv::PString("user-id"), 12345);
    ASSERT_TRUE(WEXClient::WriteSettings("database", group));

    // A null KUID gets a new one; its folder's config.txt names it, so the commit finds it.
    WEXAssetHandle created = WEXClient::CreateAsset(KUID::kNull, true, "Consist One");
    ASSERT_TRUE(created.IsValid());
    const KUID fresh = created.GetAsset();
    EXPECT_EQ(fresh, KUID(12345, 4));
    Kiv::String folder;
    Kiv::PString name;
    ASSERT_TRUE(WEXClient::GetHandlePath(created, folder, &name));
    EXPECT_EQ(name.view(), "Consist One");
    TDBTagRef config;
    ASSERT_TRUE(ReadConfigFile({}, std::string(folder.view()) + "/config.txt", config));
    EXPECT_EQ(TDBContainerTag::GetKUID(config, Kiv::PString("kuid"), KUID::kNull), fresh);
    TDBContainerTag::SetString(config, Kiv::PString("kind"), Kiv::PString("consist"));
    ASSERT_TRUE(WriteConfigFile(config, {}, std::string(folder.view()) + "/config.txt"));
    EXPECT_FALSE(WEXAssetIsInstalled(fresh));
    ResultsLog log;
    bool first = false;
    ASSERT_TRUE(WEXClient::CommitAsset(created, 0, &first, &log))
        << ::testing::PrintToString(Lines(log));
    EXPECT_TRUE(first);
    EXPECT_TRUE(WEXAssetIsInstalled(fresh));
    EXPECT_TRUE(std::filesystem::exists(Local(fresh) + "/config.txt"));

    // A KUID in use cannot be created again; one created and reverted is gone.
    EXPECT_FALSE(WEXClient::CreateAsset(fresh, true, "Again").IsValid());
    WEXAssetHandle temp = WEXClient::CreateAsset(KUID(12345, 900), false, "Temporary");
    ASSERT_TRUE(temp.IsValid());
    EXPECT_TRUE(WEXClient::RevertAsset(temp, &log));
    WEXAssetInfo info;
    ASSERT_TRUE(WEXClient::GetAssetInfo(KUID(12345, 900), info, kWEXInfoEverything));
    EXPECT_FALSE(info.IsKnown());
    EXPECT_FALSE(std::filesystem::exists(Root() + "/editing/kuid 12345 900"));
}

TEST_F(HandlersTest, SettingsGroups) {
    TDBTagRef tree;
    ASSERT_TRUE(WEXClient::ReadSettings("internet", tree));
    EXPECT_EQ(TDBContainerTag::CountChildren(tree), 0u);
    EXPECT_EQ(WEXGetInterfaceLanguage().view(), "");

    TDBContainerTag::SetString(tree, Kiv::PString("language"), Kiv::PString("de"));
    ASSERT_TRUE(WEXClient::WriteSettings("internet", tree));
    ASSERT_TRUE(WEXStoreOnlineLogin("driver", "se cret"));
    EXPECT_EQ(WEXGetInterfaceLanguage().view(), "de");
    EXPECT_EQ(WEXClient::GetSetting("internet", "username").view(), "driver");
    EXPECT_EQ(WEXClient::GetSetting("Internet", "password").view(), "se cret");
    EXPECT_EQ(WEXClient::GetSetting("internet", "missing").view(), "");
    EXPECT_TRUE(std::filesystem::exists(Root() + "/settings/internet.txt"));
    // The password is in it: the file and its folder, the index and the log are the user's
    // alone; also a file an older daemon left open to others, once the daemon starts again.
    auto mode = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 07777u;
    };
    for (const char* file : {"/settings/internet.txt", "/assets.wbi", "/wexdaemon.log"})
        EXPECT_EQ(mode(Root() + file), 0600u) << file;
    EXPECT_EQ(mode(Root() + "/settings"), 0700u);
    ::chmod((Root() + "/settings/internet.txt").c_str(), 0644);
    ::chmod((Root() + "/settings").c_str(), 0755);
    Restart();
    EXPECT_EQ(mode(Root() + "/settings/internet.txt"), 0600u);
    EXPECT_EQ(mode(Root() + "/settings"), 0700u);
    // A group changed by hand is read afresh.
    std::ofstream(Root() + "/settings/internet.txt") << "language \"fr-CA\"\n";
    EXPECT_EQ(WEXGetInterfaceLanguage().view(), "fr-CA");
    EXPECT_EQ(WEXClient::GetSetting("internet", "username").view(), "");

    // Names that could reach outside the settings folder name no group.
    TDBTagRef stray;
    TDBContainerTag::SetString(stray, Kiv::PString("x"), Kiv::PString("y"));
    for (const char* bad : {"../escape", "", ".hidden", "a/b"}) {
        SCOPED_TRACE(bad);
        TDBTagRef read;
        EXPECT_FALSE(WEXClient::ReadSettings(bad, read));
        WEXClient::WriteSettings(bad, stray);
        EXPECT_EQ(WEXClient::GetSetting(bad, "x").view(), "");
    }
    EXPECT_FALSE(std::filesystem::exists(Root() + "/escape.txt"));

    // A group whose file cannot be read fails the read, so the login is not stored over it.
    std::string deep;
    for (int i = 0; i < 1100; ++i)
        deep += "a {\n";
    std::ofstream(Root() + "/settings/broken.txt") << deep;
    TDBTagRef read;
    EXPECT_FALSE(WEXClient::ReadSettings("broken", read));
}

// Filter trees for the search tests.
std::unique_ptr<WEXFilterElement> Text(uint32_t code, const char* value) {
    return std::make_unique<WEXFilterElementString>(code, Kiv::PString(value));
}
std::unique_ptr<WEXFilterElement> Flag(uint32_t code) {
    return std::make_unique<WEXFilterElementBool>(code);
}
std::unique_ptr<WEXFilterElementGroup> Group(std::unique_ptr<WEXFilterElement> a = nullptr,
                                             std::unique_ptr<WEXFilterElement> b = nullptr) {
    auto group = std::make_unique<WEXFilterElementGroup>(std::move(a));
    if (b) group->Add(std::move(b));
    return group;
}
std::unique_ptr<WEXFilterElementGroup> Not(std::unique_ptr<WEXFilterElement> child) {
    auto group = Group(std::move(child));
    group->SetNegated(true);
    return group;
}
std::unique_ptr<WEXFilterElement> Rating(int32_t low, int32_t high) {
    auto range = std::make_unique<WEXFilterElementInt>();
    range->SetKeywordCode(kWEXLocalRating);
    range->SetRange(low, high, true, true);
    return range;
}

TEST_F(HandlersTest, KeywordsFavouritesAndTheSearchSurviveARestart) {
    const KUID loco(4242, 20);
    const KUID oldShed(4242, 40);
    const KUID firstVersion(4242, 30, 1);
    const KUID secondVersion(4242, 30, 2);
    const KUID needy(4242, 50);
    Config(loco)
        .Text("username", "Express Loco")
        .Text("kind", "traincar")
        .Text("category-class", "AA")
        .Text("category-era", "1950s")
        .WriteTo(Source("loco"));
    Config(kShed)
        .Text("username", "Goods Shed")
        .Text("kind", "scenery")
        .Text("category-class", "BI")
        .Table("obsolete-table", {oldShed})
        .WriteTo(Source("shed"));
    Config(oldShed).Text("username", "Old Shed").Text("kind", "scenery").WriteTo(Source("old"));
    Config(firstVersion).Text("username", "Signal box").WriteTo(Source("v1"));
    Config(secondVersion).Text("username", "Signal box").WriteTo(Source("v2"));
    Config(needy)
        .Text("username", "Needy")
        .Table("kuid-table", {kShed, KUID(9999, 1)})
        .WriteTo(Source("needy"));
    for (const char* name : {"loco", "shed", "old", "v1", "v2", "needy"})
        Install(Source(name));
    WEXClient::ImportKeywords(loco, "Red, Express");
    WEXClient::SetAssetFavorite(kShed, true);

    struct Case {
        const char* what;
        std::function<std::unique_ptr<WEXFilterElement>()> tree;
        std::vector<KUID> found;
    };
    const std::vector<KUID> all{kShed, loco, firstVersion, secondVersion, oldShed, needy};
    const Case cases[] = {
        {"everything", [] { return Group(); }, all},
        {"category codes of kind and class",
         [] { return Text(kWEXCategoryList, "TR;LOC"); },
         {loco}},
        {"local but not a train",
         [] { return Group(Flag(kWEXLocal), Not(Text(kWEXCategoryList, "TR"))); },
         {kShed, firstVersion, secondVersion, oldShed, needy}},
        {"a keyword", [] { return Text(kWEXKeywordList, "express"); }, {loco}},
        {"an era in any case", [] { return Text(kWEXEraList, "1950S"); }, {loco}},
        {"part of a name", [] { return Text(kWEXAssetName, "shed"); }, {kShed, oldShed}},
        {"a whole name", [] { return Text(kWEXAssetName, "\"goods shed\""); }, {kShed}},
        {"made obsolete", [] { return Flag(kWEXObsolete); }, {oldShed}},
        {"not the newest version", [] { return Not(Flag(kWEXUpToDate)); }, {firstVersion}},
        {"missing dependencies", [] { return Flag(kWEXHasMissingDependencies); }, {needy}},
        {"from the content service", [] { return Flag(kWEXVendrix); }, {}},
        {"built in", [] { return Flag(kWEXBuiltin); }, {}},
        {"favourites", [] { return Rating(5, 5); }, {kShed}},
    };
    for (int run = 0; run < 2; ++run) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (run == 0 ? "" : " after a restart"));
            EXPECT_EQ(Search(*c.tree()), c.found);
        }
        EXPECT_EQ(WEXGetAssetKeywords(loco).view(), "Red, Express");
        if (run == 0) Restart();
    }
}

TEST_F(HandlersTest, ReadingRequestsAnswerFromTheStore) {
    const KUID platform(777, 60);
    const KUID ramp(777, 62, 3);
    const KUID lamp(777, 63);
    Config(platform)
        .Text("username", "Platform")
        .Text("description", "A long platform.")
        .Table("kuid-table", {KUID(777, 62, 3), KUID(9999, 2)})
        .Table("obsolete-table", {KUID(777, 61)})
        .WriteTo(Source("platform"));
    Config(ramp).Text("username", "Ramp").Table("kuid-table", {lamp}).WriteTo(Source("ramp"));
    Config(lamp).Text("username", "Lamp").WriteTo(Source("lamp"));
    for (const char* name : {"platform", "ramp", "lamp"})
        Install(Source(name));
    TDBTagRef authors;
    TDBContainerTag::SetString(authors, Kiv::PString("777"), Kiv::PString("Alice"));
    ASSERT_TRUE(WEXClient::WriteSettings("authors", authors));

    TDBTagRef config = WEXClient::GetAssetConfig(platform);
    EXPECT_EQ(TDBContainerTag::GetString(config, Kiv::PString("username")).view(), "Platform");
    EXPECT_FALSE(WEXClient::GetAssetConfig(KUID(1, 2)));
    EXPECT_EQ(WEXClient::GetAssetDescription(platform).view(), "A long platform.");
    EXPECT_EQ(WEXClient::GetAssetDescription(KUID(1, 2)).view(), "");

    Kiv::String path;
    ASSERT_TRUE(WEXClient::ResolveAssetPath(platform, false, path));
    EXPECT_EQ(std::string(path.view()), Local(platform));

    // 26 answers only the exact KUID; 27 the newest installed version.
    EXPECT_EQ(WEXClient::ResolveAssetId(ramp), ramp);
    EXPECT_TRUE(WEXClient::ResolveAssetId(KUID(777, 62, 2)).IsNull());
    EXPECT_EQ(WEXClient::GetUpdatedAsset(KUID(777, 62, 1)), ramp);
    // Neither installed nor listed: the KUID asked about.
    EXPECT_EQ(WEXClient::GetUpdatedAsset(KUID(1, 2)), KUID(1, 2));

    uint32_t status = 7;
    ASSERT_TRUE(WEXClient::GetThumbnailPath(platform, 0, path, status));
    EXPECT_EQ(path.view(), "");
    EXPECT_EQ(status, 0u);

    // Dependencies: its own, or with the option also what those need in turn.
    KUIDBlockList list;
    ASSERT_TRUE(WEXClient::GetDependencyList(0, platform, list));
    EXPECT_EQ(ToVector(list), (std::vector<KUID>{ramp, KUID(9999, 2)}));
    ASSERT_TRUE(WEXClient::GetDependencyList(1, platform, list));
    EXPECT_EQ(ToVector(list), (std::vector<KUID>{ramp, KUID(9999, 2), lamp}));
    ASSERT_TRUE(WEXClient::GetObsoletes(platform, list));
    EXPECT_EQ(ToVector(list), (std::vector<KUID>{KUID(777, 61)}));
    ASSERT_TRUE(WEXClient::GetDependencyList(0, KUID(1, 2), list));
    EXPECT_EQ(ToVector(list), std::vector<KUID>{});

    // Which content-service entries are needed: a newest version not installed here. The count
    // claims more entries than the payload holds; only those there are answered.
    WEXPayload offer("test offer");
    offer.WriteU32(10);
    for (const KUID& latest : {ramp, KUID(777, 62, 4), KUID::kNull, KUID(7, 7)}) {
        offer.WriteKUID(KUID(777, 62));
        offer.WriteKUID(latest);
        offer.WriteU32(1000);
    }
    TBuffer reply;
    ASSERT_TRUE(WEXTransact(kWEXRequestSelectDownloads, offer, reply));
    uint32_t count = 0;
    uint32_t first = 0;
    uint32_t second = 0;
    reply.ReadU32(count);
    reply.ReadU32(first);
    reply.ReadU32(second);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 3u);

    WEXAuthorRecord author = WEXClient::GetAuthorRecord(777);
    EXPECT_EQ(author.value, 3);
    EXPECT_EQ(author.name.view(), "Alice");
    WEXAssetInfo info;
    ASSERT_TRUE(WEXClient::GetAssetInfo(lamp, info, kWEXInfoEverything));
    EXPECT_EQ(info.authorName.view(), "Alice");
    EXPECT_EQ(WEXClient::ListInstalledBuilds().view(), "49922");
}

}  // namespace
