#include "assetdb/asset_vocabulary.h"

#include <array>
#include <string_view>

namespace {

struct KindFilterText {
    const char* kind;
    const char* subKinds;
    const char* codes;
};

constexpr KindFilterText kKindFilterText[] = {
    {"fixedtrack", "", "FIXD;SWT"},
    {"bridge", "road;tunnels", "SPLN;TUN"},
    {"bridge", "road", "SPLN;BRG"},
    {"bridge", "bridges", "TK;BRG"},
    {"bridge", "tunnels", "TK;TUN"},
    {"bridge", "track", "TK"},
    {"bridge", "rails", "TK"},
    {"bridge", "", "SPLN;BRG"},
    {"spline", "", "SPLN;BRG"},
    {"track", "road", "SPLN"},
    {"track", "rails", "TK"},
    {"track", "track", "TK"},
    {"track", "", "SPLN"},
    {"groundbrush", "", "BRSH"},
    {"groundtexture", "", "TX;ENV;GRND"},
    {"map", "", "RT"},
    {"industry", "", "BD;IND;ACTV;FIXD"},
    {"profile", "", "SS"},
    {"tutorial", "", "SS;TUT"},
    {"scenery", "trackside", "TO"},
    {"scenery", "", "SY;SCEN"},
    {"mospeedboard", "", "TO;?WS"},
    {"mosignal", "", "TO;?WA"},
    {"mojunction", "", "TO;?WX"},
    {"mocrossing", "", "FIXD;CROS"},
    {"buildable", "", "BD;BDB;FIXD"},
    {"turntable", "", "FIXD;TURN"},
    {"traincar", "tender", "TR;TV;TEND"},
    {"traincar", "locomotive", "TR;TV;LOCO"},
    {"traincar", "rollingstock", "TR;TV;ROLL"},
    {"traincar", "", "TR;TV"},
    {"consist", "", "CN"},
    {"water2", "", "?EW"},
    {"environment", "", "?ENV"},
    {"engine", "", "TR;CMP;ESPC"},
    {"steam-engine", "", "TR;CMP;ESPC"},
    {"bogey", "", "TR;CMP;BOGY"},
    {"interior", "", "TR;CMP;INTR"},
    {"pantograph", "", "TR;CMP;PANT"},
    {"hornsound", "", "TR;CMP;HORN;SD"},
    {"enginesound", "", "TR;CMP;ESND;SD"},
    {"region", "", "REGN"},
    {"activity", "", "SC"},
    {"behavior", "", "RU;GEN"},
    {"drivercharacter", "", "DR"},
    {"drivercommand", "", "SQ;GEN"},
    {"library", "", "SLIB"},
    {"hni-render-plugin", "", "SLIB"},
    {"servlet", "", "SVLT"},
    {"gameplaymenu", "", "GMNU"},
    {"product", "", "PROD"},
    {"product-category", "", "PRDC"},
    {"html-asset", "", "HT"},
    {"mesh", "", "CMP;MESH"},
    {"texture", "", "CMP;TX"},
    {"texture-group", "", "CMP;TX"},
    {"tracksound", "", "CMP;TSND;SD"},
    {"achievement-group", "", "ACHG"},
    {"achievement-category", "", "ACHC"},
    {"library", "achievementvariable", "SLIB;ACHU"},
    {"", "", ""},
};

constexpr CategoryClassRow kCategoryClasses[] = {
    {"traincar", "AA", "TR;TV;LOC;ELEC"},
    {"traincar", "AC", "TR;TV;LOC;ELEC"},
    {"traincar", "AE", "TR;TV;LOC;OTHR"},
    {"traincar", "AD", "TR;TV;LOC;ELEC"},
    {"traincar", "AG", "TR;TV;LOC;OTHR"},
    {"traincar", "AH", "TR;TV;LOC;DIES"},
    {"traincar", "AL", "TR;TV;LOC;DIES"},
    {"traincar", "AM", "TR;TV;LOC;OTHR"},
    {"traincar", "AS", "TR;TV;TDR"},
    {"traincar", "AS", "TR;TV;LOC;STEM"},
    {"traincar", "AT", "TR;TV;LOC;STEM"},
    {"buildable", "BB", "BD;BDB;FIXD"},
    {"scenery", "BC", "BD;COM"},
    {"scenery", "BH", "BD;RES"},
    {"scenery", "BI", "BD;IND;NACT"},
    {"industry", "BIN", "BD;IND;ACTV"},
    {"scenery", "BPN", "BD;STA;NACT"},
    {"industry", "BPF", "BD;STA;ACTV"},
    {"scenery", "BR", "BD;RRD"},
    {"scenery", "BS", "BD;SPC"},
    {"scenery", "BU", "BD;UTL"},
    {"scenery", "BT", "RD;ACC"},
    {"scenery", "BR", "TO;CAT"},
    {"traincar", "CB", "TR;TV;CAB"},
    {"traincar", "CC", "TR;TV;CAB"},
    {"environment", "ES", "TX;ENV;SKYS"},
    {"water2", "EW", "TX;ENV;AQUA"},
    {"", "FT", "FL;SCEN"},
    {"", "FC", "FL;SCEN"},
    {"", "FF", "FL;SCEN"},
    {"", "FO", "FL;SCEN"},
    {"", "FS", "FL;SCEN"},
    {"groundtexture", "GA", "TX;ENV;GRND"},
    {"groundtexture", "GL", "TX;ENV;GRND"},
    {"groundtexture", "GS", "TX;ENV;GRND"},
    {"mesh", "HM", "CMP;MESH"},
    {"product", "IC", "CY;CON"},
    {"product", "IP", "CY;PAX"},
    {"product", "IB", "CY;BKL"},
    {"product", "IL", "CY;LIQ"},
    {"texture", "JC", "TX;NEV"},
    {"texture", "JI", "TX;NEV"},
    {"texture", "JO", "TX;NEV"},
    {"texture", "JP", "TX;NEV"},
    {"texture-group", "JO", "TX;NEV"},
    {"traincar", "LT", "TR;TV;TRM"},
    {"traincar", "LS", "TR;TV;LTR"},
    {"traincar", "LM", "TR;TV;MNR"},
    {"traincar", "MA", "TR;TV;MNT"},
    {"traincar", "MB", "TR;TV;FRT;HOPP"},
    {"traincar", "MC", "TR;TV;MNT"},
    {"traincar", "MD", "TR;TV;MNT"},
    {"traincar", "ME", "TR;TV;MNT"},
    {"traincar", "MF", "TR;TV;MNT"},
    {"traincar", "MI", "TR;TV;MNT"},
    {"traincar", "MT", "TR;TV;MNT"},
    {"traincar", "MP", "TR;TV;MNT"},
    {"traincar", "MS", "TR;TV;MNT"},
    {"traincar", "MX", "TR;TV;MNT"},
    {"traincar", "MW", "TR;TV;MNT"},
    {"", "OA", "FA"},
    {"", "OH", "PP"},
    {"drivercharacter", "OHD", "DR"},
    {"traincar", "PA", "TR;TV;PAX;SEAT"},
    {"traincar", "PC", "TR;TV;PAX;SEAT"},
    {"traincar", "PD", "TR;TV;PAX;SEAT"},
    {"traincar", "PO", "TR;TV;PAX;SEAT"},
    {"traincar", "PB", "TR;TV;PAX;MAIL"},
    {"traincar", "PM", "TR;TV;PAX;MAIL"},
    {"traincar", "PS", "TR;TV;PAX;OTHR"},
    {"traincar", "PP", "TR;TV;PAX;OTHR"},
    {"traincar", "PL", "TR;TV;PAX;OTHR"},
    {"traincar", "PH", "TR;TV;PAX;OTHR"},
    {"traincar", "PR", "TR;TV;PAX;OTHR"},
    {"traincar", "PU", "TR;TV;PAX;OTHR"},
    {"traincar", "PV", "TR;TV;PAX;OTHR"},
    {"traincar", "PX", "TR;TV;PAX;OTHR"},
    {"traincar", "RA", "TR;TV;RCR;ELEC"},
    {"traincar", "RC", "TR;TV;RCR;ELEC"},
    {"traincar", "RD", "TR;TV;RCR;DIES"},
    {"traincar", "RH", "TR;TV;RCR;DIES"},
    {"traincar", "RP", "TR;TV;RCR;DIES"},
    {"traincar", "RS", "TR;TV;RCR;STEM"},
    {"traincar", "RP", "TR;TV;RCR;OTHR"},
    {"track", "SF", "SY;FNC;SPLN"},
    {"track", "SP", "SY;SPLN"},
    {"track", "SR", "RD;SPLN"},
    {"track", "SS", "SY;PWL;SPLN"},
    {"track", "SV", "FL;SPLN"},
    {"bridge", "TB", "TK;BRG"},
    {"bridge", "TT", "TK;TUN"},
    {"track", "TR", "TK;RLS"},
    {"spline", "SP", "RD;SPLN"},
    {"bridge", "TR", "TK;RLS"},
    {"fixedtrack", "TF", "RLS;FIXD;SWT"},
    {"scenery", "VA", "VE;AIR"},
    {"scenery", "VL", "VE;LND"},
    {"scenery", "VS", "VE;SEA"},
    {"scenery", "WA", "TO;SIG"},
    {"scenery", "WS", "TO;SIN"},
    {"scenery", "WX", "TO"},
    {"traincar", "XT", "TR;TV;FRT;TANK"},
    {"traincar", "XTA", "TR;TV;FRT;TANK"},
    {"traincar", "XTS", "TR;TV;FRT;TANK"},
    {"traincar", "XTM", "TR;TV;FRT;TANK"},
    {"traincar", "XF", "TR;TV;FRT;FLAT"},
    {"traincar", "XFA", "TR;TV;FRT;FLAT"},
    {"traincar", "XFC", "TR;TV;FRT;FLAT"},
    {"traincar", "XFD", "TR;TV;FRT;FLAT"},
    {"traincar", "XFH", "TR;TV;FRT;FLAT"},
    {"traincar", "XFM", "TR;TV;FRT;FLAT"},
    {"traincar", "XA", "TR;TV;FRT;RACK"},
    {"traincar", "XAA", "TR;TV;FRT;RACK"},
    {"traincar", "XAB", "TR;TV;FRT;RACK"},
    {"traincar", "XG", "TR;TV;FRT;HOPP"},
    {"traincar", "XGB", "TR;TV;FRT;HOPP"},
    {"traincar", "XGC", "TR;TV;FRT;HOPP"},
    {"traincar", "XGE", "TR;TV;FRT;HOPP"},
    {"traincar", "XGR", "TR;TV;FRT;HOPP"},
    {"traincar", "XGS", "TR;TV;FRT;HOPP"},
    {"traincar", "XHC", "TR;TV;FRT;HOPP"},
    {"traincar", "XHB", "TR;TV;FRT;HOPP"},
    {"traincar", "XHE", "TR;TV;FRT;HOPP"},
    {"traincar", "XHR", "TR;TV;FRT;HOPP"},
    {"traincar", "XHS", "TR;TV;FRT;HOPP"},
    {"traincar", "XHT", "TR;TV;FRT;HOPP"},
    {"traincar", "XGT", "TR;TV;FRT;HOPP"},
    {"traincar", "XB", "TR;TV;FRT;REEF"},
    {"traincar", "XBD", "TR;TV;FRT;REEF"},
    {"traincar", "XBG", "TR;TV;FRT;REEF"},
    {"traincar", "XBI", "TR;TV;FRT;REEF"},
    {"traincar", "XR", "TR;TV;FRT;REEF"},
    {"traincar", "XRI", "TR;TV;FRT;REEF"},
    {"traincar", "XRM", "TR;TV;FRT;REEF"},
    {"traincar", "XV", "TR;TV;FRT;REEF"},
    {"traincar", "XVG", "TR;TV;FRT;REEF"},
    {"traincar", "XVP", "TR;TV;FRT;REEF"},
    {"traincar", "XL", "TR;TV;FRT;ANTX"},
    {"traincar", "XLA", "TR;TV;FRT;ANTX"},
    {"traincar", "XLC", "TR;TV;FRT;ANTX"},
    {"traincar", "XLH", "TR;TV;FRT;ANTX"},
    {"traincar", "XI", "TR;TV;FRT;OTHR"},
    {"traincar", "XIB", "TR;TV;FRT;OTHR"},
    {"traincar", "XIT", "TR;TV;FRT;OTHR"},
    {"traincar", "XS", "TR;TV;FRT;OTHR"},
    {"traincar", "XSN", "TR;TV;FRT;OTHR"},
    {"traincar", "XSU", "TR;TV;FRT;OTHR"},
    {"drivercommand", "YD", "SQ;GEN"},
    {"htmlasset", "YH", "HT"},
    {"map", "YM", "RT"},
    {"profile", "YP", "SS"},
    {"profile", "YT", "SS;TUT"},
    {"region", "YX", "REGN"},
    {"behavior", "YR", "RU;GEN"},
    {"activity", "YS", "SC"},
    {"traincar", "ZE", "TR;CMP;ESPC"},
    {"hornsound", "ZH", "TR;CMP;HORN"},
    {"interior", "ZI", "TR;CMP;INTR"},
    {"pantograph", "ZP", "TR;CMP;PANT"},
    {"enginesound", "ZS", "TR;CMP;ESND"},
    {"bogey", "ZB", "TR;CMP;BOGY"},
    {"tintwerk-template", "ZX", "TWT"},
    {"tintwerk-skin", "ZY", "TWS"},
    {"", "", ""},
};

constexpr const char* kAssetTagText[] = {
    "username",
    "username",
    "description",
    "description",
    "kind",
    "region",
    "kuid",
    "kuid-table",
    "optional-kuid-table",
    "",
    "",
    "",
    "",
    "",
    "obsolete-table",
    "name",
    "name",
    "string-table",
    "string-table",
    "category-region",
    "asset-filename",
    "halvex-build",
    "data",
    "$main_language",
    "$misc_noname",
    "$misc_custom",
    "$misc_default",
    "$main_description_language",
    "$nwmp_name_default",
    "$nwmp_profile_default",
    "$main_defunct_name_language",
    "$main_stringtable_language",
};
static_assert(std::size(kAssetTagText) == kAssetTagCount);

using KindFilterRows = std::array<KindFilterRow, std::size(kKindFilterText)>;
using AssetTags = std::array<Kiv::PString, kAssetTagCount>;

const KindFilterRows& KindFilterRowsBuilt() {
    static const KindFilterRows rows = [] {
        KindFilterRows r;
        for (size_t i = 0; i < r.size(); ++i) {
            const KindFilterText& t = kKindFilterText[i];
            r[i] = {Kiv::PString(t.kind), Kiv::PString(t.subKinds), t.codes};
        }
        return r;
    }();
    return rows;
}

const AssetTags& AssetTagsBuilt() {
    static const AssetTags tags = [] {
        AssetTags t;
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = Kiv::PString(kAssetTagText[i]);
        return t;
    }();
    return tags;
}

// Built before the entry point, kinds first, then the tag names; released at exit in the
// reverse order.
[[maybe_unused]] const bool kBuiltBeforeEntry = (KindFilterRowsBuilt(), AssetTagsBuilt(), true);

}  // namespace

std::span<const KindFilterRow> KindFilterTable() {
    return KindFilterRowsBuilt();
}

std::span<const CategoryClassRow> CategoryClassTable() {
    return kCategoryClasses;
}

std::span<const Kiv::PString> AssetTagTable() {
    return AssetTagsBuilt();
}

const Kiv::PString& AssetTag(AssetTagIndex which) {
    return AssetTagsBuilt()[which];
}
