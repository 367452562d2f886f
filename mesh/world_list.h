// WorldList: a numbered collection of world items with stable slot numbers, a broadcast of calls
// to its items, and the save and load of its items' state on a TStream. Script libraries' objects
// are its items. Also the normalisation of world positions into 720 m tiles.
//
// Saved list (all u32):  size (of what follows), 0xFEEDCEEB, version 1,
//                        per item of type code 0x6A6E4F62 {slot, record size, item's bytes},
//                        0xFFFFFFFF
// Selective save:        version 5, the list value,
//                        per selected item {slot, type code, KUID (8 bytes), u32 size + the
//                        item's state}, 0xFFFFFFFF,
//                        second section: size, 0xFEEDCEEB, version 5, the list value,
//                        per selected item {slot, type code, u32 size + the item's second
//                        block}, 0xFFFFFFFF
// Versions 1 and 2 of the selective form carry no KUID in a record ({slot, type code, u32 size
// + state}); version 3 adds it; version 4 adds the second section (without a list value in a
// section of version 0 or 1).
//
// Reading never trusts the bytes: a slot number of 2^20 or more, a block size above 0xFFFFFF or
// one that passes the end of the stream ends the reading, and every item reads from a window
// over its own block, so it can neither read another's bytes nor leave the stream misplaced.
#pragma once

#include <cstdint>
#include <memory>
#include <set>

#include "configdata/kuid.h"
#include "foundation/paged_array.h"
#include "foundation/tstream.h"
#include "platform/kiv/base/pstring.h"

class WorldList;

// The common base of world objects.
class WorldBaseItem {
public:
    virtual ~WorldBaseItem() = default;
    // The state a selective save keeps.
    virtual void WriteState(TStream& stream) { (void)stream; }
    virtual void Update() {}
    virtual uint32_t GetFlags() const { return 0; }
    virtual void Receive(uint32_t message, uint32_t mask) {
        (void)message;
        (void)mask;
    }
    // The item's block of a selective save's second section.
    virtual void WriteSecond(TStream& stream) { (void)stream; }
    virtual void Load(TStream& stream) { (void)stream; }
    virtual void Save(TStream& stream) { (void)stream; }
};

// What a factory's product is.
class WorldFactoryItem {
public:
    virtual ~WorldFactoryItem() = default;
};

class IdentifiableType {
public:
    virtual ~IdentifiableType() = default;
    virtual uint32_t GetTypeCode() const { return 0; }
};

class WorldListItem : public WorldBaseItem, public WorldFactoryItem, public IdentifiableType {
public:
    // Items of this type code take part in saving and loading.
    static constexpr uint32_t kSavedType = 0x6A6E4F62;

    ~WorldListItem() override;
    WorldList* GetList() const { return list_; }
    int32_t GetSlot() const { return slot_; }

    // The item's asset; the base answers the null KUID.
    virtual const KUID& GetKUID() const;
    virtual void OnAdded(WorldList& list) { (void)list; }
    virtual void OnRemoved(WorldList& list) { (void)list; }
    // A selective load's state block and its KUID; the block is a window over its own bytes.
    virtual void LoadState(TStream& block, const KUID& kuid) {
        (void)block;
        (void)kuid;
    }
    // A selective load's second-section block.
    virtual void LoadSecond(TStream& block) { (void)block; }

private:
    friend class WorldList;
    WorldList* list_ = nullptr;
    int32_t slot_ = -1;
};

// A maker of items of one type code, registered process-wide while it lives.
class WorldItemFactory {
public:
    WorldItemFactory(uint32_t typeCode, const Kiv::PString& name);
    virtual ~WorldItemFactory();
    WorldItemFactory(const WorldItemFactory&) = delete;
    WorldItemFactory& operator=(const WorldItemFactory&) = delete;
    uint32_t GetTypeCode() const { return typeCode_; }
    const Kiv::PString& GetName() const { return name_; }
    virtual std::unique_ptr<WorldFactoryItem> Make() = 0;

    // An item of the type code from the first factory registered with it; none without one.
    static std::unique_ptr<WorldFactoryItem> CreateItem(uint32_t typeCode);

private:
    uint32_t typeCode_;
    Kiv::PString name_;
};

// Told of every addition and removal.
class WorldListObserver {
public:
    virtual ~WorldListObserver() = default;
    virtual void ItemAdded(WorldListItem& item) = 0;
    virtual void ItemRemoved(WorldListItem& item) = 0;
    virtual void Clear() = 0;
};

class WorldList : public WorldBaseItem {
public:
    static constexpr uint32_t kMagic = 0xFEEDCEEB;
    static constexpr uint32_t kEnd = 0xFFFFFFFF;
    static constexpr uint32_t kMaxSlots = 1u << 20;
    static constexpr uint32_t kMaxBlock = 0xFFFFFF;

    WorldList() = default;
    ~WorldList() override;
    WorldList(const WorldList&) = delete;
    WorldList& operator=(const WorldList&) = delete;

    // The lowest free even slot that is not reserved; -1 when the item is in a list already.
    int32_t Add(WorldListItem* item);
    // Into exactly that slot; false when the item is in a list, the slot is taken, or the slot
    // is 2^20 or more.
    bool Put(WorldListItem* item, uint32_t slot);
    void Remove(WorldListItem* item);
    // A slot Add passes over until an item is put there and removed again.
    void ReserveSlot(uint32_t slot) { reserved_.insert(slot); }

    WorldListItem* GetItem(uint32_t slot) const {
        return slot < slots_ ? items_.Get(slot) : nullptr;
    }
    uint32_t GetSlotCount() const { return slots_; }
    void SetObserver(WorldListObserver* observer) { observer_ = observer; }
    uint32_t GetListValue() const { return listValue_; }
    void SetListValue(uint32_t value) { listValue_ = value; }

    void Update() override;
    // Every item whose flags hold all bits of the mask (bit 0 always set) receives the message.
    void Receive(uint32_t message, uint32_t mask) override;
    void Save(TStream& stream) override;
    void Load(TStream& stream) override;

    // An item is selected when its flags masked with the mask equal the value masked with it.
    void SelectiveSave(TStream& stream, uint32_t mask, uint32_t value);
    // deleteFirst: every item is deleted before reading.
    void SelectiveLoad(TStream& stream, bool deleteFirst);
    void DeleteSelected(uint32_t mask, uint32_t value);
    void DeleteAll();

    // What items see while they write or load state: the list value (-1 at other times) and
    // the list loading them (none at other times).
    static uint32_t CurrentListValue();
    static WorldList* CurrentLoadingList();

private:
    void Grow(uint32_t slots);
    bool Selected(const WorldListItem& item, uint32_t mask, uint32_t value) const;
    // One block of a selective load: its size, then a window handed to `read`; false ends the
    // reading.
    template <typename F>
    bool ReadBlock(TStream& stream, F read);

    BlockArray<WorldListItem*> items_;
    uint32_t slots_ = 0;
    uint32_t lowestFreeEven_ = 0, lowestFreeOdd_ = 1;
    std::set<uint32_t> reserved_;
    WorldListObserver* observer_ = nullptr;
    uint32_t listValue_ = 0;
};

// A world position: tile numbers and offsets in metres inside the tile.
struct WorldPosition {
    int16_t tileX = 0, tileZ = 0;
    float x = 0, z = 0;
    uint8_t normalised = 0;
    // Each offset into [0, 720) m of its tile (an offset just below an edge moves over it).
    void Normalise();
};
