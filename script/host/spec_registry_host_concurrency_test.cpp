// Look-ups racing the registry's changes: threads find the asset specs of ids that stay registered
// while another thread inserts, forgets, releases and purges others and grows the hash past two
// sizes. A look-up never misses or mistakes an asset spec that stays, and one done under the lock
// (find, then take a reference) always gets a whole asset spec of the id asked for.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "script/host/spec_registry_host.h"

namespace {

constexpr int kStable = 500;
constexpr int kChurn = 3000;  // past half of the first table and of the next
constexpr int kReaders = 3;
constexpr int kRounds = 6;

KUID StableId(int i) {
    return KUID(424242, i, 0);
}
KUID ChurnId(int i) {
    return KUID(424242, 100000 + i, 1);
}

// kReaders threads asking look(n), n counting up, from construction until Stop, which gives the
// number of wrong answers.
class Readers {
public:
    template <class Look>
    explicit Readers(Look look) {
        for (int r = 0; r < kReaders; ++r) {
            threads_.emplace_back([this, look, r] {
                started_.fetch_add(1);
                for (int n = r; !done_.load(std::memory_order_acquire); n += kReaders)
                    if (!look(n)) wrong_.fetch_add(1);
            });
        }
        while (started_.load() < kReaders)
            std::this_thread::yield();
    }
    int Stop() {
        done_.store(true, std::memory_order_release);
        for (std::thread& t : threads_)
            t.join();
        return wrong_.load();
    }

private:
    std::atomic<bool> done_{false};
    std::atomic<int> wrong_{0};
    std::atomic<int> started_{0};
    std::vector<std::thread> threads_;
};

TEST(SpecRegistryConcurrency, LookUpsRacingInsertForgetAndPurgeSeeOnlyWholeEntries) {
    for (int round = 0; round < kRounds; ++round) {
        ScriptSpecRegistry registry;
        std::vector<ZuravedavaSpec*> stable;
        for (int i = 0; i < kStable; ++i) {
            stable.push_back(new ZuravedavaSpec(StableId(i), "", "stable", TDBTagRef()));
            registry.Insert(stable.back());
        }
        Readers readers([&](int n) {
            bool ok = registry.Find(StableId(n % kStable)) == stable[n % kStable];
            registry.Find(ChurnId(n % kChurn));
            if (n % 8 != 0) return ok;
            // As a caller that keeps what it finds does: the asset spec found is whole and its own.
            std::lock_guard<SpecMutex> hold(SpecLock());
            ZuravedavaSpec* s = registry.Find(ChurnId((n * 13) % kChurn));
            return ok && (s == nullptr || s->Kuid() == ChurnId((n * 13) % kChurn));
        });
        // Half the churn is released (forgotten and dropped) while it goes on, so the purges
        // delete asset specs under the readers; some ids are only forgotten.
        std::vector<ZuravedavaSpec*> churn;
        std::vector<bool> released(kChurn, false);
        for (int i = 0; i < kChurn; ++i) {
            churn.push_back(new ZuravedavaSpec(ChurnId(i), "", "churn", TDBTagRef()));
            registry.Insert(churn.back());
            if (i % 2 == 1) {
                registry.Release(churn[i / 2]);
                released[i / 2] = true;
            }
            if (i % 5 == 0) registry.Forget(ChurnId(i / 3));
            if (i % 250 == 0) registry.Purge();
        }
        for (int i = 0; i < kChurn; ++i)
            if (!released[i]) registry.Release(churn[i]);
        registry.Purge();
        EXPECT_EQ(readers.Stop(), 0) << "round " << round;
        EXPECT_EQ(registry.HashedCount(), static_cast<size_t>(kStable));
        for (ZuravedavaSpec* s : stable)
            registry.Release(s);
    }
}

// Ids whose probes all start in the first few slots of a fresh table, so that they share one
// run and every removal in it shifts the entries behind it.
std::vector<KUID> CrowdedIds(size_t count) {
    std::vector<KUID> ids;
    const unsigned bits =
        static_cast<unsigned>(std::countr_zero(ScriptSpecRegistry::kInitialSlots));
    for (int c = 1; ids.size() < count; ++c)
        if (ScriptSpecRegistry::HomeSlot(SpecAssetId::Of(KUID(424242, c, 0)), bits) < 4)
            ids.emplace_back(424242, c, 0);
    return ids;
}

TEST(SpecRegistryConcurrency, LookUpsInACrowdedRunNeverMissAnEntryBeingShifted) {
    constexpr int kKept = 16;
    constexpr int kMoving = 48;
    constexpr int kChanges = 40000;
    const std::vector<KUID> ids = CrowdedIds(kKept + kMoving);
    ScriptSpecRegistry registry;
    std::vector<ZuravedavaSpec*> kept;
    std::vector<ZuravedavaSpec*> moving;
    // Kept and moving ids interleaved along the run.
    for (size_t i = 0; i < ids.size(); ++i) {
        auto* spec = new ZuravedavaSpec(ids[i], "", "crowd", TDBTagRef());
        registry.Insert(spec);
        (i % 4 == 0 ? kept : moving).push_back(spec);
    }
    Readers readers([&](int n) {
        // Start while the lock is free, so the look-up goes unlocked and races the next change
        // rather than waiting behind it.
        while (SpecLock().ReadBegin() % 2 != 0) {
        }
        return registry.Find(kept[n % kKept]->Kuid()) == kept[n % kKept];
    });
    // Each change re-registers one moving id: the new asset spec goes to the run's end, the old
    // one's removal shifts the entries behind it back. The asset specs are made beforehand, so that
    // the lock is free between changes as often as it is held.
    std::vector<ZuravedavaSpec*> fresh;
    for (int c = 0; c < kChanges; ++c)
        fresh.push_back(new ZuravedavaSpec(moving[static_cast<size_t>(c) % kMoving]->Kuid(), "",
                                           "crowd", TDBTagRef()));
    for (int c = 0; c < kChanges; ++c) {
        ZuravedavaSpec*& slot = moving[static_cast<size_t>(c) % kMoving];
        registry.Insert(fresh[static_cast<size_t>(c)]);
        registry.Release(slot);
        slot = fresh[static_cast<size_t>(c)];
    }
    EXPECT_EQ(readers.Stop(), 0);
    for (ZuravedavaSpec* s : kept)
        registry.Release(s);
    for (ZuravedavaSpec* s : moving)
        registry.Release(s);
    registry.Purge();
}

// A reload done in one hold of the lock (forget, then insert the new asset spec, with nested holds
// of the lock between, as a load from a folder takes them) is seen whole: a look-up meanwhile waits
// and finds the new asset spec, never the gap.
TEST(SpecRegistryConcurrency, AChangeMadeInOneHoldOfTheLockIsSeenWhole) {
    ScriptSpecRegistry registry;
    const KUID id(424242, 77);
    auto* old = new ZuravedavaSpec(id, "", "old", TDBTagRef());
    auto* fresh = new ZuravedavaSpec(id, "", "fresh", TDBTagRef());
    registry.Insert(old);
    std::atomic<bool> held{false};
    std::atomic<bool> done{false};
    std::atomic<int> gaps{0};
    std::thread reader([&] {
        while (!held.load())
            std::this_thread::yield();
        while (!done.load())
            if (registry.Find(id) == nullptr) gaps.fetch_add(1);
    });
    {
        std::lock_guard<SpecMutex> hold(SpecLock());
        registry.Forget(id);
        held.store(true);
        {
            std::lock_guard<SpecMutex> nested(SpecLock());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        registry.Insert(fresh);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    done.store(true);
    reader.join();
    EXPECT_EQ(gaps.load(), 0);
    EXPECT_EQ(registry.Find(id), fresh);
    registry.Release(old);
    registry.Release(fresh);
}

}  // namespace
