// The daemon's command host: one host at a time, calls answered by the next 141, and every way
// a call fails (no host to be had, a host that never registers, dies, never answers or answers
// nothing) said, with the call's edits reverted and a started host ended.
#include "services/wexdaemon/command_host_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

// A host's link: records the notes sent on it; answers through the manager as told.
class FakeLink : public wexd::NoteSink {
public:
    explicit FakeLink(uint64_t id) : id_(id) {}
    bool SendNote(uint32_t type, const void* bytes, uint32_t length) override {
        if (gone) return false;
        const auto* p = static_cast<const uint8_t*>(bytes);
        std::lock_guard<std::mutex> hold(lock_);
        notes.push_back({type, std::vector<uint8_t>(p, p + length)});
        if (onNote) onNote();
        return true;
    }
    uint64_t LinkId() const override { return id_; }
    bool IsGone() const override { return gone; }

    std::atomic<bool> gone{false};
    std::function<void()> onNote;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> notes;

private:
    uint64_t id_;
    std::mutex lock_;
};

class HostManager : public testing::Test {
protected:
    wexd::CommandHostManager::Options Options() {
        wexd::CommandHostManager::Options o;
        o.callLimit = 300ms;
        o.registerWait = 500ms;
        o.logFile = dir / "host.log";
        o.revert = [this](uint64_t handle) { reverted.push_back(handle); };
        return o;
    }
    std::string Script(const std::string& body) {
        std::string path = dir / "HalvexUtil";
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0700);
        return path;
    }
    testsupport::TempDir dir;
    std::vector<uint64_t> reverted;
    const std::vector<uint8_t> payload{3, 0, 0, 0};
};

TEST_F(HostManager, ACallGoesOutAsANoteAndTheNext141IsItsAnswer) {
    wexd::CommandHostManager host(Options());
    auto link = std::make_shared<FakeLink>(5);
    auto other = std::make_shared<FakeLink>(6);
    link->onNote = [&] {
        // An answer on another link is no answer; the host's is.
        host.Answer(6, "x", 1);
        host.NoteHandle(5, 77);
        host.Answer(5, "ok", 2);
    };
    host.Register(link);
    host.Register(other);  // one host at a time: ignored
    EXPECT_EQ(host.HostLink(), 5u);
    std::vector<uint8_t> answer;
    std::string why;
    ASSERT_TRUE(host.Call(payload, answer, why)) << why;
    EXPECT_EQ(std::string(answer.begin(), answer.end()), "ok");
    ASSERT_EQ(link->notes.size(), 1u);
    EXPECT_EQ(link->notes[0].first, wexd::kNoteCommandHostCall);
    EXPECT_EQ(link->notes[0].second, payload);
    EXPECT_TRUE(other->notes.empty());
    EXPECT_TRUE(reverted.empty()) << "a call that succeeded keeps its edits";
    // An answer nobody waits for changes nothing.
    host.Answer(5, "late", 4);
}

TEST_F(HostManager, EveryFailureIsSaidAndUndone) {
    struct Case {
        const char* why;
        std::function<void(wexd::CommandHostManager::Options&)> options;
        std::function<void(wexd::CommandHostManager&, std::shared_ptr<FakeLink>&)> setUp;
        const char* said;
        bool reverts;
    };
    const Case cases[] = {
        {"no program to start", [](auto&) {}, [](auto&, auto&) {}, "no command host is registered",
         false},
        {"the program is missing", [this](auto& o) { o.program = dir / "bin/HalvexUtil"; },
         [](auto&, auto&) {}, "there is no ", false},
        {"a host that ends at once", [this](auto& o) { o.program = Script("exit 0"); },
         [](auto&, auto&) {}, "ended before it registered", false},
        {"a host that never registers", [this](auto& o) { o.program = Script("sleep 30"); },
         [](auto&, auto&) {}, "did not register in time", false},
        {"a host that never answers", [](auto&) {},
         [](wexd::CommandHostManager& m, std::shared_ptr<FakeLink>& link) {
             link->onNote = [&m] { m.NoteHandle(9, 41); };
             m.Register(link);
         },
         "did not answer in time", true},
        {"a host that answers nothing", [](auto&) {},
         [](wexd::CommandHostManager& m, std::shared_ptr<FakeLink>& link) {
             link->onNote = [&m] {
                 m.NoteHandle(9, 41);
                 m.Answer(9, "", 0);
             };
             m.Register(link);
         },
         "answered nothing", true},
        {"a host whose link drops", [](auto&) {},
         [](wexd::CommandHostManager& m, std::shared_ptr<FakeLink>& link) {
             link->onNote = [&m, l = link.get()] {
                 m.NoteHandle(9, 41);
                 l->gone = true;
             };
             m.Register(link);
         },
         "link dropped", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        reverted.clear();
        auto options = Options();
        c.options(options);
        wexd::CommandHostManager host(options);
        auto link = std::make_shared<FakeLink>(9);
        c.setUp(host, link);
        std::vector<uint8_t> answer{1};
        std::string why;
        EXPECT_FALSE(host.Call(payload, answer, why));
        EXPECT_NE(why.find(c.said), std::string::npos) << why;
        EXPECT_TRUE(answer.empty());
        EXPECT_EQ(reverted, c.reverts ? std::vector<uint64_t>{41} : std::vector<uint64_t>{});
        EXPECT_EQ(host.HostLink(), 0u) << "the next call gets a fresh host";
        EXPECT_EQ(host.LaunchedHost(), 0u) << "a started host is ended";
    }
}

TEST_F(HostManager, CallsTakeTurns) {
    wexd::CommandHostManager host(Options());
    auto link = std::make_shared<FakeLink>(5);
    std::atomic<int> inside{0}, most{0};
    link->onNote = [&] {
        int now = ++inside;
        most = std::max(most.load(), now);
        std::thread([&] {
            std::this_thread::sleep_for(20ms);
            --inside;
            host.Answer(5, "a", 1);
        }).detach();
    };
    host.Register(link);
    std::vector<std::thread> callers;
    std::atomic<int> ok{0};
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([&] {
            std::vector<uint8_t> answer;
            std::string why;
            if (host.Call(payload, answer, why)) ++ok;
        });
    for (auto& t : callers)
        t.join();
    EXPECT_EQ(ok.load(), 4);
    EXPECT_EQ(most.load(), 1);
    std::this_thread::sleep_for(50ms);
}

}  // namespace
