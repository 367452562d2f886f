#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/tbuffer.h"
#include "validation/results_log.h"
#include "validation/results_test_support.h"

namespace {

using resultstest::Kuid;
using resultstest::Read;
using resultstest::Recorder;
using resultstest::Wire;

// Bytes from hex digits; blanks are for reading only.
std::string Hex(std::string_view digits) {
    std::string out;
    int high = -1;
    for (char c : digits) {
        if (c == ' ') continue;
        int v = c <= '9' ? c - '0' : c - 'a' + 10;
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>(high * 16 + v);
            high = -1;
        }
    }
    return out;
}

std::string U32(uint32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

// Two entries: an information "ok" without parameter, an error "x" about <kuid:1:2>.
const std::string kTwoEntries =
    Hex("00000000 02000000"
        " 01000000 02000000 6f6b 00000000"
        " 03000000 01000000 78"
        "   08000000 01000000 00 0b000000 3c6b7569643a313a323e00");

void FillTwoEntries(ResultsLog& log) {
    AddMessage(log, kResultsInfo, {}, "ok");
    AddMessage(log, kResultsError, Kuid(1, 2), "x");
}

TEST(ResultsLogWire, WritesTheGoldenBytes) {
    ResultsLog empty;
    EXPECT_EQ(Wire(empty), std::string(8, '\0'));

    ResultsLog log;
    FillTwoEntries(log);
    EXPECT_EQ(Wire(log), kTwoEntries);
}

TEST(ResultsLogWire, WritesFromAnyFirstIndex) {
    ResultsLog log;
    FillTwoEntries(log);
    EXPECT_EQ(Wire(log, 1), Hex("00000000 01000000") + kTwoEntries.substr(8 + 14));
    EXPECT_EQ(Wire(log, 2), std::string(8, '\0'));
    // A first index past the end writes no entries and a count of 0, not a wrapped count.
    EXPECT_EQ(Wire(log, 3), std::string(8, '\0'));
    EXPECT_EQ(Wire(log, 0xFFFFFFFF), std::string(8, '\0'));
}

TEST(ResultsLogWire, ATextOverTheStringLimitGoesAsAnEmptyText) {
    ResultsLog log;
    AddMessage(log, kResultsWarning, {}, std::string(65536, 'a'));
    AddMessage(log, kResultsWarning, {}, std::string(65535, 'b'));
    std::string bytes = Wire(log);
    EXPECT_EQ(bytes.substr(0, 20), Hex("00000000 02000000 02000000 00000000 00000000"));
    EXPECT_EQ(bytes.substr(20, 8), Hex("02000000 ffff0000"));

    ResultsLog back;
    Read(back, bytes);
    EXPECT_EQ(back.GetEntry(0).text.str(), "");
    EXPECT_EQ(back.GetEntry(1).text.Length(), 65535u);
}

TEST(ResultsLogWire, ReadingAppendsCountsAndWritesBackTheSameBytes) {
    ResultsLog log;
    uint32_t error = 99;
    Read(log, kTwoEntries, &error);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(log.GetCount(), 2u);
    EXPECT_EQ(log.GetEntry(0).text.str(), "ok");
    EXPECT_TRUE(log.GetEntry(0).parameter.IsEmpty());
    EXPECT_EQ(log.GetEntry(1).parameter.GetText().str(), "<kuid:1:2>");
    EXPECT_EQ(log.GetErrorCount(), 1u);
    EXPECT_EQ(Wire(log), kTwoEntries);

    // A second reading adds to what is there.
    Read(log, kTwoEntries);
    EXPECT_EQ(log.GetCount(), 4u);
    EXPECT_EQ(log.GetErrorCount(), 2u);
    EXPECT_EQ(Wire(log, 2), kTwoEntries);

    // Every severity, KUIDs with versions and a negative user id survive the trip.
    ResultsLog mixed;
    for (uint32_t severity : {1u, 2u, 3u, 4u, 5u})
        AddMessage(mixed, severity, Kuid(3, 77, severity), "m" + std::to_string(severity));
    AddMessage(mixed, kResultsError, Kuid(-3, 77, 127), "negative user");
    std::string bytes = Wire(mixed);
    ResultsLog back;
    Read(back, bytes);
    EXPECT_EQ(Wire(back), bytes);
    EXPECT_EQ(back.GetEntry(2).parameter.GetText().str(), "<kuid2:3:77:3>");
    EXPECT_EQ(back.GetEntry(5).parameter.GetText().str(), "<kuid:-3:77>");
    EXPECT_EQ(back.GetWarningCount(), 1u);
    EXPECT_EQ(back.GetSuccessCount(), 1u);
}

TEST(ResultsLogWire, BadBytesKeepWhatWasWholeAndAlwaysTellThePipes) {
    const std::string entry = kTwoEntries.substr(8, 14);  // "ok", no parameter
    struct Case {
        const char* what;
        std::string bytes;
        uint32_t entries;  // read into the log
        uint32_t error;    // the buffer's error code afterwards
    };
    const uint32_t kShort = TStream::kErrorShortRead;
    const Case cases[] = {
        {"format word 1", Hex("01000000 01000000") + entry, 0, 0},
        {"no bytes at all", "", 0, kShort},
        {"format word cut short", Hex("0000"), 0, kShort},
        {"no count", Hex("00000000"), 0, kShort},
        {"a huge count over two entries", Hex("00000000 ffffffff") + entry + entry, 2, kShort},
        {"count over the entries", Hex("00000000 03000000") + entry, 1, kShort},
        {"text cut short", Hex("00000000 02000000") + entry + Hex("01000000 05000000 6162"), 1,
         kShort},
        {"text longer than a string may be",
         Hex("00000000 02000000") + entry + Hex("01000000 00000100") + std::string(70000, 'a'), 1,
         TStream::kErrorTooLong},
        {"parameter cut short", kTwoEntries.substr(0, kTwoEntries.size() - 3), 1, kShort},
        {"severity cut short", Hex("00000000 02000000") + entry + Hex("0100"), 1, kShort},
        {"fewer entries than bytes", Hex("00000000 01000000") + entry + entry, 1, 0},
    };
    for (const Case& c : cases) {
        ResultsLog log;
        AddMessage(log, kResultsInfo, {}, "kept");
        Recorder viewer;
        NuMessageRecipient::ConnectPipe(log, 1, viewer, 2);
        uint32_t error = 99;
        Read(log, c.bytes, &error);
        EXPECT_EQ(log.GetCount(), 1 + c.entries) << c.what;
        EXPECT_EQ(log.GetEntry(0).text.str(), "kept") << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(viewer.Names(), std::vector<std::string>{"list-updated"}) << c.what;
        EXPECT_FALSE(log.IsReported()) << c.what;
    }
}

TEST(ResultsLogWire, AParameterOfAnotherKindArrivesAsNone) {
    std::string bytes = Hex("00000000 01000000 03000000 01000000 78") + U32(5) + U32(2) + "n" +
                        std::string(1, '\0') + U32(2) + "v" + std::string(1, '\0');
    ResultsLog log;
    uint32_t error = 99;
    Read(log, bytes, &error);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(log.GetCount(), 1u);
    EXPECT_TRUE(log.GetEntry(0).parameter.IsEmpty());
    EXPECT_EQ(log.GetErrorCount(), 1u);
}

TEST(ResultsLogWire, ReadsFromTheBuffersPosition) {
    TBuffer buffer;
    buffer.WriteU32(0xABCDu);
    buffer.Write(kTwoEntries.data(), static_cast<uint32_t>(kTwoEntries.size()));
    buffer.WriteU32(0x1234u);
    buffer.Rewind();
    EXPECT_EQ(buffer.ReadU32Value(), 0xABCDu);
    ResultsLog log;
    ResultsLog::ReadFromBuffer(buffer, log);
    EXPECT_EQ(log.GetCount(), 2u);
    EXPECT_EQ(buffer.ReadU32Value(), 0x1234u);  // the reader stopped right behind the log
}

}  // namespace
