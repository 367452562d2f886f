// Editing through the real daemon: two clients on one asset share its editing copy and learn
// when the other committed or reverted it; a look through a handle leaves the asset free; and a
// daemon killed in the middle of a commit or an install leaves the asset wholly old or wholly
// new.
#include <filesystem>

#include "assetdb/asset_status.h"
#include "assetdb/request_ids.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_edit.h"
#include "foundation/tbuffer.h"
#include "services/wexdaemon/client_test_support.h"
#include "services/wexdaemon/request_table.h"
#include "services/wexdaemon/store_test_support.h"

namespace {

using clienttest::Config;
using clienttest::Lines;
using clienttest::Mentions;
using storetest::Entries;
using storetest::FolderFiles;
using Files = std::map<std::string, std::string>;

const KUID kShed(4242, 17);

// A second client: its own link to the daemon, spoken in the link's byte forms.
class OtherClient {
public:
    OtherClient(uint16_t port, const std::string& database) : link_(port) {
        EXPECT_TRUE(link_.Hello(database));
    }

    // Sends a request and reads its reply; report lines sent before it go into `log`.
    TBuffer& Ask(uint32_t id, TBuffer& payload, ResultsLog& log) {
        reply_.Reset();
        uint32_t transaction = ++transaction_;
        std::string bytes(reinterpret_cast<const char*>(payload.GetData()),
                          payload.GetDataLength());
        EXPECT_TRUE(link_.Send(wexdtest::FrameBytes(id, transaction, bytes)));
        while (std::optional<wexdtest::Record> r = link_.Next()) {
            TBuffer body;
            body.Write(r->bytes.data(), static_cast<uint32_t>(r->bytes.size()));
            body.Rewind();
            if (r->tag == wexd::kNoteTag && r->word == wexd::kNoteResultsLog) {
                uint32_t about = 0;
                body.ReadU32(about);
                EXPECT_EQ(about, transaction);
                ResultsLog::ReadFromBuffer(body, log);
            } else if (r->tag == wexd::kReplyTag && r->word == transaction) {
                reply_.Write(r->bytes.data(), static_cast<uint32_t>(r->bytes.size()));
                break;
            }
        }
        reply_.Rewind();
        return reply_;
    }

    // Request 30: the daemon's handle and the editing folder.
    uint64_t Open(const KUID& kuid, std::string& folder) {
        TBuffer payload;
        kuid.Write(payload);
        payload.WriteBool(false);
        ResultsLog log;
        TBuffer& reply = Ask(kWEXRequestOpenAssetForEdit, payload, log);
        uint64_t handle = 0;
        reply.ReadU64(handle);
        reply.ReadPString();
        reply.ReadString(folder);
        return handle;
    }
    // Requests 33 and 34: the first bool of the answer.
    bool Revert(uint64_t handle, ResultsLog& log) {
        TBuffer payload;
        payload.WriteU64(handle);
        bool done = false;
        Ask(kWEXRequestRevertAsset, payload, log).ReadBool(done);
        return done;
    }
    bool Commit(uint64_t handle, ResultsLog& log) {
        TBuffer payload;
        payload.WriteU64(handle);
        payload.WriteU32(0u);
        bool done = false;
        Ask(kWEXRequestCommitAsset, payload, log).ReadBool(done);
        return done;
    }
    void Close(uint64_t handle) {
        TBuffer payload;
        payload.WriteU64(handle);
        ResultsLog log;
        Ask(kWEXRequestCloseHandle, payload, log);
    }

private:
    wexdtest::ScriptedClient link_;
    TBuffer reply_;
    uint32_t transaction_ = 0;
};

class HandlersEditTest : public clienttest::DaemonClientTest {
protected:
    // The shed's source folder of that version: its name and a file telling the version.
    std::string Version(const std::string& version) {
        std::string folder = Source(version);
        Config(kShed)
            .Text("username", version)
            .WriteTo(folder, {{"version.txt", version}, {version + ".bin", version}});
        return folder;
    }
};

TEST_F(HandlersEditTest, TwoClientsShareOneCopyAndLearnWhenTheOtherFinished) {
    Install(Version("one"));
    OtherClient other(port_, Database());

    // Both open: one folder, two handles.
    Kiv::String folder;
    WEXAssetHandle mine = WEXClient::OpenAssetForEdit(kShed, false, 0, &folder);
    ASSERT_TRUE(mine.IsValid());
    std::string theirs;
    uint64_t theirHandle = other.Open(kShed, theirs);
    EXPECT_NE(theirHandle, mine.GetDaemonHandle());
    EXPECT_EQ(theirs, std::string(folder.view()));
    std::ofstream(theirs + "/version.txt") << "edited by the other";

    // This client commits what the other edited; the other's commit then fails and says why.
    ResultsLog log;
    ASSERT_TRUE(WEXClient::CommitAsset(mine, 0, nullptr, &log));
    EXPECT_EQ(wexdtest::ReadWhole(Local(kShed) + "/version.txt"), "edited by the other");
    ResultsLog theirLog;
    EXPECT_FALSE(other.Commit(theirHandle, theirLog));
    EXPECT_EQ(theirLog.GetErrorCount(), 1u);
    EXPECT_TRUE(Mentions(theirLog, "committed or reverted through another handle"))
        << ::testing::PrintToString(Lines(theirLog));

    // The other way round: the other reverts, and this client's commit fails.
    mine = WEXClient::OpenAssetForEdit(kShed, false, 0, &folder);
    theirHandle = other.Open(kShed, theirs);
    std::ofstream(theirs + "/version.txt") << "thrown away";
    EXPECT_TRUE(other.Revert(theirHandle, theirLog));
    ResultsLog late;
    EXPECT_FALSE(WEXClient::CommitAsset(mine, 0, nullptr, &late));
    EXPECT_TRUE(Mentions(late, "committed or reverted through another handle"))
        << ::testing::PrintToString(Lines(late));
    EXPECT_EQ(wexdtest::ReadWhole(Local(kShed) + "/version.txt"), "edited by the other");
    EXPECT_FALSE(std::filesystem::exists(theirs));
}

TEST_F(HandlersEditTest, ALookThroughAHandleLeavesTheAssetDeletable) {
    Install(Version("one"));
    OtherClient other(port_, Database());
    // A look (as validation takes one): open, read the folder, let go.
    {
        WEXAssetHandle look = WEXClient::OpenAssetForEdit(kShed, false);
        Kiv::String folder;
        ASSERT_TRUE(WEXClient::GetHandlePath(look, folder));
    }
    // Another client's look holds it until that client lets go too.
    WEXAssetHandle mine = WEXClient::OpenAssetForEdit(kShed, false);
    std::string theirs;
    uint64_t theirHandle = other.Open(kShed, theirs);
    mine.Release();
    ResultsLog log;
    EXPECT_FALSE(WEXClient::DeleteAsset(kShed, false, &log));
    EXPECT_TRUE(Mentions(log, "open for edit"));
    other.Close(theirHandle);
    // Still open for edit (an edit outlives the command that began it), but nobody holds or
    // changed the copy, so the delete takes it along.
    WEXAssetInfo info;
    ASSERT_TRUE(WEXClient::GetAssetInfo(kShed, info, kWEXInfoStatus));
    EXPECT_TRUE(info.Has(kWEXStatusOpenForEdit));
    EXPECT_TRUE(WEXClient::DeleteAsset(kShed, false, &log));
    EXPECT_EQ(Entries(Root() + "/editing"), std::vector<std::string>{});
}

// --- a daemon killed in the middle of a change ---------------------------------------------

enum class Change { kInstall, kCommit };

struct Cut {
    Change change;
    const char* point;
    bool completes;  // once the change record is written, start-up carries the change through
};

void PrintTo(const Cut& c, std::ostream* out) {
    *out << (c.change == Change::kInstall ? "install" : "commit") << " cut at " << c.point;
}

class HandlersKillTest : public HandlersEditTest, public ::testing::WithParamInterface<Cut> {};

TEST_P(HandlersKillTest, TheAssetIsWhollyOldOrWhollyNew) {
    const Cut& cut = GetParam();
    std::string oldSource = Version("old");
    std::string newSource = Version("new");
    Install(oldSource);
    Files oldFiles = FolderFiles(oldSource);
    Files newFiles = FolderFiles(newSource);
    std::string copy = Root() + "/editing/kuid 4242 17";
    if (cut.change == Change::kCommit) {
        // The edit is the new version's files; it outlives the restart (the copy changed).
        WEXAssetHandle handle = WEXClient::OpenAssetForEdit(kShed, false);
        ASSERT_TRUE(handle.IsValid());
        std::filesystem::remove_all(copy);
        std::filesystem::copy(newSource, copy, std::filesystem::copy_options::recursive);
    }
    Restart({std::string("-crashat=") + cut.point});

    if (cut.change == Change::kInstall) {
        KUID installed;
        ResultsLog log;
        EXPECT_FALSE(WEXClient::InstallFromPath(newSource, 0, false, installed, &log, nullptr));
    } else {
        WEXAssetHandle handle = WEXClient::OpenAssetForEdit(kShed, false);
        ASSERT_TRUE(handle.IsValid());
        ResultsLog log;
        EXPECT_FALSE(WEXClient::CommitAsset(handle, 0, nullptr, &log));
    }
    ASSERT_TRUE(daemon_->WaitExit());
    EXPECT_EQ(daemon_->ExitCode(), -1) << "killed, not ended";
    StartAgainAfterCrash();

    Files local = FolderFiles(Local(kShed));
    ASSERT_TRUE(local == oldFiles || local == newFiles);
    bool isNew = local == newFiles;
    EXPECT_EQ(isNew, cut.completes);
    EXPECT_EQ(WEXGetAssetName(kShed).view(), isNew ? "new" : "old");
    EXPECT_EQ(Entries(Root() + "/local"), (std::vector<std::string>{".wexstage", "kuid 4242 17"}));
    EXPECT_EQ(Entries(Root() + "/local/.wexstage"), std::vector<std::string>{});
    if (cut.change == Change::kCommit) {
        // Not committed: still open with the edit intact; committed: closed, no copy left.
        EXPECT_EQ(FolderFiles(copy), isNew ? Files{} : newFiles);
        WEXAssetInfo info;
        ASSERT_TRUE(WEXClient::GetAssetInfo(kShed, info, kWEXInfoStatus));
        EXPECT_EQ(info.Has(kWEXStatusOpenForEdit), !isNew);
        // A commit completed at start-up reads as any commit does.
        EXPECT_EQ(info.Has(kWEXStatusLocallyModified), isNew);
    }
}

INSTANTIATE_TEST_SUITE_P(Points, HandlersKillTest,
                         ::testing::Values(Cut{Change::kInstall, "copy.file", false},
                                           Cut{Change::kInstall, "install.copied", false},
                                           Cut{Change::kInstall, "change.intent", true},
                                           Cut{Change::kInstall, "change.exchanged", true},
                                           Cut{Change::kInstall, "change.placed", true},
                                           Cut{Change::kInstall, "change.indexed", true},
                                           Cut{Change::kCommit, "change.intent", true},
                                           Cut{Change::kCommit, "change.staged", true},
                                           Cut{Change::kCommit, "change.exchanged", true},
                                           Cut{Change::kCommit, "change.placed", true},
                                           Cut{Change::kCommit, "change.backed-up", true},
                                           Cut{Change::kCommit, "change.indexed", true}),
                         [](const ::testing::TestParamInfo<Cut>& info) {
                             std::string name =
                                 std::string(info.param.change == Change::kInstall ? "Install"
                                                                                   : "Commit") +
                                 "_" + info.param.point;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
