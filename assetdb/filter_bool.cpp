#include "assetdb/filter_bool.h"

#include "assetdb/filter_reader.h"
#include "foundation/tstream.h"

Kiv::PString WEXFilterElementBool::KeywordName() const {
    return WEXFilterKeywordName(WEXFilterKeywordFamily::kBool, code_);
}

Kiv::PString WEXFilterElementBool::ValueText() const {
    static const Kiv::PString text("true");
    return text;
}

bool WEXFilterElementBool::Write(TStream& stream) const {
    return stream.WriteU32(code_) == 4;
}

bool WEXFilterElementBool::Read(WEXFilterReader& reader) {
    return reader.ReadU32(code_, "bool keyword code");
}
