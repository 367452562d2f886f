#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "mesh/overlapped_resource.h"
#include "platform/kiv/base/clock.h"

namespace {

using S = OverlappedResource;

// Polls until the condition holds or five seconds pass.
template <typename F>
bool Eventually(F condition) {
    for (int i = 0; i < 5000; ++i) {
        if (condition()) return true;
        Kiv::Time::Delay(1);
    }
    return condition();
}

TEST(BackgroundLoader, LoadsOnItsOwnThreadAndTheRequesterFinishes) {
    OverlappedResourceSystem system;
    std::atomic<std::thread::id> loadedOn{};
    std::atomic<int> finishes{0};
    auto record = system.Request(
        [&] {
            loadedOn = std::this_thread::get_id();
            return true;
        },
        [&] {
            ++finishes;
            return true;
        });
    ASSERT_TRUE(Eventually([&] { return record->GetResource()->GetState() == S::kLoaded; }));
    EXPECT_NE(loadedOn.load(), std::this_thread::get_id());
    EXPECT_EQ(finishes.load(), 0);
    system.Complete(record->GetResource());
    EXPECT_EQ(record->GetResource()->GetState(), S::kFinished);
    EXPECT_EQ(finishes.load(), 1);
}

TEST(BackgroundLoader, ACompletionWaitsForTheLoaderAtARaisedPriority) {
    OverlappedResourceSystem system;
    std::atomic<bool> started{false}, sawRaised{false};
    std::atomic<int> loads{0};
    auto record = system.Request(
        [&] {
            ++loads;
            started = true;
            sawRaised = Eventually([&] { return system.GetLoaderPriority() == 2; });
            return true;
        },
        nullptr);
    ASSERT_TRUE(Eventually([&] { return started.load(); }));
    system.Complete(record->GetResource());
    EXPECT_TRUE(sawRaised.load());
    EXPECT_EQ(system.GetLoaderPriority(), 0);
    EXPECT_EQ(record->GetResource()->GetState(), S::kFinished);
    EXPECT_EQ(loads.load(), 1);
}

TEST(BackgroundLoader, ManyRequestersCompleteEveryRequestOnce) {
    OverlappedResourceSystem system;
    constexpr int kThreads = 4, kEach = 50;
    std::atomic<int> loads{0}, finishes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            std::vector<std::unique_ptr<Overlapped>> records;
            for (int i = 0; i < kEach; ++i)
                records.push_back(system.Request(
                    [&] {
                        ++loads;
                        return true;
                    },
                    [&] {
                        ++finishes;
                        return true;
                    }));
            for (auto& r : records) {
                system.Complete(r->GetResource());
                if (r->GetResource()->GetState() != S::kFinished) ADD_FAILURE();
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(loads.load(), kThreads * kEach);
    EXPECT_EQ(finishes.load(), kThreads * kEach);
}

// A record dropped while the loader runs its step waits for the step, then finishes it.
TEST(BackgroundLoader, DroppingARecordWhileItLoadsWaitsForTheLoader) {
    OverlappedResourceSystem system;
    std::atomic<bool> started{false}, release{false};
    std::atomic<int> finishes{0};
    auto record = system.Request(
        [&] {
            started = true;
            Eventually([&] { return release.load(); });
            return true;
        },
        [&] {
            ++finishes;
            return true;
        });
    ASSERT_TRUE(Eventually([&] { return started.load(); }));
    std::thread releaser([&] {
        Kiv::Time::Delay(20);
        release = true;
    });
    record.reset();
    releaser.join();
    EXPECT_EQ(finishes.load(), 1);  // it had loaded: the completion finishes it
}

}  // namespace
