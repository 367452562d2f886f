#include "online/offline_box.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"
#include "tests/support/temp_dir.h"

namespace {

std::unique_ptr<OnlineMessage> Message(const char* to, const char* note) {
    auto m = std::make_unique<VersionedMessage>();
    m->kuid = KUID(7, 8, 2);
    m->text = to;
    m->payload.EnsureContainer();
    TDBContainerTag::SetString(m->payload, Kiv::PString("note"), Kiv::PString(note));
    m->version = 9;
    return m;
}

std::string NoteOf(const OnlineMessage& m) {
    return TDBContainerTag::GetString(m.payload, Kiv::PString("note")).c_str();
}

std::string Bytes(const StoredMessageList& box) {
    TBuffer buffer;
    EXPECT_TRUE(SaveOfflineBox(buffer, box));
    return std::string(reinterpret_cast<const char*>(buffer.GetData()), buffer.GetDataLength());
}

TEST(OfflineBox, RoundTripKeepsAssetNameAndPayloadInOrder) {
    StoredMessageList box;
    box.push_back(Message("bob", "one"));
    box.push_back(Message("carol", "two"));
    const std::string bytes = Bytes(box);
    EXPECT_EQ(bytes.substr(0, 4), "TBOX");
    TBuffer file(bytes.data(), static_cast<uint32_t>(bytes.size()));
    StoredMessageList loaded;
    ASSERT_TRUE(LoadOfflineBox(file, loaded));
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0]->kuid, KUID(7, 8, 2));
    EXPECT_EQ(loaded[0]->text, "bob");
    EXPECT_EQ(NoteOf(*loaded[1]), "two");
    EXPECT_EQ(dynamic_cast<VersionedMessage*>(loaded[0].get()), nullptr)
        << "a box keeps the plain form";
}

TEST(OfflineBox, ForeignBytesLeaveTheBoxAndCutRecordsAreDropped) {
    StoredMessageList three;
    for (const char* note : {"a", "b", "c"})
        three.push_back(Message("bob", note));
    std::string whole = Bytes(three);

    StoredMessageList held;
    held.push_back(Message("kept", "kept"));
    std::string wrongMagic = whole, wrongVersion = whole;
    wrongMagic[0] = 'X';
    wrongVersion[4] = 2;
    for (const std::string& bytes : {wrongMagic, wrongVersion, whole.substr(0, 6)}) {
        TBuffer file(bytes.data(), static_cast<uint32_t>(bytes.size()));
        EXPECT_FALSE(LoadOfflineBox(file, held));
        ASSERT_EQ(held.size(), 1u);
        EXPECT_EQ(held[0]->text, "kept");
    }

    // A count far beyond the bytes, and the file cut inside the last record.
    const uint32_t hugeCount = 0x7FFFFFFF;
    std::memcpy(whole.data() + 8, &hugeCount, 4);
    for (size_t cut : {whole.size(), whole.size() - 1}) {
        TBuffer file(whole.data(), static_cast<uint32_t>(cut));
        StoredMessageList loaded;
        EXPECT_TRUE(LoadOfflineBox(file, loaded));
        EXPECT_EQ(loaded.size(), cut == whole.size() ? 3u : 2u) << cut;
    }
}

size_t BoxSize(const std::string& path) {
    StoredMessageList box;
    EXPECT_TRUE(ReadOfflineBox(path, box)) << path;
    return box.size();
}

TEST(OfflineBox, FilesAreReplacedWholeOrNotAtAll) {
    testsupport::TempDir dir;
    const std::string path = dir / "offline-outbox.tbox";
    EXPECT_EQ(BoxSize(path), 0u) << "no file, no messages";
    StoredMessageList box;
    box.push_back(Message("bob", "one"));
    ASSERT_TRUE(WriteOfflineBox(path, box));
    ASSERT_EQ(BoxSize(path), 1u);

    // A box that cannot be written (its folder is gone) leaves nothing half written.
    EXPECT_FALSE(WriteOfflineBox(dir / "gone/offline-outbox.tbox", box));
    EXPECT_FALSE(std::filesystem::exists(dir / "gone"));

    // Someone else's file is read as nothing and reported, so that no one writes over it.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "not a box at all";
    StoredMessageList foreign;
    EXPECT_FALSE(ReadOfflineBox(path, foreign));
    EXPECT_TRUE(foreign.empty());
}

}  // namespace
