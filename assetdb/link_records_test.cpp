// Records as the reader reads them from a stream of bytes: replies with and without a
// requester, notifications, lengths from the daemon that announce more than comes or
// more than the limit, and reply bodies that do not fit the caller's stream.
#include "assetdb/link_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Word(uint32_t w) {
    return std::string(reinterpret_cast<const char*>(&w), 4);
}
std::string Reply(uint32_t id, const std::string& body) {
    return Word(kReplyRecordTag) + Word(id) + Word(static_cast<uint32_t>(body.size())) + body;
}
std::string Note(uint32_t type, const std::string& payload) {
    return Word(kNotificationRecordTag) + Word(type) + Word(static_cast<uint32_t>(payload.size())) +
           payload;
}

// Records what the reader hands on; replies of `taken` are taken by a "requester".
struct Sink final : WEXRecordSink {
    uint32_t taken = 0;
    std::vector<std::string> events;
    bool OnReply(uint32_t id, std::unique_ptr<TBuffer> body) override {
        if (id != taken) {
            events.push_back("dropped " + std::to_string(id));
            return false;
        }
        if (body == nullptr) {
            events.push_back("reply " + std::to_string(id) + " lost");
            return true;
        }
        events.push_back(
            "reply " + std::to_string(id) + " read " +
            std::string(reinterpret_cast<const char*>(body->GetData()), body->GetDataLength()) +
            " at " + std::to_string(body->Tell()));
        return true;
    }
    void OnNotification(std::unique_ptr<WEXNotification> n) override {
        std::string payload(reinterpret_cast<const char*>(n->stream.GetData()),
                            n->stream.GetDataLength());
        events.push_back("note " + std::to_string(n->type) + " " + payload + " at " +
                         std::to_string(n->stream.Tell()));
    }
};

TEST(LinkRecords, ReaderHandsOnEachRecordAndStopsAtTheFirstBadOne) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> events;
        bool readToEnd;  // every record was good and the stream ended between records
    };
    const std::string big(70000, 'b');
    const Case cases[] = {
        {"reply taken, read whole by the reader",
         Reply(7, "hello") + Note(4, "xy"),
         {"reply 7 read hello at 0", "note 4 xy at 0"},
         true},
        {"reply nobody waits for: dropped",
         Reply(8, big) + Note(0, "v"),
         {"dropped 8", "note 0 v at 0"},
         true},
        {"empty notification and empty reply",
         Note(2, "") + Reply(7, ""),
         {"note 2  at 0", "reply 7 read  at 0"},
         true},
        {"unknown tag", Note(1, "a") + Word(0x12345678) + Note(1, "b"), {"note 1 a at 0"}, false},
        {"notification cut short", Note(3, "abcdef").substr(0, 15), {}, false},
        {"notification over the limit",
         Word(kNotificationRecordTag) + Word(1) + Word(kMaxLinkRecordLength + 1) + "abc",
         {},
         false},
        // A reply is handed on only once it has come whole.
        {"body over the limit", Word(kReplyRecordTag) + Word(7) + Word(0xFFFFFFFFu), {}, false},
        {"body cut short", Reply(7, "abcdef").substr(0, 14), {}, false},
        {"a large body after a notification",
         Note(1, "a") + Reply(7, big),
         {"note 1 a at 0", "reply 7 read " + big + " at 0"},
         true},
        {"reply header cut short", Word(kReplyRecordTag) + "\x07", {}, false},
    };
    for (const Case& c : cases) {
        WEXMemoryRecordSource source(reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                     c.bytes.size());
        Sink sink;
        sink.taken = 7;
        bool good = true;
        while (good && source.Remaining() > 0)
            good = WEXReadRecord(source, sink);
        EXPECT_EQ(sink.events, c.events) << c.name;
        EXPECT_EQ(good && source.Remaining() == 0, c.readToEnd) << c.name;
    }
}

// A length over the limit stops the reader at once: none of the bytes it announces is read (a
// reader that trusted it would wait for, or take, up to 4 GiB of whatever follows).
TEST(LinkRecords, ALengthOverTheLimitIsRefusedBeforeAnyOfItsBytesAreRead) {
    const std::string after = "abc";
    const uint32_t over = kMaxLinkRecordLength + 1;
    struct Case {
        const char* name;
        std::string bytes;
        bool (*read)(WEXRecordSource& source);
    };
    const Case cases[] = {
        {"notification record", Word(kNotificationRecordTag) + Word(1) + Word(over) + after,
         [](WEXRecordSource& s) {
             Sink sink;
             return WEXReadRecord(s, sink);
         }},
        {"reply record", Word(kReplyRecordTag) + Word(7) + Word(over) + after,
         [](WEXRecordSource& s) {
             Sink sink;
             sink.taken = 7;
             return WEXReadRecord(s, sink);
         }},
        {"reply body", Word(over) + after,
         [](WEXRecordSource& s) {
             TBuffer reply;
             bool fitted = true;
             return WEXReadReplyBody(s, &reply, &fitted);
         }},
        {"notification body", Word(1) + Word(over) + after,
         [](WEXRecordSource& s) { return WEXReadNotificationRecord(s) != nullptr; }},
        {"the largest length", Word(kReplyRecordTag) + Word(7) + Word(0xFFFFFFFFu) + after,
         [](WEXRecordSource& s) {
             Sink sink;
             return WEXReadRecord(s, sink);
         }},
    };
    for (const Case& c : cases) {
        WEXMemoryRecordSource source(reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                     c.bytes.size());
        EXPECT_FALSE(c.read(source)) << c.name;
        EXPECT_EQ(source.Remaining(), after.size()) << c.name;
    }
}

// A body that does not fit the reply stream is still read whole, so the link stays in step.
TEST(LinkRecords, ReplyBodyThatDoesNotFitIsReadToItsEnd) {
    const std::string bytes = Word(6) + "abcdef" + "NEXT";
    WEXMemoryRecordSource source(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    Kiv::DynamicBuffer small(1);
    small.SetAllocationLimit(3);
    TBuffer reply(&small, false);
    bool fitted = true;
    EXPECT_TRUE(WEXReadReplyBody(source, &reply, &fitted));
    EXPECT_FALSE(fitted);
    EXPECT_EQ(source.Remaining(), 4u);
}

}  // namespace
