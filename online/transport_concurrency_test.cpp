// Threads meeting on one transport as the daemon link uses it (a reader thread receiving while
// others send and finally close), and lookups from many threads at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "online/host_resolver.h"
#include "online/net_startup.h"
#include "online/tcp_transport.h"
#include "tests/support/loopback_listener.h"

namespace {

TEST(TransportConcurrencyTest, CloseWakesAReaderBlockedInAnExactReceive) {
    testsupport::LoopbackListener listener;
    int peer = -1;
    std::thread accept([&] { peer = listener.Accept(); });
    TCPTransport t("127.0.0.1", listener.port());
    accept.join();
    ASSERT_EQ(t.GetErrorCode(), NetTransport::kErrorNone);

    // The peer answers every 4-byte frame with the same frame.
    std::thread echo([&] {
        uint8_t frame[4];
        while (testsupport::RecvAll(peer, frame, sizeof frame))
            if (!testsupport::SendAll(peer, frame, sizeof frame)) break;
    });

    constexpr uint32_t kFrames = 200;
    std::atomic<uint32_t> received{0};
    std::atomic<bool> readerFailed{false};
    std::thread reader([&] {
        uint32_t frame;
        while (DaemonSocketReceiveExact(t, &frame, sizeof frame))
            received.fetch_add(1);
        readerFailed = true;
    });
    std::vector<std::thread> senders;
    std::atomic<uint32_t> sent{0};
    for (int s = 0; s < 2; ++s)
        senders.emplace_back([&] {
            static std::mutex sendLock;  // the daemon link serialises its frames
            for (uint32_t i = 0; i < kFrames / 2; ++i) {
                std::lock_guard<std::mutex> lock(sendLock);
                if (DaemonSocketSendExact(t, &i, sizeof i)) sent.fetch_add(1);
            }
        });
    for (auto& s : senders)
        s.join();
    while (received.load() < kFrames && t.GetErrorCode() == NetTransport::kErrorNone)
        std::this_thread::yield();
    EXPECT_EQ(sent.load(), kFrames);
    EXPECT_EQ(received.load(), kFrames);

    t.Close();  // the reader is blocked in recv now
    reader.join();
    EXPECT_TRUE(readerFailed.load());
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorClosed);
    echo.join();
    ::close(peer);
}

TEST(TransportConcurrencyTest, LookupsFromManyThreadsEachGetTheirOwnAnswer) {
    ASSERT_TRUE(NetStartup());
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    std::atomic<int> failed{0}, mixedUp{0};
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([i, &failed, &mixedUp] {
            for (int n = 0; n < 20; ++n) {
                std::string name = "127.0.0." + std::to_string(i + 1);
                sockaddr_in a{};
                if (!ResolveHost(name, static_cast<uint16_t>(n), a))
                    failed.fetch_add(1);
                else if (a.sin_addr.s_addr != htonl(0x7F000001u + static_cast<uint32_t>(i)) ||
                         a.sin_port != htons(static_cast<uint16_t>(n)))
                    mixedUp.fetch_add(1);
            }
        });
    // A stop in between fails at most the lookup each thread has queued at that moment.
    StopResolverThread();
    for (auto& t : threads)
        t.join();
    NetShutdown();
    EXPECT_EQ(mixedUp.load(), 0);
    EXPECT_LE(failed.load(), kThreads);
    sockaddr_in a{};
    EXPECT_TRUE(ResolveHost("localhost", 1, a));
}

}  // namespace
