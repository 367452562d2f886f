// The handlers answer requests from several links at once: new KUIDs stay unique, searches and
// information requests run beside installs, favourites and settings writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

#include "assetdb/asset_info_format.h"
#include "assetdb/filter_group.h"
#include "assetdb/request_ids.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/handlers.h"
#include "services/wexdaemon/store_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

class HandlersConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        store_ = std::make_unique<wexd::AssetStore>(wexd::DataPaths{dir_ / "UserData"});
        std::string error;
        ASSERT_TRUE(store_->Open(error)) << error;
        wexd::AddAssetRequests(
            table_, std::make_shared<wexd::HandlerServices>([this] { return store_.get(); }));
    }

    // Runs one request as a link's thread would; its reply into `reply`, rewound.
    void Ask(uint32_t id, TBuffer& payload, TBuffer& reply) {
        wexd::RequestContext context(id, 1, payload.GetData(), payload.GetDataLength(), nullptr);
        table_.Find(id)->handler(context);
        reply.Reset();
        reply.Write(context.Reply().GetData(), context.Reply().GetDataLength());
        reply.Rewind();
    }

    testsupport::TempDir dir_;
    std::unique_ptr<wexd::AssetStore> store_;
    wexd::RequestTable table_;
};

TEST_F(HandlersConcurrencyTest, RequestsFromSeveralLinksAtOnce) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 40;
    std::vector<std::vector<KUID>> generated(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t, &generated] {
            for (int i = 0; i < kRounds; ++i) {
                TBuffer none;
                TBuffer reply;
                KUID kuid;
                Ask(kWEXRequestGenerateKUID, none, reply);
                kuid.Read(reply);
                generated[t].push_back(kuid);

                // Install an asset of that KUID, mark it, look it up and search.
                std::string source = dir_ / ("src/" + std::to_string(t) + "-" + std::to_string(i));
                storetest::MakeAssetFolder(source, kuid, "Asset");
                KUID installed;
                EXPECT_TRUE(store_->InstallFolder(source, installed).Ok());
                TBuffer favourite;
                kuid.Write(favourite);
                favourite.WriteBool(true);
                Ask(kWEXPostAssetFavorite, favourite, reply);
                TBuffer asked;
                kuid.Write(asked);
                asked.WriteU32(0xFFFFFFFFu);
                Ask(kWEXRequestAssetInfo, asked, reply);
                WEXAssetInfo info;
                WEXReadAssetInfo(reply, info);
                EXPECT_EQ(info.asset, kuid);
                EXPECT_EQ(info.rating, 5);
                TBuffer search;
                WEXFilterElementGroup all;
                WEXFilterWriteElement(search, &all);
                uint32_t found = 0;
                Ask(kWEXRequestSearchAssets, search, reply);
                reply.ReadU32(found);
                EXPECT_GE(found, static_cast<uint32_t>(i + 1));

                TBuffer write;
                write.WritePString(Kiv::PString("group" + std::to_string(t)));
                TDBTagRef tree;
                TDBContainerTag::SetInt(tree, Kiv::PString("round"), i);
                WriteTagTreeBinary(tree, write);
                Ask(kWEXRequestWriteSettings, write, reply);
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    std::set<KUID> unique;
    for (const auto& list : generated)
        unique.insert(list.begin(), list.end());
    EXPECT_EQ(unique.size(), static_cast<size_t>(kThreads * kRounds));
    EXPECT_EQ(store_->Count(), static_cast<size_t>(kThreads * kRounds));
}

}  // namespace
