// The exact-length helpers over a scripted transport: chunking, short transfers, and how
// errors stop them.
#include "online/net_transport.h"

#include "online/transport_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Moves at most `limit` bytes per call from/to memory; fails (-1) once `failAfter` calls ran.
class ScriptedTransport : public NetTransport {
public:
    explicit ScriptedTransport(std::vector<uint8_t> incoming = {}) : in_(std::move(incoming)) {
        Adopt(::open("/dev/null", O_RDWR | O_CLOEXEC));
    }
    int Read(void* buffer, size_t length) override {
        lengths.push_back(length);
        if (Fails()) return -1;
        size_t n = std::min({length, limit, in_.size() - readPos_});
        std::memcpy(buffer, in_.data() + readPos_, n);
        readPos_ += n;
        return static_cast<int>(n);
    }
    int Peek(void*, size_t) override { return -1; }
    int Write(const void* buffer, size_t length) override {
        lengths.push_back(length);
        if (Fails()) return -1;
        size_t n = std::min(length, limit);
        out.insert(out.end(), static_cast<const uint8_t*>(buffer),
                   static_cast<const uint8_t*>(buffer) + n);
        return static_cast<int>(n);
    }
    void Close() override { ShutDownSocket(); }
    std::unique_ptr<NetTransport> Reopen(uint16_t) override { return nullptr; }
    bool HasData() override { return readPos_ < in_.size(); }

    size_t limit = SIZE_MAX;
    size_t failAfter = SIZE_MAX;
    std::vector<size_t> lengths;
    std::vector<uint8_t> out;

private:
    bool Fails() const { return lengths.size() > failAfter; }
    std::vector<uint8_t> in_;
    size_t readPos_ = 0;
};

using testsupport::Pattern;

TEST(ExactTransferTest, SendsInChunksOfAtMost32768AndFollowsShortWrites) {
    struct Case {
        size_t size;
        size_t limit;
    };
    for (Case c : {Case{100000, SIZE_MAX}, Case{70000, 1000}, Case{32768, SIZE_MAX}, Case{1, 1}}) {
        SCOPED_TRACE(c.size);
        ScriptedTransport t;
        t.limit = c.limit;
        std::vector<uint8_t> data = Pattern(c.size);
        ASSERT_TRUE(DaemonSocketSendExact(t, data.data(), data.size()));
        EXPECT_EQ(t.out, data);
        for (size_t len : t.lengths)
            EXPECT_LE(len, kNetChunkMax);
        EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorNone);
    }
}

TEST(ExactTransferTest, ReceivesExactlyAndStopsAtTheEndOfTheStream) {
    std::vector<uint8_t> data = Pattern(80000);
    ScriptedTransport t(data);
    t.limit = 5000;
    std::vector<uint8_t> got(70000);
    ASSERT_TRUE(DaemonSocketReceiveExact(t, got.data(), got.size()));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
    for (size_t len : t.lengths)
        EXPECT_LE(len, kNetChunkMax);

    // 10000 bytes remain; asking for more meets the end of the stream.
    EXPECT_FALSE(DaemonSocketReceiveExact(t, got.data(), 20000));
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorIO);
}

TEST(ExactTransferTest, AFailedCallSetsErrorSevenAndLaterCallsMoveNothing) {
    ScriptedTransport t;
    t.limit = 100;
    t.failAfter = 2;
    std::vector<uint8_t> data = Pattern(1000);
    EXPECT_FALSE(DaemonSocketSendExact(t, data.data(), data.size()));
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorIO);
    EXPECT_EQ(t.out.size(), 200u);

    size_t calls = t.lengths.size();
    EXPECT_FALSE(DaemonSocketSendExact(t, data.data(), data.size()));
    EXPECT_EQ(t.lengths.size(), calls);
}

TEST(ExactTransferTest, AClosedTransportKeepsErrorFiveAndMovesNothing) {
    ScriptedTransport t(Pattern(10));
    t.Close();
    EXPECT_EQ(t.GetSocket(), -1);
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorClosed);
    uint8_t b[4] = {};
    EXPECT_FALSE(DaemonSocketSendExact(t, b, sizeof b));
    EXPECT_FALSE(DaemonSocketReceiveExact(t, b, sizeof b));
    EXPECT_TRUE(t.lengths.empty());
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorClosed);
}

}  // namespace
