// Every multi-step change of the asset store, cut off by SIGKILL at each of its steps in a
// child process: the next start finds the asset wholly as it was or wholly changed, never
// without its folder, and nothing half-made left behind.
#include <signal.h>

#include <cstring>
#include <filesystem>

#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/crash_point.h"
#include "services/wexdaemon/store_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using storetest::Entries;
using storetest::FolderFiles;
using storetest::MakeAssetFolder;
using Files = std::map<std::string, std::string>;

const KUID kAsset(5, 6);

// The point the child dies at, and how many times it must be passed first.
const char* gCrashAt = nullptr;
int gCrashAfter = 0;

void KillAtPoint(const char* point) {
    if (gCrashAt != nullptr && std::strcmp(point, gCrashAt) == 0 && gCrashAfter-- == 0)
        ::raise(SIGKILL);
}

enum class Op { kInstallNew, kReinstall, kCommit, kDelete, kOpen, kRevert, kCreate };

struct Case {
    Op op;
    const char* point;
    int after;                // passes of the point that survive
    bool noExchange = false;  // on a file system that cannot exchange two folders
};

std::string Describe(const Case& c) {
    static const char* ops[] = {"install-new", "reinstall", "commit", "delete",
                                "open",        "revert",    "create"};
    return std::string(ops[static_cast<int>(c.op)]) + " killed at " + c.point + "#" +
           std::to_string(c.after) + (c.noExchange ? " without exchange" : "");
}

void PrintTo(const Case& c, std::ostream* out) {
    *out << Describe(c);
}

class StoreCrashTest : public ::testing::TestWithParam<Case> {
protected:
    StoreCrashTest() {
        paths_.root = dir_ / "UserData";
        wexd::SetExchangeUnsupported(GetParam().noExchange);
    }
    ~StoreCrashTest() override { wexd::SetExchangeUnsupported(false); }

    std::unique_ptr<wexd::AssetStore> OpenStore() {
        auto store = std::make_unique<wexd::AssetStore>(paths_);
        std::string error;
        EXPECT_TRUE(store->Open(error)) << error;
        return store;
    }
    std::string Local() { return paths_.Local() + "/kuid 5 6"; }
    std::string Editing() { return paths_.Editing() + "/kuid 5 6"; }
    std::string Source(const std::string& version) {
        std::string folder = dir_ / ("src/" + version);
        MakeAssetFolder(folder, kAsset, version,
                        {{"version.txt", version}, {"data/" + version + ".bin", version}});
        return folder;
    }
    // Every backed-up folder's files.
    std::vector<Files> Backups() {
        std::vector<Files> out;
        for (const std::string& day : Entries(paths_.Backups()))
            for (const std::string& name : Entries(paths_.Backups() + "/" + day))
                out.push_back(FolderFiles(paths_.Backups() + "/" + day + "/" + name));
        return out;
    }

    testsupport::TempDir dir_;
    wexd::DataPaths paths_;
};

TEST_P(StoreCrashTest, ChangeIsWhollyDoneOrWhollyUndone) {
    const Case& c = GetParam();
    SCOPED_TRACE(Describe(c));
    std::string oldSource = Source("old");
    std::string newSource = Source("new");
    Files oldFiles = FolderFiles(oldSource);
    Files newFiles = FolderFiles(newSource);
    Files edited;
    uint64_t handle = 0;

    // The state before the change, made by a store that then closes.
    {
        auto store = OpenStore();
        KUID installed;
        if (c.op != Op::kInstallNew && c.op != Op::kCreate) {
            ASSERT_TRUE(store->InstallFolder(oldSource, installed).Ok());
        }
        if (c.op == Op::kCommit || c.op == Op::kRevert) {
            std::string folder;
            ASSERT_TRUE(store->OpenForEdit(kAsset, handle, folder).Ok());
            std::ofstream(folder + "/version.txt") << "edited";
            std::filesystem::remove(folder + "/data/old.bin");
            edited = FolderFiles(folder);
        }
        // Handles do not outlive a store: the child opens the asset again for its own.
    }

    testsupport::ChildResult child = testsupport::RunInChild([&] {
        auto store = std::make_unique<wexd::AssetStore>(paths_);
        std::string error;
        if (!store->Open(error)) ::_exit(3);
        uint64_t h = 0;
        std::string folder;
        if ((c.op == Op::kCommit || c.op == Op::kRevert) &&
            !store->OpenForEdit(kAsset, h, folder).Ok())
            ::_exit(4);
        gCrashAt = c.point;
        gCrashAfter = c.after;
        wexd::SetCrashHook(KillAtPoint);
        KUID installed;
        switch (c.op) {
            case Op::kInstallNew:
            case Op::kReinstall:
                store->InstallFolder(newSource, installed);
                break;
            case Op::kCommit:
                store->Commit(h);
                break;
            case Op::kDelete:
                store->DeleteAsset(kAsset);
                break;
            case Op::kOpen:
                store->OpenForEdit(kAsset, h, folder);
                break;
            case Op::kRevert:
                store->Revert(h);
                break;
            case Op::kCreate:
                store->CreateAsset(kAsset, "created", h, folder);
                break;
        }
        ::_exit(0);  // the point was never reached
    });
    ASSERT_TRUE(child.KilledBy(SIGKILL)) << "status " << child.status << "\n" << child.out;

    auto store = OpenStore();
    std::optional<wexd::AssetRecord> record = store->Find(kAsset);
    Files local = FolderFiles(Local());
    EXPECT_EQ(Entries(paths_.Local() + "/.wexstage"), std::vector<std::string>{});
    std::vector<std::string> expected{".wexstage"};
    if (!local.empty()) expected.push_back("kuid 5 6");
    EXPECT_EQ(Entries(paths_.Local()), expected)
        << "no temporary or moved-aside folder is left in local/";
    if (c.op != Op::kCreate) {
        EXPECT_EQ(record.has_value(), !local.empty()) << "the index agrees with the folders";
    }
    switch (c.op) {
        case Op::kInstallNew:
            EXPECT_TRUE(local.empty() || local == newFiles);
            break;
        case Op::kReinstall:
            ASSERT_TRUE(local == oldFiles || local == newFiles);
            ASSERT_TRUE(record);
            EXPECT_EQ(record->config.name, local == oldFiles ? "old" : "new");
            if (local == newFiles) {
                EXPECT_EQ(Backups(), std::vector<Files>{oldFiles});
            }
            break;
        case Op::kCommit:
            ASSERT_TRUE(local == oldFiles || local == edited);
            ASSERT_TRUE(record);
            if (local == edited) {
                // What the commit taught the index survives the cut too.
                EXPECT_TRUE(record->statusA & wexd::kStatusALocallyModified);
                EXPECT_GT(record->modifiedAt, 0);
                EXPECT_FALSE(record->openForEdit);
                EXPECT_FALSE(std::filesystem::exists(Editing()));
                EXPECT_EQ(Backups(), std::vector<Files>{oldFiles});
            } else {
                EXPECT_FALSE(record->statusA & wexd::kStatusALocallyModified);
                EXPECT_TRUE(record->openForEdit);
                EXPECT_EQ(FolderFiles(Editing()), edited);
            }
            break;
        case Op::kDelete:
            if (local.empty()) {
                EXPECT_EQ(Backups(), std::vector<Files>{oldFiles});
            } else {
                EXPECT_EQ(local, oldFiles);
                EXPECT_EQ(Backups(), std::vector<Files>{});
            }
            break;
        case Op::kOpen:
            EXPECT_EQ(local, oldFiles);
            ASSERT_TRUE(record);
            if (record->openForEdit) {
                EXPECT_EQ(FolderFiles(Editing()), oldFiles);
            }
            EXPECT_EQ(Entries(paths_.Editing()).size(), record->openForEdit ? 1u : 0u);
            break;
        case Op::kCreate:
            // Nothing at all, or the new asset open for edit with its config.
            EXPECT_TRUE(local.empty());
            EXPECT_EQ(Entries(paths_.Editing()).size(), record ? 1u : 0u);
            if (record) {
                EXPECT_TRUE(record->openForEdit);
                EXPECT_EQ(record->config.name, "created");
            }
            break;
        case Op::kRevert:
            EXPECT_EQ(local, oldFiles);
            ASSERT_TRUE(record);
            if (record->openForEdit) {
                EXPECT_EQ(FolderFiles(Editing()), edited);
            }
            EXPECT_EQ(Entries(paths_.Editing()).size(), record->openForEdit ? 1u : 0u);
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Points, StoreCrashTest,
    ::testing::Values(
        Case{Op::kInstallNew, "copy.file", 1}, Case{Op::kInstallNew, "install.copied", 0},
        Case{Op::kInstallNew, "change.placed", 0}, Case{Op::kInstallNew, "change.indexed", 0},
        Case{Op::kReinstall, "copy.file", 0}, Case{Op::kReinstall, "copy.file", 2},
        Case{Op::kReinstall, "install.copied", 0}, Case{Op::kReinstall, "change.intent", 0},
        Case{Op::kReinstall, "change.exchanged", 0}, Case{Op::kReinstall, "change.placed", 0},
        Case{Op::kReinstall, "change.backed-up", 0}, Case{Op::kReinstall, "change.indexed", 0},
        Case{Op::kCommit, "change.intent", 0}, Case{Op::kCommit, "change.staged", 0},
        Case{Op::kCommit, "change.exchanged", 0}, Case{Op::kCommit, "change.placed", 0},
        Case{Op::kCommit, "change.backed-up", 0}, Case{Op::kCommit, "change.indexed", 0},
        Case{Op::kDelete, "delete.moved", 0}, Case{Op::kOpen, "copy.file", 1},
        Case{Op::kOpen, "edit.copied", 0}, Case{Op::kRevert, "revert.moved", 0},
        Case{Op::kCreate, "create.made", 0}, Case{Op::kCreate, "create.placed", 0},
        // The same changes where the installed folder must be moved aside first.
        Case{Op::kReinstall, "change.intent", 0, true},
        Case{Op::kReinstall, "change.moved-aside", 0, true},
        Case{Op::kReinstall, "change.placed", 0, true},
        Case{Op::kReinstall, "change.backed-up", 0, true},
        Case{Op::kReinstall, "change.indexed", 0, true},
        Case{Op::kCommit, "change.staged", 0, true},
        Case{Op::kCommit, "change.moved-aside", 0, true},
        Case{Op::kCommit, "change.placed", 0, true}, Case{Op::kCommit, "change.backed-up", 0, true},
        Case{Op::kCommit, "change.indexed", 0, true}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name = Describe(info.param);
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

}  // namespace
