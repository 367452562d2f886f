// The command host: reading the daemon's calls, the answer of each call, what is let go after
// each, and the loop against a scripted daemon (registration, calls answered as 141, the
// keep-alive on the 100th pass, the end when the daemon goes).
#include "assetdb/command_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "assetdb/daemon_link.h"
#include "assetdb/daemon_link_test_support.h"
#include "assetdb/notifications.h"
#include "assetdb/reader_thread.h"
#include "assetdb/request_test_support.h"
#include "assetdb/resource_cache_flush.h"
#include "assetdb/spec_registry.h"
#include "foundation/main_thread.h"
#include "foundation/tbuffer.h"
#include "tests/support/scripted_daemon.h"
#include "validation/results_log.h"

namespace {

using requesttest::Bytes;
using requesttest::Wire;
using testsupport::ScriptedDaemon;

std::atomic<int> gLeakReports{0};

class CountingRegistry : public SpecRegistry {
public:
    void ReportLeaks() override { ++gLeakReports; }
};

// Runs one call; the answer's bytes.
Bytes Call(const Bytes& payload) {
    TBuffer in(payload.data(), static_cast<uint32_t>(payload.size()));
    TBuffer out;
    CommandHostCallback(in, out);
    return Bytes(out.GetData(), out.GetData() + out.GetDataLength());
}

// An answer's log lines and what follows them.
struct Answer {
    std::vector<std::string> lines;
    std::unique_ptr<TBuffer> rest = std::make_unique<TBuffer>();
};
Answer Read(const Bytes& bytes) {
    Answer a;
    a.rest->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    a.rest->Rewind();
    ResultsLog log;
    ResultsLog::ReadFromBuffer(*a.rest, log);
    log.ForEachEntry([&](const ResultsLogEntry& e) {
        a.lines.push_back(std::to_string(e.severity) + " " + e.text.str());
    });
    return a;
}

class CommandHostCalls : public ::testing::Test {
protected:
    void SetUp() override {
        RecordMainThreadId();
        SetSpecRegistryFactory(
            []() -> std::unique_ptr<SpecRegistry> { return std::make_unique<CountingRegistry>(); });
        CreateSpecRegistry();
        WEXSetCommandHostCalls({});
        gLeakReports = 0;
        flushes_ = CountResourceCacheFlushes();
    }
    void TearDown() override {
        DestroySpecRegistry();
        SetSpecRegistryFactory(nullptr);
        WEXSetCommandHostCalls({});
    }
    // Leak reports and flushes since SetUp.
    int Reports() const { return gLeakReports.load(); }
    uint32_t Flushes() const { return CountResourceCacheFlushes() - flushes_; }

    uint32_t flushes_ = 0;
};

Wire Validate() {
    return Wire().U32(0).Name("local").Name("/data/local/kuid 1 2");
}
Wire Textures() {
    return Wire().U32(1).Name("local").Text("/data/local/kuid 1 2");
}
Wire Archive(uint32_t id, uint32_t count) {
    Wire w;
    w.U32(id).U32(0x1234).Name("/tmp/a.crak").U32(count);
    for (uint32_t i = 0; i < count; ++i)
        w.Kuid(1, static_cast<int32_t>(i));
    return w;
}

TEST_F(CommandHostCalls, ReadsEveryCallAndRefusesShortOnes) {
    struct Case {
        const char* why;
        Bytes payload;
        bool whole;
        uint32_t id;
        size_t assets;
    };
    const Bytes validate = Validate(), textures = Textures(), save = Archive(2, 2),
                install = Archive(3, 3);
    auto cut = [](Bytes b, size_t n) {
        b.resize(b.size() - n);
        return b;
    };
    const Case cases[] = {
        {"validate", validate, true, 0, 0},
        {"textures", textures, true, 1, 0},
        {"save", save, true, 2, 2},
        {"install", install, true, 3, 3},
        {"install of none", Archive(3, 0), true, 3, 0},
        {"unknown id", Wire().U32(9), true, 9, 0},
        {"nothing", Bytes{}, false, 0, 0},
        {"a short id", Bytes{1, 0}, false, 0, 0},
        {"validate without its folder", cut(validate, 3), false, 0, 0},
        {"textures without all of the folder", cut(textures, 1), false, 1, 0},
        {"save short of an id", cut(save, 4), false, 2, 0},
        {"install without its count", Wire().U32(3).U32(1).Name("/a"), false, 3, 0},
        {"a count far past the ids", Wire().U32(3).U32(1).Name("/a").U32(0xFFFFFFFF).Kuid(1, 1),
         false, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TBuffer in(c.payload.data(), static_cast<uint32_t>(c.payload.size()));
        WEXCommandHostCall call;
        EXPECT_EQ(ReadCommandHostCall(in, call), c.whole);
        EXPECT_EQ(call.id, c.id);
        if (c.whole) {
            EXPECT_EQ(call.assets.size(), c.assets);
        }
    }
    TBuffer in(install.data(), static_cast<uint32_t>(install.size()));
    WEXCommandHostCall call;
    ASSERT_TRUE(ReadCommandHostCall(in, call));
    EXPECT_EQ(call.archiveWord, 0x1234u);
    EXPECT_EQ(call.archivePath, "/tmp/a.crak");
    EXPECT_EQ(call.assets[2], KUID(1, 2));
}

TEST_F(CommandHostCalls, CallsWithoutTheirWorkSaySoInTheirAnswer) {
    Answer v = Read(Call(Validate()));
    EXPECT_EQ(v.lines, std::vector<std::string>{std::string("3 ") + kValidationNotAvailable});
    uint8_t byte = 9;
    EXPECT_TRUE(v.rest->ReadU8(byte));
    EXPECT_EQ(byte, 0);
    EXPECT_TRUE(v.rest->AtEnd());

    Answer t = Read(Call(Textures()));
    EXPECT_EQ(t.lines, std::vector<std::string>{std::string("3 ") + kTexturesNotAvailable});
    uint32_t word = 9;
    EXPECT_TRUE(t.rest->ReadU32(word));
    EXPECT_EQ(word, 0u);
    EXPECT_TRUE(t.rest->AtEnd());

    // Without an installer every requested id is answered as not installed.
    Answer i = Read(Call(Archive(3, 2)));
    uint32_t count = 0;
    EXPECT_TRUE(i.rest->ReadU32(count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Reports(), 3);
    EXPECT_EQ(Flushes(), 3u);

    // Unknown and short calls: empty answers; only the unknown one read its payload.
    EXPECT_TRUE(Call(Wire().U32(7)).empty());
    EXPECT_TRUE(Call(Bytes{1, 2}).empty());
    Bytes cutSave = Archive(2, 1);
    cutSave.resize(cutSave.size() - 3);
    EXPECT_TRUE(Call(cutSave).empty());
    EXPECT_EQ(Reports(), 4);
    EXPECT_EQ(Flushes(), 4u);
}

TEST_F(CommandHostCalls, CallsAnswerWhatTheirWorkDid) {
    WEXCommandHostCalls calls;
    calls.validate = [](const Kiv::PString& location, std::string_view folder, ResultsLog& log) {
        AddMessage(log, kResultsInfo, HalvexPropertyRef(),
                   Kiv::String(location.str() + ":" + std::string(folder)));
        return true;
    };
    calls.convertTextures = [](const Kiv::PString&, std::string_view, ResultsLog&) { return 2u; };
    calls.saveToDisk = [](uint32_t word, std::string_view, const std::vector<KUID>& assets,
                          ResultsLog&) { return word == 0x1234 && assets.size() == 2; };
    // Installs the even ones.
    calls.install = [](uint32_t, std::vector<KUID>& assets, std::string_view, ResultsLog&) {
        std::erase_if(assets, [](const KUID& k) { return k.contentId % 2 == 0; });
        return true;
    };
    WEXSetCommandHostCalls(calls);

    Answer v = Read(Call(Validate()));
    EXPECT_EQ(v.lines, std::vector<std::string>{"1 local:/data/local/kuid 1 2"});
    uint8_t byte = 0;
    v.rest->ReadU8(byte);
    EXPECT_EQ(byte, 1);
    Answer t = Read(Call(Textures()));
    uint32_t word = 0;
    t.rest->ReadU32(word);
    EXPECT_EQ(word, 2u);
    Answer s = Read(Call(Archive(2, 2)));
    s.rest->ReadU32(word);
    EXPECT_EQ(word, 1u);
    Answer i = Read(Call(Archive(3, 4)));
    uint32_t count = 0;
    i.rest->ReadU32(count);
    ASSERT_EQ(count, 2u);
    KUID left;
    i.rest->ReadKUID(left);
    EXPECT_EQ(left, KUID(1, 1));
    i.rest->ReadKUID(left);
    EXPECT_EQ(left, KUID(1, 3));
    EXPECT_TRUE(i.rest->AtEnd());
    EXPECT_EQ(Reports(), 4);
    EXPECT_EQ(Flushes(), 4u);
}

// --- the loop against a scripted daemon -----------------------------------------------------

class CommandHostLoop : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        WEXInstallClientLink();
        RecordMainThreadId();
        WEXCommandHostTiming timing;
        timing.passWaitMs = 1;
        SetWEXCommandHostTiming(timing);
    }
    void TearDown() override {
        SetWEXCommandHostTiming({});
        WEXSetCommandHostCalls({});
        WEXClientSetDaemonLaunchBarred(false);
        LinkTest::TearDown();
    }
};

TEST_F(CommandHostLoop, RegistersServesKeepsAliveAndEndsWithItsDaemon) {
    std::mutex lock;
    std::vector<ScriptedDaemon::Frame> frames;
    std::atomic<uint32_t> passesAtFirstKeepAlive{0};
    ScriptedDaemon::Script script;
    script.onFrame = [&](ScriptedDaemon& d, const ScriptedDaemon::Frame& f) {
        {
            std::lock_guard<std::mutex> hold(lock);
            frames.push_back(f);
        }
        if (f.messageId == kMessageRegisterCommandHost)
            // A call of id 3 with no ids once registered.
            return d.Send(ScriptedDaemon::NoteRecord(
                kNotifyCommandHostCall,
                linktest::Words({3, 7, 2}) + std::string("/\0", 2) + linktest::Words({0})));
        if (f.messageId == kMessageKeepAlive) {
            if (passesAtFirstKeepAlive == 0) passesAtFirstKeepAlive = WEXCommandHostPasses();
            d.Send(ScriptedDaemon::ReplyRecord(f.secondWord, ""));
            // The daemon goes once it has been kept alive twice.
            std::lock_guard<std::mutex> hold(lock);
            int alive = 0;
            for (const auto& seen : frames)
                alive += seen.messageId == kMessageKeepAlive;
            return alive < 2;
        }
        return true;
    };
    ScriptedDaemon daemon(database, script);
    WEXCommandHostCalls calls;
    calls.install = [](uint32_t, std::vector<KUID>&, std::string_view, ResultsLog&) {
        return true;
    };
    WEXSetCommandHostCalls(calls);
    WEXClientSetDaemonLaunchBarred(true);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    std::thread stopper([&] {
        // Whatever happens, the daemon goes in the end.
        for (int i = 0; i < 3000 && WEXClientIsLinkUp(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        daemon.Stop();
    });
    EXPECT_EQ(WEXCommandHost(), 0);
    stopper.join();
    EXPECT_FALSE(GetWEXCommandHostCallback()) << "the callback slot is emptied";
    EXPECT_EQ(passesAtFirstKeepAlive.load(), 100u) << "none on pass 99, one on pass 100";
    EXPECT_GE(WEXCommandHostPasses(), 200u);
    EXPECT_EQ(WEXCommandHostKeepAlives(), 2u);

    std::lock_guard<std::mutex> hold(lock);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0].messageId, kMessageRegisterCommandHost);
    EXPECT_EQ(frames[0].secondWord, 0u) << "a post";
    EXPECT_TRUE(frames[0].payload.empty());
    // The call's answer: an empty log (format 0, count 0) and no ids left.
    EXPECT_EQ(frames[1].messageId, kMessageCommandHostAnswer);
    EXPECT_EQ(frames[1].payload, linktest::Words({0, 0, 0}));
    WEXCloseDatabase();
}

}  // namespace
