#include "services/wexdaemon/wire_format.h"

#include <gtest/gtest.h>

#include "services/wexdaemon/daemon_test_support.h"

namespace {

using wexd::FrameStatus;
using wexd::HelloStatus;
using wexdtest::Word;

wexd::MemoryByteSource Source(const std::string& bytes) {
    return wexd::MemoryByteSource(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(WireFormatTest, HelloIsReadWholeOrRefused) {
    const std::string path = "/inst/UserData/assets.wbi";
    const std::string good = wexdtest::HelloBytes(path, 0);
    struct Case {
        const char* what;
        std::string bytes;
        HelloStatus status;
    };
    const Case cases[] = {
        {"whole", good, HelloStatus::kOk},
        {"empty path", wexdtest::HelloBytes(""), HelloStatus::kOk},
        {"nothing", "", HelloStatus::kEnded},
        {"cut in the path", good.substr(0, good.size() - 1), HelloStatus::kEnded},
        {"cut in a word", good.substr(0, 10), HelloStatus::kEnded},
        {"another tag", Word(wexd::kHelloDaemonTag) + good.substr(4), HelloStatus::kBadTag},
        {"another version", Word(wexd::kHelloClientTag) + Word(361) + good.substr(8),
         HelloStatus::kBadVersion},
        // A huge length is refused before anything is allocated for it.
        {"path too long",
         good.substr(0, 16) + Word(wexd::kMaxHelloPathBytes + 1) + std::string(8, 'x'),
         HelloStatus::kPathTooLong},
        {"longest path", wexdtest::HelloBytes(std::string(wexd::kMaxHelloPathBytes, 'p')),
         HelloStatus::kOk},
    };
    for (const Case& c : cases) {
        auto source = Source(c.bytes);
        wexd::ClientHello hello;
        EXPECT_EQ(wexd::ReadClientHello(source, hello), c.status) << c.what;
    }
    auto source = Source(good);
    wexd::ClientHello hello;
    ASSERT_EQ(wexd::ReadClientHello(source, hello), HelloStatus::kOk);
    EXPECT_EQ(hello.databasePath, path);
    EXPECT_EQ(hello.clientFlag, 0u);
    EXPECT_EQ(hello.build, wexd::kLinkBuild);
}

TEST(WireFormatTest, FramesGoodbyeAndBrokenFrames) {
    struct Case {
        const char* what;
        std::string bytes;
        FrameStatus status;
        uint32_t id;
        uint32_t transaction;
        std::string payload;
    };
    const std::string big(wexd::kFrameReadStep + 5, 'b');
    const Case cases[] = {
        {"request", wexdtest::FrameBytes(20, 7, "abc"), FrameStatus::kFrame, 20, 7, "abc"},
        {"post", wexdtest::FrameBytes(50, 0, ""), FrameStatus::kFrame, 50, 0, ""},
        {"payload over one read step", wexdtest::FrameBytes(2, 1, big), FrameStatus::kFrame, 2, 1,
         big},
        {"goodbye", Word(1), FrameStatus::kGoodbye, 1, 0, ""},
        {"end between frames", "", FrameStatus::kEnded, 0, 0, ""},
        {"end in the id", "\x14\x00", FrameStatus::kTruncated, 0, 0, ""},
        {"end in the length", Word(20) + Word(7) + "\x03", FrameStatus::kTruncated, 20, 7, ""},
        {"end in the payload", Word(20) + Word(7) + Word(4) + "abc", FrameStatus::kTruncated, 20, 7,
         ""},
        // Claimed but never sent: refused by the bytes that came, not by a 64 MiB buffer.
        {"longest length, no bytes", Word(20) + Word(7) + Word(wexd::kMaxFrameBytes),
         FrameStatus::kTruncated, 20, 7, ""},
        {"over the cap", Word(20) + Word(7) + Word(wexd::kMaxFrameBytes + 1), FrameStatus::kTooLong,
         20, 7, ""},
    };
    for (const Case& c : cases) {
        auto source = Source(c.bytes);
        wexd::Frame frame;
        ASSERT_EQ(wexd::ReadFrame(source, frame), c.status) << c.what;
        EXPECT_EQ(frame.messageId, c.id) << c.what;
        if (c.status == FrameStatus::kGoodbye) continue;
        EXPECT_EQ(frame.transactionId, c.transaction) << c.what;
        EXPECT_EQ(std::string(frame.payload.begin(), frame.payload.end()), c.payload) << c.what;
    }
}

TEST(WireFormatTest, RecordsAreTagWordLengthLittleEndian) {
    EXPECT_EQ(wexd::EncodeRecordHeader(wexd::kReplyTag, 0x01020304, 5),
              (std::vector<uint8_t>{'l', 'p', 'e', 'r', 4, 3, 2, 1, 5, 0, 0, 0}));
    std::vector<uint8_t> hello = wexd::EncodeDaemonHello();
    ASSERT_EQ(hello.size(), 12u);
    EXPECT_EQ(std::string(hello.begin(), hello.begin() + 4), "DXEW");
}

}  // namespace
