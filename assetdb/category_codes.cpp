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

Kiv::String CategoryClassCodes(const char* kind, const char* categoryClass) {
    std::string_view text = categoryClass != nullptr ? categoryClass : "";
    // An old config names one class code; a newer one lists the codes themselves.
    if (!text.empty() && text.find(';') == std::string_view::npos) {
        Kiv::String codes = ParseCategoryClass(kind, categoryClass);
        if (!codes.IsEmpty()) return codes;
    }
    return Kiv::String(text);
}

Kiv::String AssetCategoryCodes(const char* kind, const char* categoryClass) {
    Kiv::String codes =
        KindToFilterCodes(Kiv::PString(kind != nullptr ? kind : "").ToLower(), Kiv::PString());
    Kiv::String own = CategoryClassCodes(kind, categoryClass);
    // Each code once: the class codes not among the kind's.
    std::string_view rest = own.view();
    for (size_t at = 0; at < rest.size();) {
        size_t end = rest.find_first_of(";|", at);
        if (end == std::string_view::npos) end = rest.size();
        std::string token(rest.substr(at, end - at));
        if (!token.empty() && !CategoryListContains(codes.c_str(), token.c_str()))
            AppendCategoryToken(codes, token.c_str());
        at = end + 1;
    }
    return codes;
}
