#include "assetdb/filter_range.h"

#include <type_traits>

#include "assetdb/filter_reader.h"
#include "foundation/tstream.h"

namespace {

// Bounds travel as words of their own width.
template <typename Bound>
bool WriteBound(TStream& stream, Bound v) {
    if constexpr (sizeof(Bound) == 4) {
        return stream.WriteU32(static_cast<uint32_t>(v)) == 4;
    } else {
        return stream.WriteU64(static_cast<uint64_t>(v)) == 8;
    }
}

template <typename Bound>
bool ReadBound(WEXFilterReader& reader, Bound& out, const char* field) {
    bool ok;
    if constexpr (sizeof(Bound) == 4) {
        uint32_t v = 0;
        ok = reader.ReadU32(v, field);
        out = static_cast<Bound>(v);
    } else {
        uint64_t v = 0;
        ok = reader.ReadU64(v, field);
        out = static_cast<Bound>(v);
    }
    return ok;
}

template <typename Bound>
int32_t Low32(Bound v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<std::make_unsigned_t<Bound>>(v)));
}

}  // namespace

template <typename Bound, uint32_t kType, WEXFilterKeywordFamily kFamily, uint32_t kDefaultCode>
Kiv::PString WEXFilterRangeElement<Bound, kType, kFamily, kDefaultCode>::KeywordName() const {
    return WEXFilterKeywordName(kFamily, code_);
}

template <typename Bound, uint32_t kType, WEXFilterKeywordFamily kFamily, uint32_t kDefaultCode>
Kiv::PString WEXFilterRangeElement<Bound, kType, kFamily, kDefaultCode>::ValueText() const {
    return Kiv::PString::Printf("%c%d,%d%c", includesLow_ ? '[' : '(', Low32(low_), Low32(high_),
                                includesHigh_ ? ']' : ')');
}

template <typename Bound, uint32_t kType, WEXFilterKeywordFamily kFamily, uint32_t kDefaultCode>
bool WEXFilterRangeElement<Bound, kType, kFamily, kDefaultCode>::Write(TStream& stream) const {
    return stream.WriteU32(code_) == 4 && WriteBound(stream, low_) && WriteBound(stream, high_) &&
           stream.WriteBool(includesLow_) == 1 && stream.WriteBool(includesHigh_) == 1;
}

template <typename Bound, uint32_t kType, WEXFilterKeywordFamily kFamily, uint32_t kDefaultCode>
bool WEXFilterRangeElement<Bound, kType, kFamily, kDefaultCode>::Read(WEXFilterReader& reader) {
    return reader.ReadU32(code_, "range keyword code") &&
           ReadBound(reader, low_, "range's lower bound") &&
           ReadBound(reader, high_, "range's upper bound") &&
           reader.ReadBool(includesLow_, "lower bound's flag") &&
           reader.ReadBool(includesHigh_, "upper bound's flag");
}

template class WEXFilterRangeElement<int32_t, kWEXFilterTypeInt, WEXFilterKeywordFamily::kInt,
                                     kWEXAuthor>;
template class WEXFilterRangeElement<int64_t, kWEXFilterTypeTimestamp,
                                     WEXFilterKeywordFamily::kTimestamp, kWEXInstallationTimestamp>;
