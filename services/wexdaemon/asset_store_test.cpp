#include "services/wexdaemon/asset_store.h"

#include <signal.h>

#include <cstring>
#include <ctime>
#include <filesystem>

#include "configdata/soup_file.h"
#include "services/wexdaemon/crash_point.h"
#include "services/wexdaemon/store_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using storetest::Entries;
using storetest::FolderFiles;
using storetest::MakeAssetFolder;
using wexd::AssetStore;
using wexd::StoreStatus;

const KUID kAsset(5, 6);
const char* kFolder = "kuid 5 6";

class AssetStoreTest : public ::testing::Test {
protected:
    AssetStoreTest() { paths_.root = dir_ / "UserData"; }

    std::unique_ptr<AssetStore> OpenStore() {
        auto store = std::make_unique<AssetStore>(paths_);
        std::string error;
        EXPECT_TRUE(store->Open(error)) << error;
        return store;
    }
    // A source folder of the asset with one file telling its version.
    std::string Source(const std::string& name, const std::string& version,
                       const KUID& kuid = kAsset) {
        std::string folder = dir_ / ("src/" + name);
        MakeAssetFolder(folder, kuid, "Asset " + version,
                        {{"version.txt", version}, {"mesh/" + version + ".im", version}});
        return folder;
    }
    std::string Local(const std::string& name = kFolder) { return paths_.Local() + "/" + name; }
    // Every backed-up folder of the asset, by its files.
    std::vector<std::map<std::string, std::string>> Backups() {
        std::vector<std::map<std::string, std::string>> out;
        for (const std::string& day : Entries(paths_.Backups()))
            for (const std::string& name : Entries(paths_.Backups() + "/" + day))
                out.push_back(FolderFiles(paths_.Backups() + "/" + day + "/" + name));
        return out;
    }
    wexd::IndexContents Index() {
        wexd::IndexContents index;
        std::string why;
        EXPECT_EQ(wexd::ReadIndexFile(paths_.Database(), index, why), wexd::IndexLoad::kLoaded)
            << why;
        return index;
    }

    testsupport::TempDir dir_;
    wexd::DataPaths paths_;
};

TEST_F(AssetStoreTest, InstallReplacesWholeFolderAndKeepsTheOldOneInBackups) {
    auto store = OpenStore();
    std::string v1 = Source("v1", "one");
    std::string v2 = Source("v2", "two");
    KUID installed;
    ASSERT_TRUE(store->InstallFolder(v1, installed).Ok());
    EXPECT_EQ(installed, kAsset);
    EXPECT_EQ(FolderFiles(Local()), FolderFiles(v1));
    ASSERT_TRUE(store->Find(kAsset));
    EXPECT_EQ(store->Find(kAsset)->config.name, "Asset one");

    int64_t firstInstalled = store->Find(kAsset)->installedAt;
    EXPECT_GT(firstInstalled, 0);
    ASSERT_TRUE(store->InstallFolder(v2, installed).Ok());
    // A reinstall keeps when the asset first came and notes the change.
    EXPECT_EQ(store->Find(kAsset)->installedAt, firstInstalled);
    EXPECT_GE(store->Find(kAsset)->modifiedAt, firstInstalled);
    // Wholly the new folder: the old version's mesh file is not left behind in it.
    EXPECT_EQ(FolderFiles(Local()), FolderFiles(v2));
    ASSERT_EQ(Backups().size(), 1u);
    EXPECT_EQ(Backups()[0], FolderFiles(v1));
    EXPECT_EQ(Entries(paths_.Local() + "/.wexstage"), std::vector<std::string>{});
    // The index on disk already knows.
    EXPECT_EQ(Index().records.at(kAsset).config.name, "Asset two");
}

TEST_F(AssetStoreTest, TheTextConfigWinsOverTheBinaryOne) {
    auto store = OpenStore();
    // A folder whose binary config is stale: its text config names it.
    std::string folder = dir_ / "src/both";
    MakeAssetFolder(folder, KUID(9, 9), "Stale binary");
    std::ofstream(folder + "/config.txt") << "kuid <kuid:5:6>\nusername \"From text\"\n";
    KUID installed;
    ASSERT_TRUE(store->InstallFolder(folder, installed).Ok());
    EXPECT_EQ(installed, kAsset);
    EXPECT_EQ(store->Find(kAsset)->config.name, "From text");
}

TEST_F(AssetStoreTest, InstallRefusesFoldersWithoutAUsableConfig) {
    auto store = OpenStore();
    std::string noConfig = dir_ / "src/none";
    std::filesystem::create_directories(noConfig);
    std::string noKuid = dir_ / "src/nokuid";
    MakeAssetFolder(noKuid, KUID::kNull, "Nameless");
    std::string badText = dir_ / "src/text";
    std::filesystem::create_directories(badText);
    std::ofstream(badText + "/config.txt") << "username \"no kuid here\"\n";
    struct Case {
        std::string folder;
        const char* message;
    };
    const Case cases[] = {{noConfig, "no config.txt or config.chump"},
                          {noKuid, "names no usable kuid"},
                          {badText, "names no usable kuid"},
                          {dir_ / "src/missing", "no config"}};
    for (const Case& c : cases) {
        KUID installed(1, 1);
        wexd::StoreResult r = store->InstallFolder(c.folder, installed);
        EXPECT_EQ(r.status, StoreStatus::kBadAsset) << c.folder;
        EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
        EXPECT_TRUE(installed.IsNull());
    }
    EXPECT_EQ(Entries(paths_.Local()), std::vector<std::string>{".wexstage"});
    EXPECT_EQ(Entries(paths_.Local() + "/.wexstage"), std::vector<std::string>{});
}

TEST_F(AssetStoreTest, EditingSharesOneCopyUntilCommitOrRevert) {
    auto store = OpenStore();
    std::string v1 = Source("v1", "one");
    KUID installed;
    ASSERT_TRUE(store->InstallFolder(v1, installed).Ok());

    uint64_t first = 0;
    uint64_t second = 0;
    std::string folderA;
    std::string folderB;
    ASSERT_TRUE(store->OpenForEdit(kAsset, first, folderA).Ok());
    ASSERT_TRUE(store->OpenForEdit(kAsset, second, folderB).Ok());
    EXPECT_NE(first, second);
    EXPECT_EQ(folderA, folderB);
    EXPECT_EQ(FolderFiles(folderA), FolderFiles(v1));
    EXPECT_TRUE(Index().records.at(kAsset).openForEdit);
    EXPECT_EQ(store->DeleteAsset(kAsset).status, StoreStatus::kOpenForEdit);

    std::ofstream(folderA + "/version.txt") << "edited";
    std::filesystem::remove(folderA + "/mesh/one.im");
    auto edited = FolderFiles(folderA);
    ASSERT_TRUE(store->CloseHandle(first).Ok());
    EXPECT_EQ(store->Commit(first).status, StoreStatus::kNotFound);
    ASSERT_TRUE(store->Commit(second).Ok());
    EXPECT_EQ(FolderFiles(Local()), edited);
    EXPECT_FALSE(std::filesystem::exists(folderA));
    EXPECT_FALSE(store->Find(kAsset)->openForEdit);
    EXPECT_EQ(store->Commit(second).status, StoreStatus::kNotFound);
    ASSERT_EQ(Backups().size(), 1u);
    EXPECT_EQ(Backups()[0], FolderFiles(v1));

    // Revert throws the copy away and leaves the installed folder as it was.
    uint64_t third = 0;
    ASSERT_TRUE(store->OpenForEdit(kAsset, third, folderA).Ok());
    std::ofstream(folderA + "/version.txt") << "discarded";
    ASSERT_TRUE(store->Revert(third).Ok());
    EXPECT_EQ(FolderFiles(Local()), edited);
    EXPECT_EQ(Entries(paths_.Editing()), std::vector<std::string>{});
    EXPECT_FALSE(Index().records.at(kAsset).openForEdit);
    EXPECT_EQ(store->Revert(third).status, StoreStatus::kNotFound);
}

TEST_F(AssetStoreTest, AnEditOutlivesItsHandlesButAnUnchangedCopyDoesNotStopADelete) {
    auto store = OpenStore();
    KUID installed;
    ASSERT_TRUE(store->InstallFolder(Source("v1", "one"), installed).Ok());
    uint64_t a = 0;
    uint64_t b = 0;
    std::string folder;
    ASSERT_TRUE(store->OpenForEdit(kAsset, a, folder).Ok());
    ASSERT_TRUE(store->OpenForEdit(kAsset, b, folder).Ok());
    ASSERT_TRUE(store->CloseHandle(a).Ok());
    ASSERT_TRUE(store->CloseHandle(b).Ok());
    // The user edits after the command that opened the asset has ended.
    EXPECT_TRUE(store->Find(kAsset)->openForEdit);
    EXPECT_TRUE(Index().records.at(kAsset).openForEdit);
    EXPECT_EQ(Entries(paths_.Editing()), std::vector<std::string>{"kuid 5 6"});

    // While a handle holds it, even an unchanged copy keeps the asset.
    ASSERT_TRUE(store->OpenForEdit(kAsset, a, folder).Ok());
    EXPECT_EQ(store->DeleteAsset(kAsset).status, StoreStatus::kOpenForEdit);
    ASSERT_TRUE(store->CloseHandle(a).Ok());
    // Nobody holds it and nobody changed it: the delete takes the copy with it.
    ASSERT_TRUE(store->DeleteAsset(kAsset).Ok());
    EXPECT_EQ(Entries(paths_.Editing()), std::vector<std::string>{});

    // A changed copy outlives its last handle and keeps the asset from being deleted.
    ASSERT_TRUE(store->InstallFolder(Source("v2", "two"), installed).Ok());
    ASSERT_TRUE(store->OpenForEdit(kAsset, a, folder).Ok());
    std::ofstream(folder + "/notes.txt") << "work in progress";
    ASSERT_TRUE(store->CloseHandle(a).Ok());
    EXPECT_TRUE(store->Find(kAsset)->openForEdit);
    EXPECT_EQ(store->DeleteAsset(kAsset).status, StoreStatus::kOpenForEdit);
    EXPECT_TRUE(std::filesystem::exists(folder + "/notes.txt"));
}

TEST_F(AssetStoreTest, CommitNeedsAConfigNamingTheAssetAndMarksItModified) {
    auto store = OpenStore();
    KUID installed;
    ASSERT_TRUE(store->InstallFolder(Source("v1", "one"), installed).Ok());
    EXPECT_FALSE(store->Find(kAsset)->statusA & wexd::kStatusALocallyModified);
    uint64_t handle = 0;
    std::string folder;
    ASSERT_TRUE(store->OpenForEdit(kAsset, handle, folder).Ok());
    auto before = FolderFiles(Local());

    // The copy's config names another asset, then none can be read: refused, nothing moved.
    MakeAssetFolder(folder, KUID(5, 7), "Someone else");
    wexd::StoreResult refused = store->Commit(handle);
    EXPECT_EQ(refused.status, StoreStatus::kBadAsset);
    EXPECT_NE(refused.message.find("<kuid:5:7>"), std::string::npos) << refused.message;
    std::filesystem::remove(folder + "/config.chump");
    EXPECT_EQ(store->Commit(handle).status, StoreStatus::kBadAsset);
    EXPECT_EQ(FolderFiles(Local()), before);
    EXPECT_TRUE(store->Find(kAsset)->openForEdit);

    MakeAssetFolder(folder, kAsset, "Edited");
    wexd::CommitInfo info;
    ASSERT_TRUE(store->Commit(handle, &info).Ok());
    EXPECT_FALSE(info.firstCommit);
    EXPECT_EQ(store->Find(kAsset)->config.name, "Edited");
    EXPECT_TRUE(store->Find(kAsset)->statusA & wexd::kStatusALocallyModified);
    // A new install brings the asset as it came.
    ASSERT_TRUE(store->InstallFolder(Source("v2", "two"), installed).Ok());
    EXPECT_FALSE(store->Find(kAsset)->statusA & wexd::kStatusALocallyModified);
}

TEST_F(AssetStoreTest, ACreatedAssetIsOnlyAnEditingCopyUntilItsFirstCommit) {
    KUID fresh(7, 70);
    uint64_t handle = 0;
    std::string folder;
    {
        auto store = OpenStore();
        ASSERT_TRUE(store->CreateAsset(fresh, "Fresh", handle, folder).Ok());
        EXPECT_EQ(folder, paths_.Editing() + "/kuid 7 70");
        EXPECT_EQ(store->Find(fresh)->config.name, "Fresh");
        EXPECT_EQ(store->CreateAsset(fresh, "Again", handle, folder).status, StoreStatus::kExists);
        EXPECT_EQ(store->DeleteAsset(fresh).status, StoreStatus::kOpenForEdit);
    }
    // A restart keeps it, open for edit and not installed.
    auto store = OpenStore();
    ASSERT_TRUE(store->Find(fresh));
    EXPECT_TRUE(store->Find(fresh)->openForEdit);
    EXPECT_FALSE(std::filesystem::exists(Local("kuid 7 70")));
    ASSERT_TRUE(store->OpenForEdit(fresh, handle, folder).Ok());
    // Its config is the text form, which its author edits.
    EXPECT_TRUE(std::filesystem::exists(folder + "/config.txt"));
    std::ofstream(folder + "/extra.txt") << "made while new";
    wexd::CommitInfo info;
    ASSERT_TRUE(store->Commit(handle, &info).Ok());
    EXPECT_TRUE(info.firstCommit);
    EXPECT_EQ(FolderFiles(Local("kuid 7 70")).count("extra.txt"), 1u);
    EXPECT_EQ(Backups().size(), 0u);

    // Reverting a new asset that was never committed leaves nothing of it.
    KUID other(7, 71);
    ASSERT_TRUE(store->CreateAsset(other, "Other", handle, folder).Ok());
    ASSERT_TRUE(store->Revert(handle).Ok());
    EXPECT_FALSE(store->Find(other));
    EXPECT_EQ(Entries(paths_.Editing()), std::vector<std::string>{});
    EXPECT_EQ(Index().records.count(other), 0u);
}

TEST_F(AssetStoreTest, DeleteMovesTheFolderToTheBackups) {
    auto store = OpenStore();
    std::string v1 = Source("v1", "one");
    KUID installed;
    ASSERT_TRUE(store->InstallFolder(v1, installed).Ok());
    ASSERT_TRUE(store->DeleteAsset(kAsset).Ok());
    EXPECT_FALSE(std::filesystem::exists(Local()));
    EXPECT_FALSE(store->Find(kAsset));
    EXPECT_EQ(Index().records.count(kAsset), 0u);
    ASSERT_EQ(Backups().size(), 1u);
    EXPECT_EQ(Backups()[0], FolderFiles(v1));
    EXPECT_EQ(store->DeleteAsset(kAsset).status, StoreStatus::kNotFound);
}

TEST_F(AssetStoreTest, DaemonOnlyDataAndCountersSurviveARestart) {
    std::string v1 = Source("v1", "one");
    uint64_t handle = 0;
    KUID generated;
    {
        auto store = OpenStore();
        KUID installed;
        ASSERT_TRUE(store->InstallFolder(v1, installed).Ok());
        // A batched change waits; a plain one is written by Flush; both by Close.
        ASSERT_TRUE(store->SetFavorite(kAsset, true, true).Ok());
        EXPECT_TRUE(store->BatchDue());
        EXPECT_FALSE(Index().records.at(kAsset).favorite);
        store->FlushBatched(true);
        EXPECT_TRUE(Index().records.at(kAsset).favorite);
        ASSERT_TRUE(store->SetKeywords(kAsset, "red brick", false).Ok());
        ASSERT_TRUE(store->Flush());
        EXPECT_EQ(Index().records.at(kAsset).keywords, "red brick");
        EXPECT_EQ(store->SetFavorite(KUID(9, 9), true, false).status, StoreStatus::kNotFound);
        std::string folder;
        ASSERT_TRUE(store->OpenForEdit(kAsset, handle, folder).Ok());
        std::ofstream(folder + "/version.txt") << "being edited";
        // Content id 6 of user 5 is installed, so the counter passes over it.
        for (int i = 0; i < 6; ++i)
            generated = store->GenerateKUID(5);
        EXPECT_EQ(generated, KUID(5, 7));
        store->Close();
    }
    auto store = OpenStore();
    wexd::AssetRecord record = *store->Find(kAsset);
    EXPECT_TRUE(record.favorite);
    EXPECT_EQ(record.keywords, "red brick");
    EXPECT_TRUE(record.openForEdit);
    EXPECT_EQ(store->GenerateKUID(5), KUID(5, 8));
    // Handles of an earlier run are gone; numbers are not handed out twice.
    EXPECT_FALSE(store->HandleAsset(handle));
    uint64_t next = 0;
    std::string folder;
    ASSERT_TRUE(store->OpenForEdit(kAsset, next, folder).Ok());
    EXPECT_GT(next, handle);
}

TEST_F(AssetStoreTest, StartUpAdoptsDropsAndCleans) {
    KUID kept(1, 1);
    KUID gone(2, 2);
    KUID stray(3, 3);
    {
        auto store = OpenStore();
        KUID installed;
        ASSERT_TRUE(store->InstallFolder(Source("kept", "k", kept), installed).Ok());
        ASSERT_TRUE(store->InstallFolder(Source("gone", "g", gone), installed).Ok());
        store->Close();
    }
    // Behind the daemon's back: one folder vanishes, one appears, half-made temporaries and an
    // editing copy are left, and a file that is no asset sits in local/.
    std::filesystem::remove_all(Local("kuid 2 2"));
    MakeAssetFolder(Local("kuid 3 3"), stray, "Stray");
    std::filesystem::create_directories(paths_.Local() + "/.wexstage/77-1-1/mesh");
    std::filesystem::create_directories(paths_.Editing() + "/.wextmp-9-1");
    std::filesystem::copy(Local("kuid 1 1"), paths_.Editing() + "/kuid 1 1",
                          std::filesystem::copy_options::recursive);
    std::ofstream(paths_.Editing() + "/kuid 1 1/version.txt") << "edited";
    std::ofstream(Local("readme.txt")) << "not an asset";

    auto store = OpenStore();
    const wexd::ReconcileReport& report = store->Report();
    EXPECT_EQ(report.adopted, 1u);
    EXPECT_EQ(report.dropped, 1u);
    EXPECT_EQ(report.removed, 2u);
    EXPECT_EQ(store->List(), (std::vector<KUID>{kept, stray}));
    EXPECT_EQ(store->Find(stray)->config.name, "Stray");
    EXPECT_TRUE(store->Find(kept)->openForEdit);
    EXPECT_EQ(Entries(paths_.Local() + "/.wexstage"), std::vector<std::string>{});
    EXPECT_EQ(Entries(paths_.Editing()), std::vector<std::string>{"kuid 1 1"});
    EXPECT_TRUE(std::filesystem::exists(Local("readme.txt")));
    EXPECT_EQ(Index().records.size(), 2u);

    // The editing copy vanishing closes the asset at the next start; a copy found beside an
    // installed folder opens it (the user may be editing it across a restart).
    store.reset();
    std::filesystem::remove_all(paths_.Editing() + "/kuid 1 1");
    std::filesystem::copy(Local("kuid 3 3"), paths_.Editing() + "/kuid 3 3",
                          std::filesystem::copy_options::recursive);
    store = OpenStore();
    EXPECT_FALSE(store->Find(kept)->openForEdit);
    EXPECT_TRUE(store->Find(stray)->openForEdit);
    EXPECT_EQ(Entries(paths_.Editing()), std::vector<std::string>{"kuid 3 3"});
    EXPECT_EQ(store->Report().adopted + store->Report().dropped, 0u);
}

TEST_F(AssetStoreTest, StartUpRemovesTheTemporaryFilesACutOffRunLeft) {
    MakeAssetFolder(Local("kuid 4 4"), KUID(4, 4), "Four");
    std::filesystem::create_directories(paths_.Settings());
    auto make = [](const std::string& path, bool old) {
        std::ofstream(path) << "";
        if (old)
            std::filesystem::last_write_time(
                path, std::filesystem::last_write_time(path) - std::chrono::hours(1));
    };
    // Removed: old twins in the data root, any twin in settings/.
    make(paths_.root + "/temp-abcdefgh1.tmp", true);
    make(paths_.Settings() + "/temp-abcdefgh2.tmp", false);
    // Kept: a fresh one in the data root (a client's probe may be in use), names of another
    // form, a folder of that name, and anything inside an asset.
    const std::vector<std::string> kept = {
        paths_.root + "/temp-abcdefgh3.tmp", paths_.root + "/temp-mine.tmp",
        paths_.Settings() + "/internet.txt", paths_.root + "/notes.tmp",
        Local("kuid 4 4") + "/temp-abcdefgh4.tmp"};
    make(kept[0], false);
    for (size_t i = 1; i < kept.size(); ++i)
        make(kept[i], true);
    std::filesystem::create_directories(paths_.root + "/temp-abcdefgh5.tmp");

    auto store = OpenStore();
    EXPECT_EQ(store->Report().removed, 2u);
    EXPECT_FALSE(std::filesystem::exists(paths_.root + "/temp-abcdefgh1.tmp"));
    EXPECT_FALSE(std::filesystem::exists(paths_.Settings() + "/temp-abcdefgh2.tmp"));
    for (const std::string& path : kept)
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
    EXPECT_TRUE(std::filesystem::is_directory(paths_.root + "/temp-abcdefgh5.tmp"));
}

TEST_F(AssetStoreTest, ARecoveryThatCannotFinishKeepsItsRecordAndTheOldFolder) {
    std::string v1 = Source("v1", "one");
    std::string v2 = Source("v2", "two");
    {
        auto store = OpenStore();
        KUID installed;
        ASSERT_TRUE(store->InstallFolder(v1, installed).Ok());
    }
    // A reinstall cut off right after the exchange: the old folder waits in the staging area
    // for the move to the backups.
    testsupport::ChildResult child = testsupport::RunInChild([&] {
        wexd::AssetStore store(paths_);
        std::string error;
        if (!store.Open(error)) ::_exit(3);
        wexd::SetCrashHook([](const char* point) {
            if (std::strcmp(point, "change.exchanged") == 0) ::raise(SIGKILL);
        });
        KUID installed;
        store.InstallFolder(v2, installed);
        ::_exit(0);
    });
    ASSERT_TRUE(child.KilledBy(SIGKILL)) << child.out;

    // Today's backups folder cannot be made (a file stands in its place), so the start-up
    // cannot finish the change: it must keep the record, and with it the old folder.
    std::string blocker = paths_.Backups() + "/" + wexd::TodaysBackupFolderName();
    std::ofstream(blocker) << "in the way";
    {
        auto store = OpenStore();
        EXPECT_EQ(FolderFiles(Local()), FolderFiles(v2));
        EXPECT_EQ(store->Find(kAsset)->config.name, "Asset two");
        std::vector<std::string> staged = Entries(paths_.Local() + "/.wexstage");
        ASSERT_EQ(staged.size(), 2u) << "the old folder and its change record";
        EXPECT_EQ(FolderFiles(paths_.Local() + "/.wexstage/" + staged[0]), FolderFiles(v1));
    }
    std::filesystem::remove(blocker);
    auto store = OpenStore();
    EXPECT_EQ(store->Report().recovered, 1u);
    EXPECT_EQ(Backups(), (std::vector<std::map<std::string, std::string>>{FolderFiles(v1)}));
    EXPECT_EQ(Entries(paths_.Local() + "/.wexstage"), std::vector<std::string>{});
}

TEST_F(AssetStoreTest, ACorruptIndexIsMovedAsideAndRebuilt) {
    MakeAssetFolder(Local("kuid 4 4"), KUID(4, 4), "Four");
    std::filesystem::create_directories(paths_.root);
    for (const std::string& junk : {std::string("ACS$ but not a soup"), std::string()}) {
        std::ofstream(paths_.Database(), std::ios::binary) << junk;
        auto store = OpenStore();
        EXPECT_TRUE(store->Report().indexRebuilt) << junk;
        EXPECT_EQ(store->Count(), 1u);
        EXPECT_EQ(Index().records.size(), 1u);
    }
    size_t aside = 0;
    for (const std::string& name : Entries(paths_.root))
        if (name.starts_with("assets.wbi.corrupt-")) ++aside;
    EXPECT_GE(aside, 1u);
}

TEST_F(AssetStoreTest, AnIndexOfTheOlderFormIsConvertedOnce) {
    MakeAssetFolder(Local("kuid 4 4"), KUID(4, 4), "Four");
    wexd::IndexContents old;
    wexd::AssetRecord four;
    four.kuid = KUID(4, 4);
    four.installed = true;
    four.favorite = true;
    four.keywords = "kept";
    old.records[four.kuid] = four;
    old.counters.nextContentId = 77;
    std::filesystem::create_directories(paths_.root);
    ASSERT_TRUE(WriteTagTreeBinaryFile(wexd::IndexToSoup(old), paths_.Database()));
    {
        auto store = OpenStore();
        EXPECT_FALSE(store->Report().indexRebuilt);
        // What only the daemon knew came along.
        EXPECT_TRUE(store->Find(KUID(4, 4))->favorite);
        EXPECT_EQ(store->Find(KUID(4, 4))->keywords, "kept");
        EXPECT_EQ(store->Counters().nextContentId, 77);
        EXPECT_EQ(wexd::ClassifyIndexFile(paths_.Database()), wexd::IndexFileKind::kDatabase);
        EXPECT_EQ(Index().records.at(KUID(4, 4)).keywords, "kept");
    }
    EXPECT_FALSE(std::filesystem::exists(paths_.DatabaseTwin()));
    auto store = OpenStore();
    EXPECT_EQ(store->Find(KUID(4, 4))->keywords, "kept");
    EXPECT_EQ(store->Report().adopted + store->Report().refreshed, 0u);
}

TEST_F(AssetStoreTest, ADamagedDatabaseIsMovedAsideWithItsJournalAndRebuilt) {
    for (int i = 0; i < 300; ++i)
        MakeAssetFolder(Local("kuid 4 " + std::to_string(i + 1)), KUID(4, i + 1), "Asset");
    {
        auto store = OpenStore();
        ASSERT_EQ(store->Count(), 300u);
        ASSERT_TRUE(store->SetKeywords(KUID(4, 1), "lost with the index", false).Ok());
        ASSERT_TRUE(store->Flush());
    }
    // Pages with rows are scribbled over, as a failing disk would.
    {
        std::fstream f(paths_.Database(), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096 * 2);
        std::string junk(8192, '\x5a');
        f.write(junk.data(), std::streamsize(junk.size()));
    }
    std::ofstream(paths_.Database() + "-wal") << "a journal of the damaged file";
    auto store = OpenStore();
    EXPECT_TRUE(store->Report().indexRebuilt);
    EXPECT_EQ(store->Count(), 300u);
    EXPECT_EQ(store->Find(KUID(4, 1))->keywords, "");
    EXPECT_EQ(Index().records.size(), 300u);
    size_t aside = 0;
    for (const std::string& name : Entries(paths_.root))
        if (name.starts_with("assets.wbi.corrupt-")) ++aside;
    EXPECT_GE(aside, 1u);
    // The old journal is never read into the new index.
    std::ifstream journal(paths_.Database() + "-wal", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(journal)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.find("a journal of the damaged file"), std::string::npos);
    // The folders are untouched.
    EXPECT_EQ(Entries(paths_.Local()).size(), 301u);
}

}  // namespace
