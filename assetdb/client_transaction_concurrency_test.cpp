// Requests and notifications through the daemon link against a scripted daemon: replies that
// come back out of order reach their own requesters, each notification type runs on its
// thread (0 to 2 as queued main-thread calls, 3 and 4 on the reader), a lost daemon fails
// every waiting request and the next request reaches a daemon that is back.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/client_event_handler.h"
#include "assetdb/client_transaction.h"
#include "assetdb/daemon_link.h"
#include "assetdb/daemon_link_test_support.h"
#include "assetdb/notifications.h"
#include "assetdb/reader_thread.h"
#include "assetdb/request_sender.h"
#include "assetdb/vendrix_cache.h"
#include "configdata/kuid.h"
#include "foundation/main_thread.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/thread.h"
#include "tests/support/scripted_daemon.h"
#include "validation/global_results_map.h"
#include "validation/results_log.h"

namespace {

using linktest::Eventually;
using linktest::Words;
using testsupport::ScriptedDaemon;
using Frame = ScriptedDaemon::Frame;

constexpr uint32_t kAsk = 500;      // answered with "re:" and the payload
constexpr uint32_t kHold = 501;     // never answered
constexpr uint32_t kNothing = 502;  // answered with an empty reply

std::string Bytes(const TBuffer& b) {
    return std::string(reinterpret_cast<const char*>(b.GetData()), b.GetDataLength());
}

// Sends a request; the reply's bytes in *reply.
bool Request(uint32_t messageId, const std::string& payload, std::string* reply,
             WEXClientEventHandler* handler = nullptr) {
    TBuffer out(payload.data(), static_cast<uint32_t>(payload.size()));
    TBuffer in;
    bool ok = WEXClientTransact(messageId, out, &in, handler, nullptr, false);
    if (reply != nullptr) *reply = Bytes(in);
    return ok;
}

// A daemon that answers kAsk and kNothing at once and records every frame.
struct Answering {
    std::mutex lock;
    std::vector<Frame> frames;
    ScriptedDaemon::Script Script() {
        ScriptedDaemon::Script script;
        script.onFrame = [this](ScriptedDaemon& d, const Frame& f) {
            {
                std::lock_guard<std::mutex> hold(lock);
                frames.push_back(f);
            }
            if (f.messageId == kAsk)
                return d.Send(ScriptedDaemon::ReplyRecord(f.secondWord, "re:" + f.payload));
            if (f.messageId == kNothing)
                return d.Send(ScriptedDaemon::ReplyRecord(f.secondWord, ""));
            return true;
        };
        return script;
    }
    std::vector<Frame> Of(uint32_t messageId) {
        std::lock_guard<std::mutex> hold(lock);
        std::vector<Frame> out;
        for (const Frame& f : frames)
            if (f.messageId == messageId) out.push_back(f);
        return out;
    }
};

class Transactions : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        WEXInstallClientLink();
        RecordMainThreadId();
        mainThread = Kiv::Thread::GetCurrentId();
    }
    void TearDown() override {
        LinkTest::TearDown();
        SetWEXCommandHostCallback(nullptr);
        SetWEXCacheUpdateHandler(nullptr);
        WEXSetTransport({});
    }
    // The main thread's poll, until the condition holds.
    template <class Condition>
    bool PollMainThreadUntil(Condition condition) {
        return Eventually([&] {
            RunIdleTasks();
            return condition();
        });
    }
    uint32_t mainThread = 0;
};

TEST_F(Transactions, RepliesInReverseOrderReachTheirOwnRequesters) {
    constexpr int kThreads = 6;
    std::mutex lock;
    std::vector<Frame> held;
    ScriptedDaemon::Script script;
    script.onFrame = [&](ScriptedDaemon& d, const Frame& f) {
        std::lock_guard<std::mutex> hold(lock);
        held.push_back(f);
        if (held.size() < kThreads) return true;
        for (auto it = held.rbegin(); it != held.rend(); ++it)
            if (!d.Send(ScriptedDaemon::ReplyRecord(it->secondWord, "re:" + it->payload)))
                return false;
        return true;
    };
    ScriptedDaemon daemon(database, script);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));

    std::vector<std::string> replies(kThreads);
    std::vector<int> ok(kThreads, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back(
            [&, i] { ok[i] = Request(kAsk, "n" + std::to_string(i), &replies[i]); });
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_TRUE(ok[i]) << i;
        EXPECT_EQ(replies[i], "re:n" + std::to_string(i));
    }
    // Each request had an id of its own, none of them 0.
    std::vector<uint32_t> ids;
    for (const Frame& f : held)
        ids.push_back(f.secondWord);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
    EXPECT_NE(ids.front(), 0u);
    EXPECT_EQ(WEXCountPendingTransactions(), 0u);
}

TEST_F(Transactions, EmptyRepliesAndRepliesNobodyWaitsForKeepTheLinkInStep) {
    Answering answering;
    ScriptedDaemon daemon(database, answering.Script());
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));

    // An empty reply writes nothing into the reply stream.
    TBuffer payload;
    TBuffer reply;
    reply.WriteU32(7);
    ASSERT_TRUE(WEXClientTransact(kNothing, payload, &reply, nullptr, nullptr, false));
    EXPECT_EQ(reply.GetDataLength(), 4u);

    // A reply for an id nobody waits for, with a body and a notification behind it: the
    // body is dropped, the rest is read as records and the next request gets its reply.
    std::atomic<int> updates{0};
    static std::atomic<int>* seen;
    seen = &updates;
    SetWEXCacheUpdateHandler([](TStream&) { ++*seen; });
    ASSERT_TRUE(daemon.Send(ScriptedDaemon::ReplyRecord(0xABCD, std::string(70000, 'x')) +
                            ScriptedDaemon::NoteRecord(kNotifyCacheUpdate, Words({1, 2}))));
    std::string answer;
    EXPECT_TRUE(Request(kAsk, "after", &answer));
    EXPECT_EQ(answer, "re:after");
    EXPECT_TRUE(Eventually([&] { return updates.load() == 1; }));
    EXPECT_TRUE(
        Logged("WEXClientTransaction::ReceiveReply> received reply for unknown "
               "clientTransactionID=43981"));
    EXPECT_TRUE(WEXClientIsLinkUp());
}

TEST_F(Transactions, LostDaemonFailsEveryWaitingRequestAndTheNextOneReconnects) {
    Answering answering;
    auto daemon = std::make_unique<ScriptedDaemon>(database, answering.Script());
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));

    constexpr int kWaiting = 4;
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kWaiting; ++i)
        threads.emplace_back([&] {
            if (!Request(kHold, "wait", nullptr)) ++failed;
        });
    ASSERT_TRUE(Eventually([&] { return answering.Of(kHold).size() == kWaiting; }));
    daemon.reset();  // the daemon goes away with the requests unanswered
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failed.load(), kWaiting);
    EXPECT_FALSE(WEXClientIsLinkUp());
    EXPECT_EQ(WEXCountPendingTransactions(), 0u);

    // A daemon is back (on another port): the next request reaches it at its first attempt,
    // even though a send may not start the daemon.
    Answering again;
    ScriptedDaemon back(database, again.Script());
    std::string answer;
    EXPECT_TRUE(Request(kAsk, "back", &answer));
    EXPECT_EQ(answer, "re:back");
    EXPECT_TRUE(linktest::Sleeps().empty());
}

// Values of the notification callback, with the thread they arrived on.
std::mutex gValuesLock;
std::vector<std::pair<uint32_t, uint32_t>> gValues;
void RecordValue(uint32_t value) {
    std::lock_guard<std::mutex> hold(gValuesLock);
    gValues.emplace_back(value, Kiv::Thread::GetCurrentId());
}
size_t CountValues() {
    std::lock_guard<std::mutex> hold(gValuesLock);
    return gValues.size();
}

std::atomic<uint32_t> gHostThread{0};
std::atomic<int> gHostCalls{0};
void CommandHost(TStream& payload, TStream& answer) {
    gHostThread = Kiv::Thread::GetCurrentId();
    ++gHostCalls;
    uint32_t command = payload.ReadU32Value();
    answer.WriteU32(command + 1000);
}

std::atomic<uint32_t> gCacheThread{0};
std::atomic<uint64_t> gCacheRecord{0};
void CacheUpdate(TStream& payload) {
    uint64_t record = 0;
    payload.ReadU64(record);
    gCacheRecord = record;
    gCacheThread = Kiv::Thread::GetCurrentId();
}

TEST_F(Transactions, NotificationsRunOnTheirThreads) {
    {
        std::lock_guard<std::mutex> hold(gValuesLock);
        gValues.clear();
    }
    gHostCalls = 0;
    gCacheThread = 0;
    Answering answering;
    ScriptedDaemon daemon(database, answering.Script());
    WEXClientOptions options = StartupOptions();
    options.notificationCallback = RecordValue;
    ASSERT_TRUE(WEXOpenDatabase(options));
    SetWEXCommandHostCallback(CommandHost);
    SetWEXCacheUpdateHandler(CacheUpdate);

    const uint64_t record = 0x1122334455667788ull;
    ASSERT_TRUE(daemon.Send(
        ScriptedDaemon::NoteRecord(kNotifyCallbackValue, Words({42})) +
        ScriptedDaemon::NoteRecord(kNotifyCommandHostCall, Words({3})) +
        ScriptedDaemon::NoteRecord(kNotifyCallbackValue, Words({43})) +
        ScriptedDaemon::NoteRecord(kNotifyCacheUpdate, Words({0x55667788, 0x11223344})) +
        ScriptedDaemon::NoteRecord(9, Words({1}))));
    // Type 4 runs on the reader without the main thread's help; 0 and 1 wait for its poll.
    ASSERT_TRUE(Eventually([] { return gCacheThread.load() != 0; }));
    EXPECT_NE(gCacheThread.load(), mainThread);
    EXPECT_EQ(gCacheRecord.load(), record);
    EXPECT_EQ(CountValues(), 0u);
    EXPECT_EQ(gHostCalls.load(), 0);

    ASSERT_TRUE(PollMainThreadUntil([] { return CountValues() == 2 && gHostCalls == 1; }));
    {
        std::lock_guard<std::mutex> hold(gValuesLock);
        EXPECT_EQ(gValues[0], std::make_pair(42u, mainThread));  // in arrival order
        EXPECT_EQ(gValues[1], std::make_pair(43u, mainThread));
    }
    EXPECT_EQ(gHostThread.load(), mainThread);
    // The host's answer goes back as message 141.
    ASSERT_TRUE(Eventually([&] { return answering.Of(kMessageCommandHostAnswer).size() == 1; }));
    EXPECT_EQ(answering.Of(kMessageCommandHostAnswer)[0].payload, Words({1003}));

    // Without a command host a call is dropped without an answer; the queue is left empty.
    SetWEXCommandHostCallback(nullptr);
    ASSERT_TRUE(daemon.Send(ScriptedDaemon::NoteRecord(kNotifyCommandHostCall, Words({3})) +
                            ScriptedDaemon::NoteRecord(kNotifyCallbackValue, Words({44}))));
    ASSERT_TRUE(PollMainThreadUntil([] { return CountValues() == 3; }));
    EXPECT_EQ(CountQueuedNotifications(), 0u);
    std::string answer;
    EXPECT_TRUE(Request(kAsk, "sync", &answer));  // every post before it has arrived
    EXPECT_EQ(answering.Of(kMessageCommandHostAnswer).size(), 1u);
    EXPECT_EQ(gHostCalls.load(), 1);
}

// A request alone on the link reads its own reply, and only that: notifications the daemon sent
// just before and just after it, in the same packet, still run on the reader thread, none is
// lost when the requester stops with them already taken off the link, and none runs twice.
TEST_F(Transactions, ARequesterReadingItsOwnReplyLeavesNotificationsToTheReader) {
    static std::atomic<int> updates{0};
    static std::atomic<int> onRequester{0};
    static std::atomic<uint32_t> requester{0};
    updates = 0;
    onRequester = 0;
    requester = Kiv::Thread::GetCurrentId();
    ScriptedDaemon::Script script;
    script.onFrame = [](ScriptedDaemon& d, const Frame& f) {
        if (f.messageId != kAsk) return true;
        const std::string note = ScriptedDaemon::NoteRecord(kNotifyCacheUpdate, Words({1, 2}));
        return d.Send(note + ScriptedDaemon::ReplyRecord(f.secondWord, "re:" + f.payload) + note);
    };
    ScriptedDaemon daemon(database, script);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    SetWEXCacheUpdateHandler([](TStream&) {
        if (Kiv::Thread::GetCurrentId() == requester) ++onRequester;
        ++updates;
    });
    constexpr int kRequests = 200;
    for (int i = 0; i < kRequests; ++i) {
        std::string answer;
        ASSERT_TRUE(Request(kAsk, std::to_string(i), &answer));
        ASSERT_EQ(answer, "re:" + std::to_string(i));
    }
    EXPECT_TRUE(Eventually([] { return updates.load() == 2 * kRequests; })) << updates.load();
    EXPECT_EQ(onRequester.load(), 0);
    EXPECT_EQ(WEXCountPendingTransactions(), 0u);
}

// A handler that answers with a code of its choosing and records where and what it was asked.
class Handler final : public WEXClientEventHandler {
public:
    explicit Handler(uint32_t code) : code_(code) {}
    uint32_t OnQuestion(const Kiv::PString& question, Kiv::String&, const KUID& asset,
                        uint32_t flag) override {
        text = question.str();
        this->asset = asset;
        this->flag = flag;
        thread = Kiv::Thread::GetCurrentId();
        return code_;
    }
    std::string text;
    KUID asset;
    uint32_t flag = 99;
    std::atomic<uint32_t> thread{0};

private:
    uint32_t code_;
};

TEST_F(Transactions, QuestionsAreAnsweredByTheRequestsHandlerOffTheMainThread) {
    // For kAsk the daemon first asks about the request (and about an id nobody uses), waits
    // for both answers, then replies.
    std::mutex lock;
    std::vector<Frame> answers;
    ScriptedDaemon::Script script;
    uint32_t asking = 0;
    script.onFrame = [&](ScriptedDaemon& d, const Frame& f) {
        if (f.messageId == kAsk) {
            asking = f.secondWord;
            TBuffer question;
            question.WriteU32(f.secondWord);
            question.WritePString(Kiv::PString("Overwrite?"));
            question.WriteKUID(KUID(12, 34, 5));
            TBuffer stray;
            stray.WriteU32(0x7777);
            return d.Send(ScriptedDaemon::NoteRecord(kNotifyEventQuestion, Bytes(question)) +
                          ScriptedDaemon::NoteRecord(kNotifyEventQuestion, Bytes(stray)));
        }
        if (f.messageId == kMessageEventAnswer) {
            std::lock_guard<std::mutex> hold(lock);
            answers.push_back(f);
            if (answers.size() == 2) return d.Send(ScriptedDaemon::ReplyRecord(asking, "done"));
        }
        return true;
    };
    ScriptedDaemon daemon(database, script);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));

    // The main thread polls while another thread's request waits.
    struct Case {
        bool withHandler;
        uint32_t code;
    };
    for (const Case c : {Case{true, 7}, Case{false, kEventAnswerNoHandler}}) {
        {
            std::lock_guard<std::mutex> hold(lock);
            answers.clear();
        }
        Handler handler(c.code);
        std::atomic<bool> done{false};
        std::string reply;
        bool ok = false;
        std::thread requester([&] {
            ok = Request(kAsk, "", &reply, c.withHandler ? &handler : nullptr);
            done = true;
        });
        EXPECT_TRUE(PollMainThreadUntil([&] { return done.load(); }));
        requester.join();
        EXPECT_TRUE(ok);
        EXPECT_EQ(reply, "done");
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_EQ(answers.size(), 2u);
        std::map<std::string, bool> got;
        for (const Frame& f : answers)
            got[f.payload] = true;
        EXPECT_TRUE(got[Words({asking, c.code})]);
        EXPECT_TRUE(got[Words({0x7777, kEventAnswerNoRequest})]);
        if (c.withHandler) {
            EXPECT_EQ(handler.text, "Overwrite?");
            EXPECT_EQ(handler.asset, KUID(12, 34, 5));
            EXPECT_EQ(handler.flag, 0u);
            EXPECT_NE(handler.thread.load(), mainThread);
            EXPECT_NE(handler.thread.load(), 0u);
        }
    }
}

// The daemon's report lines for a request arrive before its reply and land in the request's
// log; a kept log stays reachable under the request's id afterwards, and lines for an id
// without a log are read and dropped.
TEST_F(Transactions, ReportLinesLandInTheRequestsLogBeforeItsReply) {
    ResultsLog lines;
    AddMessage(lines, 3, {}, "Broken texture");
    TBuffer wire;
    lines.WriteToStream(wire, 0);
    const std::string wireBytes = Bytes(wire);

    std::atomic<uint32_t> lastId{0};
    ScriptedDaemon::Script script;
    script.onFrame = [&](ScriptedDaemon& d, const Frame& f) {
        if (f.messageId != kAsk) return true;
        lastId = f.secondWord;
        return d.Send(
            ScriptedDaemon::NoteRecord(kNotifyReportLines, Words({0x5151}) + wireBytes) +
            ScriptedDaemon::NoteRecord(kNotifyReportLines, Words({f.secondWord}) + wireBytes) +
            ScriptedDaemon::ReplyRecord(f.secondWord, "ok"));
    };
    ScriptedDaemon daemon(database, script);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));

    for (bool keep : {false, true}) {
        ResultsLog log;
        TBuffer payload;
        TBuffer reply;
        ASSERT_TRUE(WEXClientTransact(kAsk, payload, &reply, nullptr, &log, keep)) << keep;
        EXPECT_EQ(Bytes(reply), "ok");
        ASSERT_EQ(log.GetCount(), 1u) << keep;  // there when the requester wakes
        EXPECT_EQ(log.GetErrorCount(), 1u);
        EXPECT_EQ(std::string(log.GetEntry(0).text.c_str()), "Broken texture");
        EXPECT_EQ(GlobalResultsMap::Find(lastId), keep ? &log : nullptr) << keep;
    }
    EXPECT_EQ(GlobalResultsMap::Find(0x5151), nullptr);
}

// As start-up installs it: the request wrappers reach the daemon through the link, and the
// content-service cache hears its updates.
TEST_F(Transactions, InstalledLinkCarriesTheWrappersAndTheCacheUpdates) {
    Answering answering;
    ScriptedDaemon daemon(database, answering.Script());
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    TBuffer payload;
    payload.WriteU32(5);
    payload.Rewind();
    TBuffer reply;
    ASSERT_TRUE(WEXSendRequest(kAsk, payload, reply));
    EXPECT_EQ(Bytes(reply), "re:" + Words({5}));

    const uint64_t record = 77;
    WEXVendrixCache::Instance().Insert(record);
    WEXVendrixInfo info;
    info.finished = true;
    info.path = "/tmp/fetched.cdp";
    TBuffer note;
    note.WriteU64(record);
    WEXWriteVendrixInfo(note, info);
    ASSERT_TRUE(daemon.Send(ScriptedDaemon::NoteRecord(kNotifyCacheUpdate, Bytes(note))));
    WEXVendrixInfo cached;
    EXPECT_TRUE(Eventually(
        [&] { return WEXVendrixCache::Instance().Find(record, cached) && cached.finished; }));
    EXPECT_EQ(cached.path, info.path);
    WEXVendrixCache::Instance().Remove(record);
}

TEST_F(Transactions, CloseFreesQueuedNotificationsUnrun) {
    {
        std::lock_guard<std::mutex> hold(gValuesLock);
        gValues.clear();
    }
    Answering answering;
    ScriptedDaemon daemon(database, answering.Script());
    WEXClientOptions options = StartupOptions();
    options.notificationCallback = RecordValue;
    ASSERT_TRUE(WEXOpenDatabase(options));
    ASSERT_TRUE(daemon.Send(ScriptedDaemon::NoteRecord(kNotifyCallbackValue, Words({1}))));
    ASSERT_TRUE(Eventually([] { return CountQueuedNotifications() == 1; }));
    WEXCloseDatabase();
    EXPECT_EQ(CountQueuedNotifications(), 0u);
    RunIdleTasks();  // the posted call finds nothing to run
    EXPECT_EQ(CountValues(), 0u);
}

}  // namespace
