#include "mesh/world_list.h"

#include <atomic>
#include <cmath>

#include "foundation/tsubfile.h"
#include "mesh/mesh_statics.h"

namespace {

std::atomic<uint32_t> gCurrentListValue{0xFFFFFFFF};
std::atomic<WorldList*> gLoadingList{nullptr};

// Publishes the list value (and the loading list) for the time of one item's call.
class Published {
public:
    Published(WorldList* list, uint32_t value)
        : value_(gCurrentListValue.exchange(value)), list_(gLoadingList.exchange(list)) {}
    ~Published() {
        gCurrentListValue = value_;
        gLoadingList = list_;
    }

private:
    uint32_t value_;
    WorldList* list_;
};

bool ReadWord(TStream& s, uint32_t& out) {
    return s.ReadBytes(&out, 4) == 4;
}

}  // namespace

// --- items and factories ---------------------------------------------------------------------

WorldListItem::~WorldListItem() {
    if (list_ != nullptr) list_->Remove(this);
}

const KUID& WorldListItem::GetKUID() const {
    static const KUID kNull;  // (-1, -1, 127)
    return kNull;
}

WorldItemFactory::WorldItemFactory(uint32_t typeCode, const Kiv::PString& name)
    : typeCode_(typeCode), name_(name) {
    WorldListMaps& maps = GetWorldListMaps();
    std::lock_guard hold(maps.lock);
    maps.byTypeCode.emplace(typeCode, this);
    maps.byName.emplace(name, this);
}

WorldItemFactory::~WorldItemFactory() {
    WorldListMaps& maps = GetWorldListMaps();
    std::lock_guard hold(maps.lock);
    for (auto it = maps.byTypeCode.begin(); it != maps.byTypeCode.end();)
        it = it->second == this ? maps.byTypeCode.erase(it) : std::next(it);
    auto named = maps.byName.find(name_);
    if (named != maps.byName.end() && named->second == this) maps.byName.erase(named);
}

std::unique_ptr<WorldFactoryItem> WorldItemFactory::CreateItem(uint32_t typeCode) {
    WorldItemFactory* factory = nullptr;
    {
        WorldListMaps& maps = GetWorldListMaps();
        std::lock_guard hold(maps.lock);
        auto it = maps.byTypeCode.find(typeCode);  // the first registered of the code
        if (it != maps.byTypeCode.end()) factory = it->second;
    }
    return factory ? factory->Make() : nullptr;
}

// --- the list ---------------------------------------------------------------------------------

WorldList::~WorldList() {
    for (uint32_t s = 0; s < slots_; ++s)
        if (WorldListItem* item = items_.Get(s)) {
            item->list_ = nullptr;
            item->slot_ = -1;
        }
}

uint32_t WorldList::CurrentListValue() {
    return gCurrentListValue;
}

WorldList* WorldList::CurrentLoadingList() {
    return gLoadingList;
}

void WorldList::Grow(uint32_t slots) {
    slots = (slots + 1) & ~1u;  // always even
    if (slots > slots_) slots_ = slots;
}

int32_t WorldList::Add(WorldListItem* item) {
    if (item == nullptr || item->list_ != nullptr) return -1;
    uint32_t s = lowestFreeEven_;
    for (;; s += 2) {
        if (s >= slots_) Grow(s + 2);
        if (items_.Get(s) == nullptr && reserved_.count(s) == 0) break;
    }
    WorldListItem** entry = items_.At(s);
    if (entry == nullptr) return -1;
    *entry = item;
    item->list_ = this;
    item->slot_ = static_cast<int32_t>(s);
    item->OnAdded(*this);
    if (observer_) observer_->ItemAdded(*item);
    lowestFreeEven_ = s + 2;
    return static_cast<int32_t>(s);
}

bool WorldList::Put(WorldListItem* item, uint32_t slot) {
    if (item == nullptr || item->list_ != nullptr || slot >= kMaxSlots) return false;
    if (GetItem(slot) != nullptr) return false;
    WorldListItem** entry = items_.At(slot);
    if (entry == nullptr) return false;
    if (slot >= slots_) Grow(slot + 1);
    *entry = item;
    item->list_ = this;
    item->slot_ = static_cast<int32_t>(slot);
    item->OnAdded(*this);
    if (observer_) observer_->ItemAdded(*item);
    return true;
}

void WorldList::Remove(WorldListItem* item) {
    if (item == nullptr || item->list_ != this) return;
    uint32_t s = static_cast<uint32_t>(item->slot_);
    if (observer_) observer_->ItemRemoved(*item);
    item->OnRemoved(*this);
    if (WorldListItem** entry = items_.At(s)) *entry = nullptr;
    item->list_ = nullptr;
    item->slot_ = -1;
    if (reserved_.erase(s) != 0) return;
    uint32_t& lowest = s % 2 == 0 ? lowestFreeEven_ : lowestFreeOdd_;
    if (s < lowest) lowest = s;
}

void WorldList::Update() {
    for (uint32_t s = 0; s < slots_; ++s)
        if (WorldListItem* item = items_.Get(s)) item->Update();
}

void WorldList::Receive(uint32_t message, uint32_t mask) {
    mask |= 1;
    for (uint32_t s = 0; s < slots_; ++s)
        if (WorldListItem* item = items_.Get(s); item && (item->GetFlags() & mask) == mask)
            item->Receive(message, mask);
}

void WorldList::Save(TStream& stream) {
    uint32_t size = stream.BeginSizeMark();
    stream.WriteU32(kMagic);
    stream.WriteU32(1u);
    for (uint32_t s = 0; s < slots_; ++s) {
        WorldListItem* item = items_.Get(s);
        if (item == nullptr || item->GetTypeCode() != WorldListItem::kSavedType) continue;
        stream.WriteU32(s);
        uint32_t record = stream.BeginSizeMark();
        item->Save(stream);
        stream.EndSizeMark(record);
    }
    stream.WriteU32(kEnd);
    stream.EndSizeMark(size);
}

void WorldList::Load(TStream& stream) {
    uint32_t listSize = 0, magic = 0, version = 0xFFFFFFFF;
    if (!ReadWord(stream, listSize)) listSize = 0;
    uint64_t listEnd = uint64_t{stream.Tell()} + listSize;
    if (ReadWord(stream, magic) && ReadWord(stream, version) && magic == kMagic && version <= 1) {
        uint32_t recordSize = 0;
        for (;;) {
            uint32_t slot = 0;
            if (!ReadWord(stream, slot) || slot == kEnd || slot >= slots_) break;
            if (!ReadWord(stream, recordSize) || recordSize == TStream::kSizeMarkPlaceholder) break;
            uint64_t recordEnd = uint64_t{stream.Tell()} + recordSize;
            if (recordEnd > listEnd || recordEnd > 0xFFFFFFFFu) break;
            WorldListItem* item = items_.Get(slot);
            if (item && item->GetTypeCode() == WorldListItem::kSavedType) {
                TSubFile window(&stream, stream.Tell(), static_cast<uint32_t>(recordEnd));
                if (window.IsOpen()) item->Load(window);
            }
            stream.SetPosition(static_cast<uint32_t>(recordEnd));
            if (stream.Tell() != recordEnd) break;
        }
    }
    // The caller's next read starts behind the list, whatever was read of it.
    stream.SetPosition(static_cast<uint32_t>(std::min<uint64_t>(listEnd, 0xFFFFFFFFu)));
}

bool WorldList::Selected(const WorldListItem& item, uint32_t mask, uint32_t value) const {
    return (item.GetFlags() & mask) == (mask & value);
}

void WorldList::SelectiveSave(TStream& stream, uint32_t mask, uint32_t value) {
    stream.WriteU32(5u);
    stream.WriteU32(listValue_);
    {
        Published published(nullptr, listValue_);
        for (uint32_t s = 0; s < slots_; ++s) {
            WorldListItem* item = items_.Get(s);
            if (item == nullptr || !Selected(*item, mask, value)) continue;
            stream.WriteU32(s);
            stream.WriteU32(item->GetTypeCode());
            stream.WriteKUID(item->GetKUID());
            uint32_t block = stream.BeginSizeMark();
            item->WriteState(stream);
            stream.EndSizeMark(block);
        }
    }
    stream.WriteU32(kEnd);
    uint32_t section = stream.BeginSizeMark();
    stream.WriteU32(kMagic);
    stream.WriteU32(5u);
    stream.WriteU32(listValue_);
    for (uint32_t s = 0; s < slots_; ++s) {
        WorldListItem* item = items_.Get(s);
        if (item == nullptr || !Selected(*item, mask, value)) continue;
        stream.WriteU32(s);
        stream.WriteU32(item->GetTypeCode());
        uint32_t block = stream.BeginSizeMark();
        item->WriteSecond(stream);
        stream.EndSizeMark(block);
    }
    stream.WriteU32(kEnd);
    stream.EndSizeMark(section);
}

template <typename F>
bool WorldList::ReadBlock(TStream& stream, F read) {
    uint32_t size = 0;
    if (!ReadWord(stream, size) || size > kMaxBlock) return false;
    uint64_t end = uint64_t{stream.Tell()} + size;
    if (end > stream.GetSize()) return false;
    {
        TSubFile window(&stream, stream.Tell(), static_cast<uint32_t>(end));
        if (window.IsOpen()) read(window);
    }
    stream.SetPosition(static_cast<uint32_t>(end));
    return stream.Tell() == end;
}

void WorldList::SelectiveLoad(TStream& stream, bool deleteFirst) {
    if (deleteFirst) DeleteAll();
    uint32_t version = 0;
    if (!ReadWord(stream, version)) {
        stream.SetError(TStream::kErrorShortRead);
        return;
    }
    if (version < 1 || version > 5) return;
    uint32_t saved = listValue_;
    if (version == 5 && !ReadWord(stream, listValue_)) {
        listValue_ = saved;
        return;
    }
    for (;;) {
        uint32_t slot = 0, type = 0;
        if (!ReadWord(stream, slot) || slot == kEnd || slot >= kMaxSlots) break;
        if (!ReadWord(stream, type)) break;
        KUID kuid;
        if (version >= 3) stream.ReadKUID(kuid);
        WorldListItem* item = GetItem(slot);
        std::unique_ptr<WorldListItem> made;
        if (item == nullptr) {
            std::unique_ptr<WorldFactoryItem> product = WorldItemFactory::CreateItem(type);
            if (auto* listItem = dynamic_cast<WorldListItem*>(product.get())) {
                product.release();
                made.reset(listItem);
                if (Put(listItem, slot)) item = made.release();
            }
        }
        bool ok = ReadBlock(stream, [&](TStream& block) {
            if (item == nullptr || item->GetTypeCode() != type) return;
            Published published(this, listValue_);
            item->LoadState(block, kuid);
        });
        if (!ok) break;
    }
    if (version >= 4) {
        uint32_t sectionSize = 0, word = 0, sectionVersion = 0;
        if (ReadWord(stream, sectionSize)) {
            uint64_t sectionEnd = uint64_t{stream.Tell()} + sectionSize;
            uint32_t at = stream.Tell();
            if (ReadWord(stream, word)) {
                if (word == kMagic) {
                    if (!ReadWord(stream, sectionVersion)) sectionVersion = 0xFFFFFFFF;
                } else {
                    stream.SetPosition(at);  // no magic: a section of version 0
                }
                if (sectionVersion > 5) {
                    stream.SetPosition(
                        static_cast<uint32_t>(std::min<uint64_t>(sectionEnd, stream.GetSize())));
                } else {
                    uint32_t value = 0;
                    bool ok = sectionVersion < 2 || ReadWord(stream, value);
                    for (; ok;) {
                        uint32_t slot = 0, type = 0;
                        if (!ReadWord(stream, slot) || slot == kEnd || slot >= kMaxSlots) break;
                        if (!ReadWord(stream, type)) break;
                        WorldListItem* item = GetItem(slot);
                        ok = ReadBlock(stream, [&](TStream& block) {
                            if (item && item->GetTypeCode() == type) item->LoadSecond(block);
                        });
                    }
                }
            }
        }
    }
    listValue_ = saved;
}

void WorldList::DeleteSelected(uint32_t mask, uint32_t value) {
    if (mask == 0 && observer_) observer_->Clear();
    for (uint32_t s = 0; s < slots_; ++s) {
        WorldListItem* item = items_.Get(s);
        if (item == nullptr || !Selected(*item, mask, value)) continue;
        if (observer_ && mask != 0) observer_->ItemRemoved(*item);
        WorldListObserver* observer = observer_;
        observer_ = nullptr;  // told already
        delete item;          // its destructor takes it out of the list
        observer_ = observer;
    }
}

void WorldList::DeleteAll() {
    for (uint32_t s = 0; s < slots_; ++s)
        if (WorldListItem* item = items_.Get(s)) {
            item->list_ = nullptr;  // the array is emptied below, not item by item
            item->slot_ = -1;
            delete item;
        }
    items_.FreeAll();
    slots_ = 0;
    lowestFreeEven_ = 0;
    lowestFreeOdd_ = 1;
}

void WorldPosition::Normalise() {
    normalised = 1;
    auto axis = [](int16_t& tile, float& offset) {
        // No tile lies further than the 16-bit tile numbers reach; what is not a number stays.
        if (!(std::fabs(offset) < 720.0f * 65536.0f)) return;
        int32_t k = static_cast<int32_t>(offset / 720.0f + 0.0001f);
        if (offset < 0) k -= 1;
        tile = static_cast<int16_t>(tile + k);
        offset -= static_cast<float>(k) * 720.0f;
    };
    axis(tileX, x);
    axis(tileZ, z);
}
