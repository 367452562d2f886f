#include "assetdb/filter_asset_id.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "assetdb/filter_reader.h"
#include "foundation/tstream.h"

namespace {

// KUIDs go through the stream a block at a time: one call per block rather than two per KUID.
constexpr size_t kChunk = 512;

// The 8-byte form of KUID::Write: the content id, then the packed word.
void PackKUID(const KUID& kuid, uint8_t* out) {
    uint32_t packed, content;
    KUID::PackWords(kuid, packed, content);
    std::memcpy(out, &content, 4);
    std::memcpy(out + 4, &packed, 4);
}

KUID UnpackKUID(const uint8_t* in) {
    uint32_t content, packed;
    std::memcpy(&content, in, 4);
    std::memcpy(&packed, in + 4, 4);
    return KUID::UnpackWords(packed, content);
}

}  // namespace

WEXFilterElementAssetID::WEXFilterElementAssetID(const KUIDBlockList& kuids) {
    kuids_.reserve(kuids.Count());
    for (const KUID& k : kuids)
        kuids_.push_back(k);
    SortUnique();
}

void WEXFilterElementAssetID::SortUnique() {
    // Sets written by this program arrive in order already.
    if (!std::is_sorted(kuids_.begin(), kuids_.end())) std::sort(kuids_.begin(), kuids_.end());
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
    uint8_t block[kChunk * 8];
    for (size_t done = 0; done < kuids_.size();) {
        size_t n = std::min(kChunk, kuids_.size() - done);
        for (size_t i = 0; i < n; ++i)
            PackKUID(kuids_[done + i], block + 8 * i);
        auto bytes = static_cast<uint32_t>(8 * n);
        if (stream.Write(block, bytes) != bytes) return false;
        done += n;
    }
    return true;
}

bool WEXFilterElementAssetID::Read(WEXFilterReader& reader) {
    kuids_.clear();
    uint32_t count;
    if (!reader.ReadU32(code_, "asset-id keyword code") ||
        !reader.ReadCount(count, 8, "KUID count")) {
        return false;
    }
    kuids_.resize(count);
    uint8_t block[kChunk * 8];
    for (size_t done = 0; done < count;) {
        size_t n = std::min<size_t>(kChunk, count - done);
        if (!reader.ReadBytes(block, static_cast<uint32_t>(8 * n), "KUIDs")) {
            kuids_.clear();
            return false;
        }
        for (size_t i = 0; i < n; ++i)
            kuids_[done + i] = UnpackKUID(block + 8 * i);
        done += n;
    }
    SortUnique();
    return true;
}

bool WEXFilterElementAssetID::Equals(const WEXFilterElement& other) const {
    const auto* ids = dynamic_cast<const WEXFilterElementAssetID*>(&other);
    return ids != nullptr && KeywordName() == ids->KeywordName() && kuids_ == ids->kuids_;
}
