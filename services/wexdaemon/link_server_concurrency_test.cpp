// The link server and dispatcher in this process with handlers of the test's own: a request
// that runs long does not hold up the link's other requests, a handler's note reaches the
// client before its reply, and a failing handler still gets its one (empty) reply.
#include <future>
#include <stdexcept>

#include "services/wexdaemon/daemon_test_support.h"
#include "services/wexdaemon/link_server.h"
#include "services/wexdaemon/request_dispatcher.h"

namespace {

using wexdtest::FrameBytes;
using wexdtest::ScriptedClient;

const std::string kDatabase = "/daemon-test/UserData/assets.wbi";

TEST(LinkServerTest, LongRequestsRunBesideTheOthersAndNotesGoFirst) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> beforeReply{0};

    wexd::RequestTable table;
    table.Add(500, "long", wexd::kRequestRunsLong, [released](wexd::RequestContext& c) {
        released.wait();
        c.Reply().WriteString("long");
    });
    table.Add(501, "short", 0, [](wexd::RequestContext& c) {
        uint32_t id = c.TransactionId();
        EXPECT_TRUE(c.SendNote(wexd::kNoteResultsLog, &id, 4));
        c.Reply().WriteString("short");
    });
    table.Add(502, "failing", 0, [](wexd::RequestContext& c) {
        c.Reply().WriteString("half");
        throw std::runtime_error("broken");
    });
    wexd::RequestDispatcher dispatcher(table, {[&] { ++beforeReply; }, {}});
    wexd::LinkServer server(dispatcher, [](const wexd::ClientHello& hello, std::string& why) {
        why = "another database";
        return hello.databasePath == kDatabase;
    });
    std::string error;
    ASSERT_TRUE(server.Listen(error)) << error;
    server.Start();
    dispatcher.SetReady();

    ScriptedClient client(server.Port());
    ASSERT_TRUE(client.Hello(kDatabase));
    ASSERT_TRUE(client.Send(FrameBytes(500, 1, "") + FrameBytes(501, 2, "")));
    // The long request waits on its job thread; the short one is answered meanwhile, its
    // note first.
    std::optional<wexdtest::Record> note = client.Next();
    ASSERT_TRUE(note);
    EXPECT_EQ(note->tag, wexd::kNoteTag);
    EXPECT_EQ(note->word, wexd::kNoteResultsLog);
    EXPECT_EQ(note->bytes, wexdtest::Word(2));
    std::optional<wexdtest::Record> shortReply = client.Next();
    ASSERT_TRUE(shortReply);
    EXPECT_EQ(shortReply->tag, wexd::kReplyTag);
    EXPECT_EQ(shortReply->word, 2u);
    EXPECT_EQ(shortReply->bytes, wexdtest::Word(5) + "short");

    release.set_value();
    std::optional<wexdtest::Record> longReply = client.Next();
    ASSERT_TRUE(longReply);
    EXPECT_EQ(longReply->word, 1u);
    EXPECT_EQ(longReply->bytes, wexdtest::Word(4) + "long");

    std::optional<wexdtest::Record> failed = client.Request(502, 3, "");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->word, 3u);
    EXPECT_EQ(failed->bytes, "");
    EXPECT_EQ(beforeReply.load(), 3);
    EXPECT_TRUE(wexdtest::WaitFor([&] { return dispatcher.RunningJobs() == 0; }));

    dispatcher.Shutdown();
    server.Stop();
    EXPECT_TRUE(client.ClosedByDaemon());
}

TEST(LinkServerTest, ManyLinksAtOnceEachGetTheirOwnReplies) {
    wexd::RequestTable table;
    table.Add(600, "echo", wexd::kRequestRunsLong, [](wexd::RequestContext& c) {
        uint32_t v = c.Payload().ReadU32Value();
        c.Reply().WriteU32(v * 2);
    });
    wexd::RequestDispatcher dispatcher(table, {});
    wexd::LinkServer server(dispatcher, {});
    std::string error;
    ASSERT_TRUE(server.Listen(error)) << error;
    server.Start();
    dispatcher.SetReady();

    constexpr int kLinks = 8;
    constexpr uint32_t kRequests = 50;
    std::vector<std::thread> clients;
    std::atomic<int> good{0};
    for (int l = 0; l < kLinks; ++l) {
        clients.emplace_back([&, l] {
            ScriptedClient client(server.Port());
            if (!client.Hello(kDatabase)) return;
            std::string burst;
            for (uint32_t t = 1; t <= kRequests; ++t)
                burst += FrameBytes(600, t, wexdtest::Word(t + 1000 * l));
            if (!client.Send(burst)) return;
            // Long requests may finish in any order; each transaction answers its own.
            std::vector<bool> seen(kRequests + 1, false);
            for (uint32_t n = 0; n < kRequests; ++n) {
                std::optional<wexdtest::Record> r = client.Next();
                if (!r || r->word == 0 || r->word > kRequests || seen[r->word]) return;
                if (r->bytes != wexdtest::Word(2 * (r->word + 1000 * l))) return;
                seen[r->word] = true;
            }
            ++good;
        });
    }
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(good.load(), kLinks);
    dispatcher.Shutdown();
    server.Stop();
}

}  // namespace
