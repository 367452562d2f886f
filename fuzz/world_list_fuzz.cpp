// World lists from any bytes: a list load and a selective load each end, never read outside the
// stream (the sanitiser sees that), never grow the list past its slot cap, and leave no item
// published as loading.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "foundation/tbuffer.h"
#include "mesh/world_list.h"

namespace {

// An item that reads what its block holds, word by word, until the block ends.
class Reader : public WorldListItem {
public:
    uint32_t GetTypeCode() const override { return kSavedType; }
    void Load(TStream& s) override { Drain(s); }
    void LoadState(TStream& s, const KUID&) override { Drain(s); }
    void LoadSecond(TStream& s) override { Drain(s); }

private:
    static void Drain(TStream& s) {
        uint32_t word = 0;
        for (int k = 0; k < 4096 && s.ReadBytes(&word, 4) == 4; ++k) {
        }
    }
};

class ReaderFactory : public WorldItemFactory {
public:
    ReaderFactory() : WorldItemFactory(WorldListItem::kSavedType, Kiv::PString("reader")) {}
    std::unique_ptr<WorldFactoryItem> Make() override { return std::make_unique<Reader>(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    static ReaderFactory factory;
    WorldList list;
    Reader fixed[3];
    for (Reader& r : fixed)
        list.Add(&r);
    {
        TBuffer in(data, static_cast<uint32_t>(size));
        list.Load(in);
    }
    {
        TBuffer in(data, static_cast<uint32_t>(size));
        list.SelectiveLoad(in, false);
    }
    if (list.GetSlotCount() > WorldList::kMaxSlots + 2) std::abort();
    if (WorldList::CurrentLoadingList() != nullptr) std::abort();
    // Items the load made belong to the list; the fixed ones are taken out first.
    for (Reader& r : fixed)
        list.Remove(&r);
    list.DeleteAll();
    return 0;
}
