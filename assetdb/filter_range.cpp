#include "assetdb/filter_range.h"

#include "assetdb/filter_reader.h"
#include "foundation/tstream.h"

namespace {

Kiv::PString RangeText(int32_t low, int32_t high, bool includesLow, bool includesHigh) {
    return Kiv::PString::Printf("%c%d,%d%c", includesLow ? '[' : '(', low, high,
                                includesHigh ? ']' : ')');
}

bool WriteFlags(TStream& stream, bool a, bool b) {
    return stream.WriteBool(a) == 1 && stream.WriteBool(b) == 1;
}

}  // namespace

void WEXFilterElementInt::SetRange(int32_t minimum, int32_t maximum, bool includesMinimum,
                                   bool includesMaximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    includesMinimum_ = includesMinimum;
    includesMaximum_ = includesMaximum;
}

Kiv::PString WEXFilterElementInt::KeywordName() const {
    return WEXFilterKeywordName(WEXFilterKeywordFamily::kInt, code_);
}

Kiv::PString WEXFilterElementInt::ValueText() const {
    return RangeText(minimum_, maximum_, includesMinimum_, includesMaximum_);
}

bool WEXFilterElementInt::Write(TStream& stream) const {
    return stream.WriteU32(code_) == 4 && stream.WriteU32(minimum_) == 4 &&
           stream.WriteU32(maximum_) == 4 && WriteFlags(stream, includesMinimum_, includesMaximum_);
}

bool WEXFilterElementInt::Read(WEXFilterReader& reader) {
    uint32_t minimum = 0, maximum = 0;
    bool ok = reader.ReadU32(code_, "int keyword code") && reader.ReadU32(minimum, "minimum") &&
              reader.ReadU32(maximum, "maximum") &&
              reader.ReadBool(includesMinimum_, "includes-minimum flag") &&
              reader.ReadBool(includesMaximum_, "includes-maximum flag");
    minimum_ = static_cast<int32_t>(minimum);
    maximum_ = static_cast<int32_t>(maximum);
    return ok;
}

void WEXFilterElementTimestamp::SetRange(int64_t from, int64_t to, bool includesFrom,
                                         bool includesTo) {
    from_ = from;
    to_ = to;
    includesFrom_ = includesFrom;
    includesTo_ = includesTo;
}

Kiv::PString WEXFilterElementTimestamp::KeywordName() const {
    return WEXFilterKeywordName(WEXFilterKeywordFamily::kTimestamp, code_);
}

Kiv::PString WEXFilterElementTimestamp::ValueText() const {
    auto low32 = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); };
    return RangeText(low32(from_), low32(to_), includesFrom_, includesTo_);
}

bool WEXFilterElementTimestamp::Write(TStream& stream) const {
    return stream.WriteU32(code_) == 4 && stream.WriteU64(static_cast<uint64_t>(from_)) == 8 &&
           stream.WriteU64(static_cast<uint64_t>(to_)) == 8 &&
           WriteFlags(stream, includesFrom_, includesTo_);
}

bool WEXFilterElementTimestamp::Read(WEXFilterReader& reader) {
    uint64_t from = 0, to = 0;
    bool ok = reader.ReadU32(code_, "timestamp keyword code") && reader.ReadU64(from, "from") &&
              reader.ReadU64(to, "to") && reader.ReadBool(includesFrom_, "includes-from flag") &&
              reader.ReadBool(includesTo_, "includes-to flag");
    from_ = static_cast<int64_t>(from);
    to_ = static_cast<int64_t>(to);
    return ok;
}
