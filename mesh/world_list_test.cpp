#include "mesh/world_list.h"

#include <gtest/gtest.h>

#include "foundation/tbuffer.h"

namespace {

// An item that saves one word, and remembers what it was told.
class Counter : public WorldListItem {
public:
    explicit Counter(uint32_t value = 0, uint32_t flags = 1) : value(value), flags(flags) {}
    uint32_t GetTypeCode() const override { return kSavedType; }
    uint32_t GetFlags() const override { return flags; }
    void Update() override { ++updates; }
    void Receive(uint32_t message, uint32_t) override { received = message; }
    void Save(TStream& s) override { s.WriteU32(value); }
    void Load(TStream& s) override { s.ReadU32(value); }
    void WriteState(TStream& s) override {
        s.WriteU32(value);
        s.WriteU32(WorldList::CurrentListValue());
    }
    void LoadState(TStream& s, const KUID& kuid) override {
        s.ReadU32(value);
        s.ReadU32(seenValue);
        loadedKuid = kuid;
        seenList = WorldList::CurrentLoadingList();
    }
    void WriteSecond(TStream& s) override { s.WriteU32(value * 2); }
    void LoadSecond(TStream& s) override { s.ReadU32(second); }
    const KUID& GetKUID() const override { return kuid; }

    uint32_t value, flags, updates = 0, received = 0, seenValue = 0, second = 0;
    KUID kuid = KUID(1, 2, 0), loadedKuid;
    WorldList* seenList = nullptr;
};

class CounterFactory : public WorldItemFactory {
public:
    CounterFactory() : WorldItemFactory(WorldListItem::kSavedType, Kiv::PString("counter")) {}
    std::unique_ptr<WorldFactoryItem> Make() override { return std::make_unique<Counter>(); }
};

TEST(WorldList, AddRemoveAndPutFollowTheSlotRules) {
    WorldList list;
    Counter a, b, c, d, e;
    EXPECT_EQ(list.Add(&a), 0);
    EXPECT_EQ(list.Add(&a), -1);  // already in a list
    list.ReserveSlot(2);
    EXPECT_EQ(list.Add(&b), 4);  // 2 is reserved
    EXPECT_EQ(list.Add(&c), 6);
    EXPECT_EQ(list.GetSlotCount() % 2, 0u);
    list.Remove(&b);  // slot 4 below the remembered 8
    EXPECT_EQ(b.GetList(), nullptr);
    EXPECT_EQ(b.GetSlot(), -1);
    EXPECT_EQ(list.Add(&d), 4);
    EXPECT_TRUE(list.Put(&e, 2));  // a reserved slot can be put into
    list.Remove(&e);               // and leaves the reserved set
    EXPECT_EQ(list.Add(&e), 8);
    Counter f;
    EXPECT_FALSE(list.Put(&f, 4));  // taken
    EXPECT_TRUE(list.Put(&f, 101));
    EXPECT_EQ(list.GetSlotCount(), 102u);
    Counter g;
    EXPECT_FALSE(list.Put(&g, WorldList::kMaxSlots));
}

TEST(WorldList, UpdateAndBroadcastReachTheRightItems) {
    WorldList list;
    Counter a(0, 1), b(0, 3), c(0, 2);
    list.Add(&a);
    list.Add(&b);
    list.Add(&c);
    list.Update();
    EXPECT_EQ(a.updates + b.updates + c.updates, 3u);
    list.Receive(7, 2);  // mask 3: b only
    EXPECT_EQ(b.received, 7u);
    EXPECT_EQ(a.received, 0u);
    EXPECT_EQ(c.received, 0u);
}

TEST(WorldList, SavesAndLoadsItsItems) {
    WorldList empty;
    TBuffer bytes;
    empty.Save(bytes);
    EXPECT_EQ(bytes.GetDataLength(), 16u);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(bytes.GetData())[0], 12u);

    WorldList list;
    Counter a(11), b(22);
    list.Add(&a);
    list.Add(&b);
    TBuffer saved;
    list.Save(saved);
    saved.WriteU32(0xABCDu);  // what follows the list
    a.value = b.value = 0;
    saved.Rewind();
    list.Load(saved);
    EXPECT_EQ(a.value, 11u);
    EXPECT_EQ(b.value, 22u);
    uint32_t after = 0;
    saved.ReadU32(after);
    EXPECT_EQ(after, 0xABCDu);

    // A list with fewer slots stops at the first record it has no slot for.
    WorldList small;
    Counter only(0);
    small.Add(&only);
    saved.Rewind();
    small.Load(saved);
    EXPECT_EQ(only.value, 11u);
    saved.ReadU32(after);
    EXPECT_EQ(after, 0xABCDu);
}

TEST(WorldList, DamagedListsAreSkippedWhole) {
    WorldList list;
    Counter a(5);
    list.Add(&a);
    TBuffer saved;
    list.Save(saved);
    auto bytesOf = [&] {
        return std::vector<uint8_t>(saved.GetData(), saved.GetData() + saved.GetDataLength());
    };
    struct Case {
        const char* label;
        size_t word;
        uint32_t value;
    };
    for (const Case& c : std::vector<Case>{{"magic", 1, 0xFEEDCEEC},
                                           {"version", 2, 2},
                                           {"unpatched record", 4, 0xFEEDCEEB},
                                           {"record past the list", 4, 1000}}) {
        auto b = bytesOf();
        std::memcpy(b.data() + 4 * c.word, &c.value, 4);
        b.push_back(0x77);
        TBuffer in(b.data(), static_cast<uint32_t>(b.size()));
        a.value = 0;
        list.Load(in);
        EXPECT_EQ(a.value, 0u) << c.label;
        uint8_t next = 0;
        in.ReadU8(next);
        EXPECT_EQ(next, 0x77) << c.label;  // behind the list
    }
}

TEST(WorldList, SelectiveSaveAndLoadMakeItemsInTheirSlots) {
    CounterFactory factory;
    WorldList list;
    list.SetListValue(99);
    auto* a = new Counter(7, 1);
    auto* b = new Counter(8, 3);
    list.Add(a);
    list.Add(b);
    TBuffer saved;
    list.SelectiveSave(saved, 2, 2);  // b only
    EXPECT_EQ(WorldList::CurrentListValue(), 0xFFFFFFFFu);

    WorldList other;
    saved.Rewind();
    other.SelectiveLoad(saved, true);
    auto* made = dynamic_cast<Counter*>(other.GetItem(2));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(other.GetItem(0), nullptr);
    EXPECT_EQ(made->value, 8u);
    EXPECT_EQ(made->seenValue, 99u);  // the list value while it wrote
    EXPECT_EQ(made->loadedKuid, KUID(1, 2, 0));
    EXPECT_EQ(made->seenList, &other);
    EXPECT_EQ(made->second, 16u);
    EXPECT_EQ(other.GetListValue(), 0u);  // restored after the load
    EXPECT_EQ(WorldList::CurrentLoadingList(), nullptr);

    other.DeleteSelected(0, 0);
    EXPECT_EQ(other.GetItem(2), nullptr);
    list.DeleteAll();
    EXPECT_EQ(list.GetSlotCount(), 0u);
}

TEST(WorldList, SelectiveLoadOfOlderVersionsAndHostileSlots) {
    CounterFactory factory;
    auto words = [](std::vector<uint32_t> w) {
        return std::vector<uint8_t>(reinterpret_cast<uint8_t*>(w.data()),
                                    reinterpret_cast<uint8_t*>(w.data() + w.size()));
    };
    const uint32_t kType = WorldListItem::kSavedType;
    struct Case {
        const char* label;
        std::vector<uint32_t> stream;
        uint32_t slot;   // where an item should stand
        uint32_t value;  // its loaded value
    };
    std::vector<Case> cases = {
        {"version 1", {1, 4, kType, 8, 42, 0, 0xFFFFFFFF}, 4, 42},
        {"version 3 with KUID", {3, 6, kType, 5, 0x02000001, 8, 43, 0, 0xFFFFFFFF}, 6, 43},
        {"version 4, section without magic",
         {4, 2, kType, 5, 0, 8, 44, 0, 0xFFFFFFFF, 12, 2, kType, 4, 9, 0xFFFFFFFF},
         2,
         44},
        {"slot past the cap", {1, WorldList::kMaxSlots, kType, 8, 1, 0, 0xFFFFFFFF}, 0, 0},
        {"block past the end", {1, 4, kType, 100, 42}, 4, 0},
        {"huge block", {1, 4, kType, 0x1000000, 42}, 4, 0},
        {"version 6", {6, 4, kType, 8, 42, 0, 0xFFFFFFFF}, 4, 0},
    };
    for (const Case& c : cases) {
        WorldList list;
        auto b = words(c.stream);
        TBuffer in(b.data(), static_cast<uint32_t>(b.size()));
        list.SelectiveLoad(in, false);
        auto* item = dynamic_cast<Counter*>(list.GetItem(c.slot));
        if (c.value == 0) {
            EXPECT_TRUE(item == nullptr || item->value == 0) << c.label;
        } else {
            ASSERT_NE(item, nullptr) << c.label;
            EXPECT_EQ(item->value, c.value) << c.label;
        }
        EXPECT_LE(list.GetSlotCount(), WorldList::kMaxSlots) << c.label;
        list.DeleteAll();
    }
    TBuffer empty;
    WorldList list;
    list.SelectiveLoad(empty, false);
    EXPECT_EQ(empty.GetError(), TStream::kErrorShortRead);
}

TEST(WorldPosition, NormalisesIntoTiles) {
    struct Case {
        float offset;
        int16_t tile;
        float expected;
    };
    for (const Case& c : std::vector<Case>{{-0.5f, 9, 719.5f},
                                           {719.95f, 11, -0.05f},
                                           {100, 10, 100},
                                           {1440, 12, 0},
                                           {-720, 9, 0}}) {
        WorldPosition p;
        p.tileX = p.tileZ = 10;
        p.x = p.z = c.offset;
        p.Normalise();
        EXPECT_EQ(p.normalised, 1);
        EXPECT_EQ(p.tileX, c.tile) << c.offset;
        EXPECT_NEAR(p.x, c.expected, 1e-3) << c.offset;
        EXPECT_EQ(p.tileZ, c.tile);
    }
}

}  // namespace
