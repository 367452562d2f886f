#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/tbuffer.h"
#include "validation/global_results_map.h"
#include "validation/results_log.h"
#include "validation/results_test_support.h"

namespace {

// Counts what it hears; the log delivers under its own lock, so a plain counter is safe.
class Counter : public NuMessageRecipient {
public:
    int HandleMessage(const NuMessageData&) override {
        ++updates;
        return 0;
    }
    int updates = 0;
};

TEST(ResultsLogConcurrency, ThreadsAddWhileAnotherWritesAndReads) {
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    ResultsLog log;
    Counter counter;
    NuMessageRecipient::ConnectPipe(log, 1, counter, 2);
    GlobalResultsMap::Set(4242, &log);

    std::vector<std::thread> adders;
    for (int t = 0; t < kThreads; ++t)
        adders.emplace_back([&log, t] {
            for (int i = 0; i < kEach; ++i)
                AddMessage(log, 1 + (i % 4), resultstest::Kuid(t, i),
                           "thread " + std::to_string(t));
        });
    // Each snapshot is a whole log: reading it back gives as many entries as its count says.
    std::thread writer([&log] {
        for (int i = 0; i < 50; ++i) {
            TBuffer out;
            log.WriteToStream(out, 0);
            out.Rewind();
            out.ReadU32Value();
            uint32_t count = out.ReadU32Value();
            out.Rewind();
            ResultsLog copy;
            ResultsLog::ReadFromBuffer(out, copy);
            EXPECT_EQ(copy.GetCount(), count);
            EXPECT_EQ(out.GetError(), 0u);
            EXPECT_EQ(GlobalResultsMap::Find(4242), &log);
        }
    });
    for (std::thread& t : adders)
        t.join();
    writer.join();

    EXPECT_EQ(log.GetCount(), uint32_t{kThreads * kEach});
    EXPECT_EQ(log.GetWarningCount(), uint32_t{kThreads * kEach / 4});
    EXPECT_EQ(log.GetErrorCount(), uint32_t{kThreads * kEach / 4});
    std::lock_guard hold(log.GetLock());
    EXPECT_EQ(counter.updates, kThreads * kEach);
}

// A late report for a request whose log its owner is destroying must either land in the live
// log or find no log at all, never write into a freed one.
TEST(ResultsLogConcurrency, ReadingIntoAMappedLogRacesItsDestructionSafely) {
    TBuffer wire;
    {
        ResultsLog source;
        AddMessage(source, 3, resultstest::Kuid(1, 2), "late line");
        source.WriteToStream(wire, 0);
    }
    for (int round = 0; round < 200; ++round) {
        auto* log = new ResultsLog;
        GlobalResultsMap::Set(5150, log);
        std::thread reader([&wire] {
            TBuffer copy(wire.GetData(), wire.GetDataLength());
            GlobalResultsMap::WithLog(5150,
                                      [&](ResultsLog& l) { ResultsLog::ReadFromBuffer(copy, l); });
        });
        delete log;
        reader.join();
        EXPECT_FALSE(GlobalResultsMap::WithLog(5150, [](ResultsLog&) {}));
    }
}

}  // namespace
