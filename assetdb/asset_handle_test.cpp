// Asset handles: however a handle is copied, assigned, moved and released, the daemon's handle
// is closed exactly once, by the last holder; an empty handle never sends anything; and the
// wrappers that take a handle answer from its block where they may.
#include "assetdb/asset_handle.h"

#include <gtest/gtest.h>

#include <utility>

#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/wex_client_edit.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;
using requesttest::Wire;

const KUID kAsset(40, 50);
constexpr uint64_t kDaemonHandle = 0x0102030405060708;

class AssetHandle : public ::testing::Test {
protected:
    WEXAssetHandle Opened(bool open = true) {
        return WEXAssetHandle::Open(kDaemonHandle, kAsset, Kiv::PString("Loco"), "/edit/loco", open,
                                    0);
    }
    size_t Closes() const { return daemon_.SentWithId(kWEXRequestCloseHandle).size(); }

    ScriptedTransport daemon_;
};

TEST_F(AssetHandle, TheLastOfManyCopiesClosesOnce) {
    struct Case {
        const char* name;
        void (*use)(WEXAssetHandle& original);
    };
    const Case cases[] = {
        {"copy constructed, released in order",
         [](WEXAssetHandle& h) {
             WEXAssetHandle a(h);
             WEXAssetHandle b(a);
             h.Release();
             a.Release();
             EXPECT_EQ(b.GetHolderCount(), 1u);
         }},
        {"copied by Copy and by assignment",
         [](WEXAssetHandle& h) {
             WEXAssetHandle a, b;
             a.Copy(h);
             b = a;
             EXPECT_EQ(h.GetHolderCount(), 3u);
         }},
        {"assigned its own block and itself",
         [](WEXAssetHandle& h) {
             WEXAssetHandle a(h);
             a = h;
             WEXAssetHandle& same = a;
             a = same;
             EXPECT_EQ(h.GetHolderCount(), 2u);
         }},
        {"moved",
         [](WEXAssetHandle& h) {
             WEXAssetHandle a(std::move(h));
             WEXAssetHandle b;
             b = std::move(a);
             EXPECT_FALSE(h.IsValid());
             EXPECT_FALSE(a.IsValid());
             EXPECT_EQ(b.GetHolderCount(), 1u);
         }},
        {"released twice",
         [](WEXAssetHandle& h) {
             WEXAssetHandle a(h);
             a.Release();
             a.Release();
             EXPECT_EQ(h.GetHolderCount(), 1u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        daemon_.ClearSent();
        {
            WEXAssetHandle h = Opened();
            c.use(h);
        }
        std::vector<requesttest::SentMessage> closes = daemon_.SentWithId(kWEXRequestCloseHandle);
        ASSERT_EQ(closes.size(), 1u);
        EXPECT_EQ(closes[0].payload, Bytes(Wire().U64(kDaemonHandle)));
        EXPECT_EQ(daemon_.Sent().size(), 1u);
    }
}

TEST_F(AssetHandle, AssigningAnotherBlockClosesTheOldOneAtOnce) {
    WEXAssetHandle a = Opened();
    WEXAssetHandle b = WEXAssetHandle::Open(0x99, KUID(1, 2), {}, {}, false, 0);
    a = b;
    std::vector<requesttest::SentMessage> closes = daemon_.SentWithId(kWEXRequestCloseHandle);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].payload, Bytes(Wire().U64(kDaemonHandle)));
    EXPECT_EQ(a.GetDaemonHandle(), 0x99u);
}

TEST_F(AssetHandle, EmptyHandlesSendNothing) {
    {
        WEXAssetHandle none;
        WEXAssetHandle notOpened =
            WEXAssetHandle::Open(WEXAssetHandle::kNoDaemonHandle, kAsset, {}, {}, true, 0);
        EXPECT_FALSE(notOpened.IsValid());
        WEXAssetHandle copy(none);
        copy.Release();

        Kiv::String path = "kept";
        Kiv::PString name("kept");
        EXPECT_FALSE(WEXClient::GetHandlePath(none, path, &name));
        EXPECT_TRUE(path.IsEmpty());
        EXPECT_TRUE(name.IsNull());
        bool second = true;
        EXPECT_FALSE(WEXClient::CommitAsset(none, 0, &second, nullptr));
        EXPECT_TRUE(second);
        EXPECT_FALSE(WEXClient::RevertAsset(none, nullptr));
    }
    EXPECT_TRUE(daemon_.Sent().empty());
}

TEST_F(AssetHandle, AnOpenHandleAnswersItsFolderWithoutAsking) {
    WEXAssetHandle h = Opened();
    Kiv::String path;
    Kiv::PString name;
    EXPECT_TRUE(WEXClient::GetHandlePath(h, path, &name));
    EXPECT_EQ(path, "/edit/loco");
    EXPECT_EQ(name.str(), "Loco");
    EXPECT_TRUE(daemon_.Sent().empty());
}

TEST_F(AssetHandle, AskedFolderIsSharedByEveryCopyAndAskedOnce) {
    WEXAssetHandle h = WEXClient::CreateAsset(kAsset, false, "New");
    EXPECT_FALSE(h.IsValid());  // an empty reply opens nothing

    daemon_.Answer(kWEXRequestCreateAsset,
                   Wire().U64(7).Kuid(40, 51).Name("New").Text("/edit/new-at-create"));
    daemon_.Answer(kWEXRequestHandlePath, Wire().Name("New").Text("/edit/new"));
    h = WEXClient::CreateAsset(kAsset, false, "New");
    WEXAssetHandle copy(h);
    Kiv::String path;
    EXPECT_TRUE(WEXClient::GetHandlePath(h, path));
    EXPECT_EQ(path, "/edit/new");
    EXPECT_TRUE(WEXClient::GetHandlePath(copy, path));
    EXPECT_EQ(copy.GetFolder(), "/edit/new");
    EXPECT_EQ(daemon_.SentWithId(kWEXRequestHandlePath).size(), 1u);
}

TEST_F(AssetHandle, CommitAndRevertWorkOnTheSharedBlock) {
    WEXAssetHandle h = Opened();
    WEXAssetHandle copy(h);
    daemon_.Answer(kWEXRequestCommitAsset, Wire().Bool(false).Bool(true));
    bool second = false;
    EXPECT_FALSE(WEXClient::CommitAsset(h, 0, &second, nullptr));
    EXPECT_TRUE(second);
    EXPECT_FALSE(copy.IsOpen());  // cleared whatever the answer

    // Revert releases the caller's copy; the other copy still holds the daemon's handle.
    WEXClient::RevertAsset(h, nullptr);
    EXPECT_FALSE(h.IsValid());
    EXPECT_EQ(Closes(), 0u);
    copy.Release();
    EXPECT_EQ(Closes(), 1u);
}

}  // namespace
