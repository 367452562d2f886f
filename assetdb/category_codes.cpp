#include "assetdb/category_codes.h"

#include "assetdb/asset_vocabulary.h"
#include "assetdb/category_match.h"

Kiv::String ParseCategoryClass(const char* kind, const char* classCode) {
    std::string_view wanted = kind != nullptr ? kind : "";
    std::string_view code = classCode != nullptr ? classCode : "";
    for (const CategoryClassRow& row : CategoryClassTable()) {
        if (*row.codes == '\0') break;
        std::string_view rowKind = row.kind;
        bool candidate =
            wanted.empty() || rowKind.empty() || Kiv::EqualsIgnoreCase(wanted, rowKind);
        if (candidate && Kiv::EqualsIgnoreCase(code, row.classCode)) return Kiv::String(row.codes);
    }
    return {};
}

Kiv::String KindToFilterCodes(const Kiv::PString& kind, const Kiv::PString& subKinds) {
    const char* list = subKinds.IsNull() ? nullptr : subKinds.c_str();
    for (const KindFilterRow& row : KindFilterTable()) {
        if (row.kind.IsEmpty()) break;
        if (row.kind != kind) continue;
        if (row.subKinds.IsEmpty() || MatchCategoryList(list, row.subKinds.c_str()))
            return Kiv::String(row.codes);
    }
    return {};
}
