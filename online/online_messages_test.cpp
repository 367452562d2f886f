#include "online/online_messages.h"

#include <gtest/gtest.h>

#include <cstring>

#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"

namespace {

TDBTagRef Payload(const char* value) {
    TDBTagRef tree;
    tree.EnsureContainer();
    TDBContainerTag::SetString(tree, Kiv::PString("note"), Kiv::PString(value));
    return tree;
}

std::string NoteOf(const OnlineMessage& m) {
    return TDBContainerTag::GetString(m.payload, Kiv::PString("note")).c_str();
}

StoredMessageList Roundtrip(const StoredMessageList& list) {
    TBuffer buffer;
    EXPECT_TRUE(SaveStoredMessages(buffer, list));
    buffer.Rewind();
    StoredMessageList loaded;
    EXPECT_TRUE(LoadStoredMessages(buffer, loaded));
    return loaded;
}

TEST(OnlineMessages, PlainMessagesSaveAsVersionedZeroAndFalse) {
    StoredMessageList list;
    auto plain = std::make_unique<OnlineMessage>();
    plain->kuid = KUID(12, 34, 2);
    plain->text = "hello";
    plain->payload = Payload("one");
    list.push_back(std::move(plain));
    auto versioned = std::make_unique<VersionedMessage>();
    versioned->kuid = KUID(-5, 6, 127);
    versioned->text = std::string(300, 't');
    versioned->version = 77;
    versioned->flag = true;
    list.push_back(std::move(versioned));

    StoredMessageList loaded = Roundtrip(list);
    ASSERT_EQ(loaded.size(), 2u);
    auto* first = dynamic_cast<VersionedMessage*>(loaded[0].get());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->kuid, KUID(12, 34, 2));
    EXPECT_EQ(first->text, "hello");
    EXPECT_EQ(NoteOf(*first), "one");
    EXPECT_EQ(first->version, 0u);
    EXPECT_FALSE(first->flag);
    auto* second = dynamic_cast<VersionedMessage*>(loaded[1].get());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->kuid, KUID(-5, 6, 127));
    EXPECT_EQ(second->text, std::string(300, 't'));
    EXPECT_TRUE(second->payload.IsEmpty()) << "no payload travels as an empty soup";
    EXPECT_EQ(second->version, 77u);
    EXPECT_TRUE(second->flag);
}

TEST(OnlineMessages, BadFilesLeaveTheListOrKeepOnlyWholeRecords) {
    StoredMessageList held;
    held.push_back(std::make_unique<OnlineMessage>());
    held.back()->text = "kept";

    // Too short for the version word, and a version other than 1: the list stays.
    for (TBuffer* file : {new TBuffer("\x01\x00", 2), new TBuffer("\x02\0\0\0\0\0\0\0", 8)}) {
        std::unique_ptr<TBuffer> owned(file);
        EXPECT_FALSE(LoadStoredMessages(*file, held));
        ASSERT_EQ(held.size(), 1u);
        EXPECT_EQ(held[0]->text, "kept");
    }
    TBuffer shortVersion("\x01\x00", 2);
    LoadStoredMessages(shortVersion, held);
    EXPECT_EQ(shortVersion.GetError(), TStream::kErrorShortRead);

    // Count 0 empties the list.
    TBuffer empty("\x01\0\0\0\0\0\0\0", 8);
    EXPECT_TRUE(LoadStoredMessages(empty, held));
    EXPECT_TRUE(held.empty());

    // Three records, the file cut inside the third; a count far beyond the bytes.
    StoredMessageList three;
    for (const char* t : {"a", "b", "c"}) {
        three.push_back(std::make_unique<VersionedMessage>());
        three.back()->text = t;
        three.back()->payload = Payload(t);
    }
    TBuffer whole;
    ASSERT_TRUE(SaveStoredMessages(whole, three));
    std::string bytes(reinterpret_cast<const char*>(whole.GetData()), whole.GetDataLength());
    const uint32_t hugeCount = 0x7FFFFFFF;
    std::memcpy(bytes.data() + 4, &hugeCount, 4);
    for (size_t cut : {bytes.size() - 1, bytes.size() - 5, bytes.size()}) {
        TBuffer file(bytes.data(), static_cast<uint32_t>(cut));
        StoredMessageList loaded;
        EXPECT_TRUE(LoadStoredMessages(file, loaded));
        ASSERT_EQ(loaded.size(), cut == bytes.size() ? 3u : 2u) << cut;
        EXPECT_EQ(loaded[0]->text, "a");
        EXPECT_EQ(loaded[1]->text, "b");
        EXPECT_EQ(NoteOf(*loaded[1]), "b");
    }
}

TEST(OnlineMessages, GroupMessageCarriesItsCookieInterned) {
    GroupMessage m;
    m.kuid = KUID(1, 2);
    m.text = "hi";
    m.cookie = "group-7";
    TBuffer buffer;
    ASSERT_TRUE(m.Write(buffer));
    const uint8_t* d = buffer.GetData();
    // KUID (8), text (4 + 2), cookie: length counting the NUL, then the bytes and the NUL.
    uint32_t cookieLength;
    std::memcpy(&cookieLength, d + 14, 4);
    EXPECT_EQ(cookieLength, 8u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d + 18), 8), std::string("group-7\0", 8));
    buffer.Rewind();
    GroupMessage back;
    ASSERT_TRUE(back.Read(buffer));
    EXPECT_EQ(back.cookie, "group-7");
    EXPECT_EQ(back.text, "hi");
    EXPECT_EQ(back.kuid, KUID(1, 2));
}

}  // namespace
