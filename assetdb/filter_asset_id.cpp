#include "assetdb/filter_asset_id.h"

#include <algorithm>
#include <string>

#include "assetdb/filter_reader.h"
#include "foundation/tstream.h"

WEXFilterElementAssetID::WEXFilterElementAssetID(const KUIDBlockList& kuids) {
    kuids_.reserve(kuids.Count());
    for (const KUID& k : kuids)
        kuids_.push_back(k);
    SortUnique();
}

void WEXFilterElementAssetID::SortUnique() {
    std::sort(kuids_.begin(), kuids_.end());
    kuids_.erase(std::unique(kuids_.begin(), kuids_.end()), kuids_.end());
}

void WEXFilterElementAssetID::Insert(const KUID& kuid) {
    auto at = std::lower_bound(kuids_.begin(), kuids_.end(), kuid);
    if (at == kuids_.end() || !(*at == kuid)) kuids_.insert(at, kuid);
}

Kiv::PString WEXFilterElementAssetID::KeywordName() const {
    return WEXFilterKeywordName(WEXFilterKeywordFamily::kAssetID, code_);
}

Kiv::PString WEXFilterElementAssetID::ValueText() const {
    std::string text;
    for (const KUID& k : kuids_) {
        if (!text.empty()) text += ", ";
        text += k.ToString().view();
    }
    return WEXFilterValueText(text);
}

bool WEXFilterElementAssetID::Write(TStream& stream) const {
    if (stream.WriteU32(code_) != 4 || stream.WriteU32(static_cast<uint32_t>(kuids_.size())) != 4)
        return false;
    uint32_t before = stream.Tell();
    for (const KUID& k : kuids_)
        k.Write(stream);
    return stream.Tell() - before == 8 * kuids_.size();
}

bool WEXFilterElementAssetID::Read(WEXFilterReader& reader) {
    kuids_.clear();
    uint32_t count;
    if (!reader.ReadU32(code_, "asset-id keyword code") ||
        !reader.ReadCount(count, 8, "KUID count")) {
        return false;
    }
    kuids_.resize(count);
    for (KUID& k : kuids_) {
        if (!reader.ReadKUID(k, "KUID")) {
            kuids_.clear();
            return false;
        }
    }
    SortUnique();
    return true;
}

bool WEXFilterElementAssetID::Equals(const WEXFilterElement& other) const {
    const auto* ids = dynamic_cast<const WEXFilterElementAssetID*>(&other);
    return ids != nullptr && KeywordName() == ids->KeywordName() && kuids_ == ids->kuids_;
}
