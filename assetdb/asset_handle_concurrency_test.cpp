// Copies of one asset handle released on many threads at once: the daemon's handle is closed
// exactly once, after every copy is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "assetdb/asset_handle.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_sender.h"
#include "foundation/tstream.h"

namespace {

std::atomic<int> gCloses{0};
std::atomic<uint64_t> gClosedHandle{0};

bool CountCloses(uint32_t id, TStream& payload, TStream*, WEXClientEventHandler*, ResultsLog*,
                 bool) {
    if (id == kWEXRequestCloseHandle) {
        uint64_t handle = 0;
        payload.ReadU64(handle);
        gClosedHandle.store(handle);
        gCloses.fetch_add(1);
    }
    return true;
}

TEST(AssetHandleConcurrency, CopiesReleasedOnManyThreadsCloseOnce) {
    WEXTransport previous = WEXGetTransport();
    WEXSetTransport({&CountCloses, nullptr});
    constexpr int kThreads = 8;
    constexpr int kRounds = 2000;
    for (int trial = 0; trial < 20; ++trial) {
        gCloses = 0;
        WEXAssetHandle original = WEXAssetHandle::Open(0xABC0 + trial, KUID(1, 2), {}, {}, true, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([copy = original] {
                for (int i = 0; i < kRounds; ++i) {
                    WEXAssetHandle more(copy);
                    WEXAssetHandle other;
                    other = more;
                }
            });
        }
        original.Release();
        for (std::thread& t : threads)
            t.join();
        EXPECT_EQ(gCloses.load(), 1);
        EXPECT_EQ(gClosedHandle.load(), 0xABC0u + trial);
    }
    WEXSetTransport(previous);
}

}  // namespace
