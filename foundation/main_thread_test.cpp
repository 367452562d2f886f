#include "foundation/main_thread.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "foundation/worker_queue.h"

namespace {

TEST(MainThread, IsTheRecordedOne) {
    InitProcessGlobals("HalvexUtil");
    EXPECT_TRUE(IsMainThread());
    EXPECT_EQ(GetProcessGlobals().appName, "HalvexUtil");
    EXPECT_EQ(GetProcessGlobals().loginWord, 0u);
    bool other = true;
    std::thread([&] { other = IsMainThread(); }).join();
    EXPECT_FALSE(other);
}

// An idle pass runs every call queued for the main thread when it began, advances the idle
// clock, and leaves calls for workers alone.
TEST(MainThread, IdleTasksRunTheQueuedMainThreadCalls) {
    RecordMainThreadId();
    WorkerCallQueue& queue = WorkerCallQueue::Instance();
    std::vector<int> ran;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(queue.Post(MakeFunctionCallback([&ran, i](void*) {
                                   ran.push_back(i);
                                   return 0;
                               }),
                               nullptr, kCallMainThread | kCallNoWait));
    EXPECT_TRUE(WaitForMainThreadCalls(0));
    double before = GetIdleClock();
    RunIdleTasks();
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(queue.HasWork());
    EXPECT_FALSE(WaitForMainThreadCalls(0));  // reset by the poll
    EXPECT_GE(GetIdleClock(), before);
    RunIdleTasks();  // nothing queued: nothing happens
    EXPECT_EQ(ran.size(), 3u);
}

int dumps = 0;
void CountDump() {
    ++dumps;
}

TEST(MainThread, FreeingIdleCachesCallsTheResourceSystemWhenThereIsOne) {
    dumps = 0;
    FreeIdleCaches();
    EXPECT_EQ(dumps, 0);
    SetResourceCacheDumper(&CountDump);
    FreeIdleCaches();
    SetResourceCacheDumper(nullptr);
    EXPECT_EQ(dumps, 1);
}

}  // namespace
