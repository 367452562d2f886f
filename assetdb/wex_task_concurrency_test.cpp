// Tasks on their own threads: the body runs there and the task hears of its end; a task asked
// to stop before its thread starts does no work; destroying a task stops and joins its body;
// inline runs stay on the caller's thread. And the free-space check's threshold.
#include "assetdb/wex_task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/kiv/base/thread.h"
#include "tests/support/temp_dir.h"

namespace {

// A body that records where it ran and, when asked, keeps going until told to stop.
class Body final : public WEXTaskThread {
public:
    explicit Body(bool untilStopped = false) : untilStopped_(untilStopped) {}
    std::atomic<int> runs{0};
    std::atomic<uint32_t> ranOn{0};
    std::atomic<uint32_t> runnerSeen{0};
    std::atomic<bool> started{false};

protected:
    uint32_t Run() override {
        ++runs;
        ranOn = Kiv::Thread::GetCurrentId();
        runnerSeen = GetRunnerId();
        started = true;
        while (untilStopped_ && !GetTask()->IsStopRequested())
            std::this_thread::yield();
        return 0;
    }

private:
    bool untilStopped_;
};

class Task final : public WEXTask {
public:
    ~Task() override { StopThread(); }
    void OnFinished() override {
        busyAtEnd = IsBusy();
        ++finished;
    }
    std::atomic<int> finished{0};
    std::atomic<bool> busyAtEnd{false};
};

TEST(WEXTaskThread, BodyRunsOnItsOwnThreadThenTheTaskHearsItsEnd) {
    Task task;
    auto body = std::make_unique<Body>();
    Body* b = body.get();
    task.AttachThread(std::move(body));
    ASSERT_TRUE(b->Resume());
    ASSERT_TRUE(b->Wait());
    EXPECT_EQ(b->runs.load(), 1);
    EXPECT_NE(b->ranOn.load(), Kiv::Thread::GetCurrentId());
    EXPECT_EQ(b->runnerSeen.load(), b->ranOn.load());
    EXPECT_EQ(b->GetRunnerId(), 0u);
    EXPECT_EQ(task.finished.load(), 1);
    EXPECT_TRUE(task.busyAtEnd.load());
    EXPECT_FALSE(task.IsBusy());
}

TEST(WEXTaskThread, TaskToldToStopBeforeItsThreadStartsDoesNoWork) {
    Task task;
    auto body = std::make_unique<Body>();
    Body* b = body.get();
    task.AttachThread(std::move(body));
    task.RequestStop();
    ASSERT_TRUE(b->Resume());
    ASSERT_TRUE(b->Wait());
    EXPECT_EQ(b->runs.load(), 0);
    EXPECT_EQ(task.finished.load(), 1);
}

TEST(WEXTaskThread, DestroyingTheTaskStopsAndJoinsItsBody) {
    Body* b;
    {
        Task task;
        auto body = std::make_unique<Body>(true);
        b = body.get();
        task.AttachThread(std::move(body));
        ASSERT_TRUE(b->Resume());
        while (!b->started)
            std::this_thread::yield();
    }  // would hang here if the body were not told to stop
    SUCCEED();
}

TEST(WEXTaskThread, InlineRunStaysOnTheCallersThread) {
    Task task;
    Body body;
    body.RunInline(&task);
    EXPECT_EQ(body.runs.load(), 1);
    EXPECT_EQ(body.ranOn.load(), Kiv::Thread::GetCurrentId());
    EXPECT_EQ(body.runnerSeen.load(), Kiv::Thread::GetCurrentId());
    EXPECT_EQ(body.GetTask(), &task);
    EXPECT_EQ(task.finished.load(), 0);  // only a thread's end is announced
}

uint64_t gFree = 0;
bool gAnswered = true;
bool ScriptedFreeSpace(const char*, uint64_t* freeBytes) {
    *freeBytes = gFree;
    return gAnswered;
}

TEST(WEXTaskThread, FreeSpaceNeedsOneHundredMebibytes) {
    struct Case {
        uint64_t free;
        bool answered;
        bool enough;
    };
    const Case cases[] = {{100ull << 20, true, true},
                          {(100ull << 20) - 1, true, false},
                          {1ull << 40, true, true},
                          {1ull << 40, false, false}};
    Body body;
    SetWEXFreeSpaceQuery(ScriptedFreeSpace);
    for (const Case& c : cases) {
        gFree = c.free;
        gAnswered = c.answered;
        EXPECT_EQ(body.HasFreeDiskSpace("/anywhere"), c.enough) << c.free << " " << c.answered;
    }
    SetWEXFreeSpaceQuery(nullptr);
    testsupport::TempDir dir;
    EXPECT_FALSE(body.HasFreeDiskSpace(dir / "no such folder"));
}

}  // namespace
