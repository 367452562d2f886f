#include "mesh/overlapped_resource.h"

#include <gtest/gtest.h>

#include "platform/kiv/base/clock.h"

namespace {

// Counts its steps; each answers as told.
struct Counted {
    int loads = 0, finishes = 0;
    bool loadOk = true, finishOk = true;
    OverlappedResourceCallback::Step Load() {
        return [this] {
            ++loads;
            return loadOk;
        };
    }
    OverlappedResourceCallback::Step Finish() {
        return [this] {
            ++finishes;
            return finishOk;
        };
    }
};

using S = OverlappedResource;

// A system without its loader thread: the test loads in its place with LoadNext.
class Background : public ::testing::Test {
protected:
    OverlappedResourceSystem system{false};
};

TEST_F(Background, TheSystemIsPublishedForItsLife) {
    EXPECT_EQ(OverlappedResourceSystem::Get(), &system);
    {
        OverlappedResourceSystem second(false);
        EXPECT_EQ(OverlappedResourceSystem::Get(), &second);
    }
    EXPECT_EQ(OverlappedResourceSystem::Get(), nullptr);
}

TEST_F(Background, AResourceIsQueuedOnceAndTheQueueHoldsAtMost5000) {
    Counted c;
    auto record = system.Request(c.Load(), c.Finish(), "first");
    EXPECT_EQ(record->GetResource()->GetName(), "first");
    EXPECT_EQ(record->GetResource()->GetState(), S::kQueued);
    system.Queue(record->GetResource());
    EXPECT_EQ(system.GetQueuedCount(), 1u);

    std::vector<std::unique_ptr<Overlapped>> more;
    for (size_t i = 1; i < OverlappedResourceSystem::kMaxQueued; ++i)
        more.push_back(system.Request(nullptr, nullptr));
    EXPECT_EQ(system.GetQueuedCount(), OverlappedResourceSystem::kMaxQueued);
    auto dropped = system.Request(c.Load(), c.Finish());
    EXPECT_EQ(system.GetQueuedCount(), OverlappedResourceSystem::kMaxQueued);
    EXPECT_EQ(dropped->GetResource()->GetState(), S::kIdle);
    EXPECT_EQ(dropped->GetResource()->GetName(), "unknown");
}

TEST_F(Background, CompletingAQueuedResourceRunsBothStepsHere) {
    Counted c;
    auto record = system.Request(c.Load(), c.Finish());
    system.Complete(record->GetResource());
    EXPECT_EQ(record->GetResource()->GetState(), S::kFinished);
    EXPECT_EQ(c.loads, 1);
    EXPECT_EQ(c.finishes, 1);
    EXPECT_FALSE(system.LoadNext());  // the loader never sees it
    system.Complete(record->GetResource());
    EXPECT_EQ(c.loads, 1);  // finished stays finished
    EXPECT_EQ(system.Poll(record), 2);
    EXPECT_EQ(record, nullptr);
}

TEST_F(Background, AFailedStepEndsIdleAndCanBeCompletedAgain) {
    Counted c;
    c.loadOk = false;
    auto record = system.Request(c.Load(), c.Finish());
    ASSERT_TRUE(system.LoadNext());
    EXPECT_EQ(record->GetResource()->GetState(), S::kIdle);
    system.Complete(record->GetResource());
    EXPECT_EQ(record->GetResource()->GetState(), S::kIdle);
    EXPECT_EQ(c.loads, 2);
    EXPECT_EQ(c.finishes, 0);
    c.loadOk = true;
    c.finishOk = false;
    system.Complete(record->GetResource());
    EXPECT_EQ(record->GetResource()->GetState(), S::kIdle);
    c.finishOk = true;
    system.Complete(record->GetResource());
    EXPECT_EQ(record->GetResource()->GetState(), S::kFinished);
    EXPECT_EQ(c.loads, 4);
}

TEST_F(Background, ALoadedResourceIsFinishedByItsCompletion) {
    Counted c;
    auto record = system.Request(c.Load(), c.Finish());
    EXPECT_EQ(system.Poll(record), 1);
    ASSERT_TRUE(system.LoadNext());
    EXPECT_EQ(record->GetResource()->GetState(), S::kLoaded);
    EXPECT_EQ(system.Poll(record), 1);
    system.Complete(record->GetResource());
    EXPECT_EQ(record->GetResource()->GetState(), S::kFinished);
    EXPECT_EQ(c.loads, 1);
    EXPECT_EQ(c.finishes, 1);
}

TEST_F(Background, CancellingLoadsNothing) {
    Counted queued, idle;
    auto a = system.Request(queued.Load(), queued.Finish());
    system.Cancel(a);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(system.GetQueuedCount(), 0u);
    // A record that goes away cancels too, even when its resource never reached the queue.
    std::vector<std::unique_ptr<Overlapped>> full;
    for (size_t i = 0; i < OverlappedResourceSystem::kMaxQueued; ++i)
        full.push_back(system.Request(nullptr, nullptr));
    auto b = system.Request(idle.Load(), idle.Finish());
    b.reset();
    EXPECT_EQ(queued.loads + idle.loads, 0);
    EXPECT_EQ(queued.finishes + idle.finishes, 0);
}

TEST_F(Background, TheOldestRequestIsLoadedFirst) {
    std::vector<int> order;
    std::vector<std::unique_ptr<Overlapped>> records;
    for (int i = 0; i < 5; ++i) {
        records.push_back(system.Request(
            [&order, i] {
                order.push_back(i);
                return true;
            },
            nullptr));
        Kiv::Time::Delay(2);
    }
    // Taking one out of the middle keeps the heap in order.
    ASSERT_TRUE(system.Remove(records[2]->GetResource()));
    EXPECT_FALSE(system.Remove(records[2]->GetResource()));
    while (system.LoadNext()) {
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 3, 4}));
}

}  // namespace
