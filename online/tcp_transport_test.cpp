// The TCP transport against raw sockets on loopback.
#include "online/tcp_transport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "online/host_resolver.h"
#include "online/transport_test_support.h"
#include "tests/support/loopback_listener.h"

namespace {

using testsupport::LoopbackListener;

using testsupport::Pattern;

TEST(TCPTransportTest, Moves100KilobytesExactlyBothWays) {
    constexpr size_t kSize = 100 * 1024;
    LoopbackListener listener;
    ASSERT_NE(listener.port(), 0);
    std::vector<uint8_t> received(kSize);
    size_t extra = 0;
    std::thread server([&] {
        int c = listener.Accept();
        if (c < 0) return;
        if (testsupport::RecvAll(c, received.data(), kSize) &&
            testsupport::SendAll(c, received.data(), kSize)) {
            uint8_t b[16];
            ssize_t r;
            while ((r = ::recv(c, b, sizeof b, 0)) > 0)
                extra += static_cast<size_t>(r);
        }
        ::close(c);
    });

    TCPTransport t("127.0.0.1", listener.port());
    ASSERT_EQ(t.GetErrorCode(), NetTransport::kErrorNone);
    ASSERT_GE(t.GetSocket(), 0);
    std::vector<uint8_t> data = Pattern(kSize), back(kSize);
    EXPECT_TRUE(DaemonSocketSendExact(t, data.data(), data.size()));
    EXPECT_TRUE(DaemonSocketReceiveExact(t, back.data(), back.size()));
    t.Close();
    server.join();
    EXPECT_EQ(received, data);
    EXPECT_EQ(back, data);
    EXPECT_EQ(extra, 0u);
}

TEST(TCPTransportTest, ARefusedConnectionLeavesErrorTwoAndNoSocket) {
    uint16_t port;
    {
        LoopbackListener closed;
        port = closed.port();
    }
    for (const char* host : {"127.0.0.1", "localhost", ""}) {
        SCOPED_TRACE(host);
        TCPTransport t(host, port);
        EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorConnect);
        EXPECT_EQ(t.GetSocket(), -1);
        uint8_t b = 0;
        EXPECT_FALSE(DaemonSocketSendExact(t, &b, 1));
        EXPECT_EQ(t.Read(&b, 1), -1);
    }
}

TEST(TCPTransportTest, APeerClosingDuringAnExactReceiveGivesErrorSeven) {
    LoopbackListener listener;
    std::thread server([&] {
        int c = listener.Accept();
        testsupport::SendAll(c, "0123456789", 10);
        ::close(c);
    });
    TCPTransport t("localhost", listener.port());
    ASSERT_EQ(t.GetErrorCode(), NetTransport::kErrorNone);
    char b[20];
    EXPECT_FALSE(DaemonSocketReceiveExact(t, b, sizeof b));
    EXPECT_EQ(std::string(b, 10), "0123456789");
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorIO);
    server.join();
}

TEST(TCPTransportTest, SendingToAPeerThatHasGoneFailsWithoutSigpipe) {
    LoopbackListener listener;
    std::thread server([&] {
        int c = listener.Accept();
        ::close(c);
    });
    TCPTransport t("127.0.0.1", listener.port());
    server.join();
    EXPECT_TRUE(testsupport::SendUntilFailure(t));
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorIO);
}

TEST(TCPTransportTest, UseAfterCloseFailsWithErrorFive) {
    LoopbackListener listener;
    int peer = -1;
    std::thread server([&] { peer = listener.Accept(); });
    TCPTransport t("127.0.0.1", listener.port());
    server.join();
    t.Close();
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorClosed);
    EXPECT_EQ(t.GetSocket(), -1);
    uint8_t b[4] = {1, 2, 3, 4};
    EXPECT_FALSE(DaemonSocketSendExact(t, b, sizeof b));
    EXPECT_FALSE(DaemonSocketReceiveExact(t, b, sizeof b));
    EXPECT_EQ(t.Write(b, sizeof b), -1);
    EXPECT_EQ(t.Read(b, sizeof b), -1);
    EXPECT_FALSE(t.HasData());
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorClosed);
    // The peer sees the connection end.
    EXPECT_EQ(::recv(peer, b, sizeof b, 0), 0);
    ::close(peer);
}

TEST(TCPTransportTest, PeekAndHasDataLeaveTheBytesForRead) {
    LoopbackListener listener;
    int peer = -1;
    std::thread server([&] { peer = listener.Accept(); });
    TCPTransport t("127.0.0.1", listener.port());
    server.join();
    EXPECT_FALSE(t.HasData());
    ASSERT_TRUE(testsupport::SendAll(peer, "abc", 3));
    char b[8] = {};
    EXPECT_EQ(t.Peek(b, 1), 1);
    EXPECT_EQ(b[0], 'a');
    EXPECT_TRUE(t.HasData());
    ASSERT_TRUE(DaemonSocketReceiveExact(t, b, 3));
    EXPECT_EQ(std::string(b, 3), "abc");
    EXPECT_FALSE(t.HasData());
    // An orderly close by the peer reads as the end of the stream.
    ::close(peer);
    EXPECT_EQ(t.Read(b, sizeof b), 0);
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorIO);
}

TEST(TCPTransportTest, ReopenConnectsToTheSameHostOnAnotherPort) {
    LoopbackListener first, second;
    std::thread server([&] { ::close(first.Accept()); });
    TCPTransport t("localhost", first.port());
    server.join();
    int peer = -1;
    std::thread server2([&] { peer = second.Accept(); });
    std::unique_ptr<NetTransport> again = t.Reopen(second.port());
    server2.join();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetErrorCode(), NetTransport::kErrorNone);
    auto* tcp = dynamic_cast<TCPTransport*>(again.get());
    ASSERT_NE(tcp, nullptr);
    EXPECT_EQ(tcp->GetHost(), "localhost");
    EXPECT_EQ(tcp->GetPort(), second.port());
    EXPECT_TRUE(DaemonSocketSendExact(*again, "x", 1));
    char b = 0;
    EXPECT_TRUE(testsupport::RecvAll(peer, &b, 1));
    EXPECT_EQ(b, 'x');
    ::close(peer);
}

TEST(TCPTransportTest, LongHostNamesAreCut) {
    TCPTransport t(std::string(600, 'h'), 1);
    EXPECT_EQ(t.GetHost().size(), TCPTransport::kHostMax);
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorConnect);
}

TEST(TCPTransportTest, DescriptorsAreCloseOnExec) {
    LoopbackListener listener;
    std::thread server([&] { ::close(listener.Accept()); });
    TCPTransport t("127.0.0.1", listener.port());
    server.join();
    ASSERT_GE(t.GetSocket(), 0);
    EXPECT_NE(::fcntl(t.GetSocket(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST(ResolveHostTest, ResolvesLocalNamesWithoutAQuery) {
    struct Case {
        const char* name;
        bool ok;
        const char* address;
    };
    for (Case c : {Case{"localhost", true, "127.0.0.1"}, Case{"LocalHost", true, "127.0.0.1"},
                   Case{"127.0.0.1", true, "127.0.0.1"}, Case{"10.1.2.3", true, "10.1.2.3"},
                   Case{"", false, ""}}) {
        SCOPED_TRACE(c.name);
        sockaddr_in a{};
        ASSERT_EQ(ResolveHost(c.name, 5251, a), c.ok);
        if (!c.ok) continue;
        char text[INET_ADDRSTRLEN];
        EXPECT_STREQ(::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text), c.address);
        EXPECT_EQ(a.sin_family, AF_INET);
        EXPECT_EQ(a.sin_port, htons(5251));
    }
    sockaddr_in a{};
    EXPECT_FALSE(ResolveHost(std::string_view("local\0host", 10), 1, a));
}

}  // namespace
