// The script host's asset spec registry: exact three-word look-ups, factories by name, release of a
// forgotten asset spec, the purge that deletes only asset specs nobody holds, and the leak report's
// lines.
#include "script/host/spec_registry_host.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kiv/base/log.h"
#include "script/host/script_host_test_support.h"

namespace {

class SpecRegistryHost : public hosttest::ScriptHost {
protected:
    void SetUp() override {
        hosttest::ScriptHost::SetUp();
        factory = std::make_unique<WEXScript_HalvexBaseSpecFactory>();
        listener_ = Kiv::Log::AddListener([this](std::string_view line) {
            std::lock_guard<std::mutex> hold(linesLock_);
            lines_.emplace_back(line);
        });
    }
    void TearDown() override {
        Kiv::Log::RemoveListener(listener_);
        factory.reset();
        hosttest::ScriptHost::TearDown();
    }
    ZuravedavaSpec* Make(const KUID& kuid, const char* name) {
        return Registry().Create(Kiv::PString(WEXScript_HalvexBaseSpecFactory::kName), kuid,
                                 Kiv::String("/assets"), Kiv::String(name), TDBTagRef());
    }
    std::vector<std::string> TakeLines() {
        std::lock_guard<std::mutex> hold(linesLock_);
        return std::exchange(lines_, {});
    }

    std::unique_ptr<WEXScript_HalvexBaseSpecFactory> factory;

private:
    int listener_ = 0;
    std::mutex linesLock_;
    std::vector<std::string> lines_;
};

TEST_F(SpecRegistryHost, FindsOnlyTheExactIdAndPicksFactoriesByNameIgnoringCase) {
    ZuravedavaSpec* a = Make(KUID(424242, 7, 1), "a");
    ZuravedavaSpec* b =
        Registry().Create(Kiv::PString("--wexscript_halvexbasespecfactory--"), KUID(424242, 7, 2),
                          Kiv::String("/assets"), Kiv::String("b"), TDBTagRef());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(dynamic_cast<HalvexBaseSpec*>(b), nullptr);
    EXPECT_EQ(Registry().Find(KUID(424242, 7, 1)), a);
    EXPECT_EQ(Registry().Find(KUID(424242, 7, 2)), b);
    EXPECT_EQ(Registry().Find(KUID(424242, 7, 3)), nullptr);
    EXPECT_EQ(Registry().Find(KUID(424242, 7)), nullptr);
    EXPECT_EQ(
        Registry().Create(Kiv::PString("--nosuchfactory--"), KUID(1, 1), "", "x", TDBTagRef()),
        nullptr);
    Registry().Release(a);
    Registry().Release(b);

    // A factory that goes takes itself out of the list.
    struct Other : KTSpecFactory {
        Other() : KTSpecFactory("--Other--") {}
        ZuravedavaSpec* Make(const KUID& kuid, Kiv::String folder, Kiv::String name,
                             TDBTagRef config) override {
            return new ZuravedavaSpec(kuid, std::move(folder), std::move(name), std::move(config));
        }
    };
    {
        Other other;
        ZuravedavaSpec* o =
            Registry().Create(Kiv::PString("--OTHER--"), KUID(5, 5), "", "o", TDBTagRef());
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(dynamic_cast<HalvexBaseSpec*>(o), nullptr);
        Registry().Release(o);
    }
    EXPECT_EQ(Registry().Create(Kiv::PString("--other--"), KUID(5, 6), "", "o", TDBTagRef()),
              nullptr);
}

// One author's run of content numbers (the ids that crowd a hash), past two growths of the table,
// with every third one forgotten: removals shift later entries back, and none may be lost.
// Two asset specs of one id keep their order through it all: the first inserted is found first.
TEST_F(SpecRegistryHost, EveryEntryStaysReachableThroughGrowthAndRemovals) {
    ZuravedavaSpec* first = Make(KUID(424242, 5, 0), "first");
    ZuravedavaSpec* second = Make(KUID(424242, 5, 0), "second");
    const int count = static_cast<int>(ScriptSpecRegistry::kInitialSlots) * 3 / 2;
    std::vector<ZuravedavaSpec*> specs;
    for (int i = 0; i < count; ++i)
        specs.push_back(Make(KUID(424242, 1000 + i, i % 2), "s"));
    for (int i = 0; i < count; i += 3)
        Registry().Forget(KUID(424242, 1000 + i, i % 2));
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(Registry().Find(KUID(424242, 1000 + i, i % 2)), i % 3 == 0 ? nullptr : specs[i])
            << i;
    EXPECT_EQ(Registry().HashedCount(), 2u + static_cast<size_t>(count - (count + 2) / 3));
    EXPECT_EQ(Registry().Find(KUID(424242, 5, 0)), first);
    Registry().Forget(KUID(424242, 5, 0));
    EXPECT_EQ(Registry().Find(KUID(424242, 5, 0)), second);
    Registry().Release(first);
    Registry().Release(second);
    for (ZuravedavaSpec* s : specs)
        Registry().Release(s);
    Registry().ReportLeaks();
    EXPECT_EQ(Registry().HashedCount(), 0u);
    EXPECT_EQ(Registry().LiveCount(), 0u);
}

// A change that lands while Find probes without the lock sends the look-up to the lock, so the
// answer is never an asset spec already forgotten nor a miss of one just added.
TEST_F(SpecRegistryHost, AChangeDuringAnUnlockedProbeIsSeenThroughTheLock) {
    static decltype(this) self;
    static KUID changed;
    static ZuravedavaSpec* added;
    self = this;
    ZuravedavaSpec* a = Make(KUID(424242, 8), "a");
    ASSERT_NE(a, nullptr);

    // The probe finds `a`; it is forgotten before the probe is checked.
    changed = KUID(424242, 8);
    EXPECT_EQ(Registry().FindProbingForTesting(SpecAssetId::Of(changed),
                                               [] { self->Registry().Forget(changed); }),
              nullptr);

    // The probe misses; the asset spec is added before the probe is checked.
    changed = KUID(424242, 9);
    ZuravedavaSpec* found = Registry().FindProbingForTesting(
        SpecAssetId::Of(changed), [] { added = self->Make(changed, "b"); });
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(found, added);
    Registry().Release(a);
    Registry().Release(added);
}

TEST_F(SpecRegistryHost, ReleaseForgetsOnlyItsOwnEntryAndPurgeDeletesWhatNobodyHolds) {
    ZuravedavaSpec* old = Make(KUID(1, 2), "old");
    SpecPointer held(old);  // a second holder
    Registry().Forget(KUID(1, 2));
    EXPECT_EQ(Registry().Find(KUID(1, 2)), nullptr);
    ZuravedavaSpec* fresh = Make(KUID(1, 2), "fresh");
    EXPECT_EQ(Registry().Find(KUID(1, 2)), fresh);

    // Releasing the forgotten asset spec drops its reference and leaves the new one registered.
    Registry().Release(old);
    EXPECT_EQ(old->RefCount(), 1);
    EXPECT_EQ(Registry().Find(KUID(1, 2)), fresh);
    EXPECT_EQ(Registry().LiveCount(), 2u);

    // The last reference gone, the asset spec lives until the purge, which says nothing of it.
    held.Release();
    EXPECT_EQ(old->RefCount(), 0);
    EXPECT_EQ(Registry().LiveCount(), 2u);
    TakeLines();
    Registry().Release(fresh);
    EXPECT_EQ(Registry().Find(KUID(1, 2)), nullptr);
    Registry().ReportLeaks();
    EXPECT_EQ(Registry().LiveCount(), 0u);
    EXPECT_EQ(Registry().HashedCount(), 0u);
    EXPECT_EQ(TakeLines(), std::vector<std::string>{});
}

TEST_F(SpecRegistryHost, TheLeakReportListsEverySpecStillHeldWithItsCount) {
    ZuravedavaSpec* once = Make(KUID(424242, 12), "Red Car");
    ZuravedavaSpec* many = Make(KUID(-1, -1, 127), "n");
    for (int i = 0; i < 11; ++i)
        many->AddRef();
    ZuravedavaSpec* dropped = Make(KUID(3, 4, 5), "gone");
    Registry().Release(dropped);
    TakeLines();
    Registry().ReportLeaks();
    EXPECT_EQ(TakeLines(),
              (std::vector<std::string>{"Leaked specs:", "  (   1) - kuid 424242 12 \"Red Car\"",
                                        "  (  12) - NULLKUID \"n\""}));
    Registry().Release(once);
    for (int i = 0; i < 12; ++i)
        many->DropRef();
    Registry().Forget(KUID(-1, -1, 127));
    Registry().ReportLeaks();
    EXPECT_EQ(TakeLines(), std::vector<std::string>{});
    EXPECT_EQ(Registry().LiveCount(), 0u);
}

}  // namespace
