// KUID tables and KUID collection over tag trees.
#include <charconv>
#include <unordered_set>
#include <vector>

#include "configdata/acs_converter.h"
#include "configdata/tdb_container_tag.h"

namespace {

// Appends KUIDs to a list once each; the set makes a long list cost no more than a short one.
class KUIDCollector {
public:
    explicit KUIDCollector(KUIDBlockList& list) : list_(list) {
        for (const KUID& k : list)
            seen_.insert(k);
    }
    void Add(const KUID& kuid) {
        if (!kuid.IsNull() && seen_.insert(kuid).second) list_.Append(kuid);
    }

private:
    KUIDBlockList& list_;
    std::unordered_set<KUID, KUIDHash> seen_;
};

// The KUID a child stands for when the whole tree is searched: a KUID value of 8 bytes, or a
// text that parses strictly.
KUID StrictKUIDOf(const ACSChunk& node) {
    uint32_t type = node.GetType();
    if (type == kTagKUID && node.GetDataSize() == 8) return KUID::UnpackWords(node.GetData());
    if (type == kTagText && node.GetData() != nullptr) {
        std::string_view text(static_cast<const char*>(node.GetData()), node.GetDataSize());
        return KUID::FromText(text.substr(0, text.find('\0')), true);
    }
    return KUID::kNull;
}

}  // namespace

TDBTagRef TDBContainerTag::FromKUIDList(const KUIDBlockList& list) {
    TDBTagRef table = MakeCounted<TDBContainerTag>();
    uint32_t number = 0;
    uint8_t block[8];
    for (const KUID& kuid : list) {
        if (kuid.IsNull()) continue;
        // The numbers are new names in a new table: append, with no search for an old value.
        KUID::PackWords(kuid, block);
        table->AddChild(Kiv::PString::Printf("%u", number++),
                        table->CreateTag(kTagKUID, MakeRawData(block, 8)));
    }
    return table;
}

void TDBContainerTag::CollectChildKUIDs(const TDBTagRef& tag, KUIDBlockList& list) {
    KUIDCollector collector(list);
    Kiv::PString name;
    TDBTagRef child;
    // Each child converted as GetKUID converts it, taken by index rather than looked up again
    // by name.
    for (uint32_t i = 0, n = CountChildren(tag); i < n; ++i) {
        if (!tag->GetChildAt(i, name, child)) continue;
        ACSRawDataRef value = ConvertRawData(child->GetType(), child->GetRawData(), kTagKUID);
        if (value.GetSize() == 8) collector.Add(KUID::UnpackWords(value.GetData()));
    }
}

bool TDBContainerTag::CollectAllKUIDs(const TDBTagRef& tag, KUIDBlockList& list) {
    if (!tag) return true;
    KUIDCollector collector(list);
    struct Frame {
        TDBTagRef node;
        uint32_t next;
    };
    // The containers entered and not yet finished; the frame at index d holds nodes of depth
    // d + 1.
    std::vector<Frame> open;
    open.push_back({tag, 0});
    bool whole = true;
    Kiv::PString name;
    TDBTagRef child;
    while (!open.empty()) {
        Frame& frame = open.back();
        if (!frame.node->GetChildAt(frame.next++, name, child)) {
            if (frame.next > frame.node->GetChildCount()) open.pop_back();
            continue;
        }
        if (child->GetType() != kTagContainer) {
            collector.Add(StrictKUIDOf(*child));
        } else if (open.size() < kMaxTagTreeDepth) {
            open.push_back({child, 0});
        } else if (child->GetChildCount() != 0) {
            whole = false;
        }
    }
    return whole;
}

Kiv::PString TDBContainerTag::GetFreeNumericName(const TDBTagRef& tag) {
    uint32_t count = CountChildren(tag);
    // With n children one of 0..n is free; mark the ones in use.
    std::vector<bool> used(size_t{count} + 1, false);
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; i < count; ++i) {
        if (!tag->GetChildAt(i, name, child)) continue;
        std::string_view text = name.view();
        uint32_t n;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        // Only the canonical spelling is the name "%d" forms: not "01", not "+1".
        bool canonical = ec == std::errc() && end == text.data() + text.size() &&
                         (text.size() == 1 || text[0] != '0');
        if (canonical && n <= count) used[n] = true;
    }
    uint32_t free = 0;
    while (used[free])
        ++free;
    return Kiv::PString::Printf("%u", free);
}
