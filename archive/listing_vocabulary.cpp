#include "archive/listing_vocabulary.h"

#include <algorithm>
#include <array>

#include "assetdb/asset_info.h"
#include "assetdb/category_match.h"

namespace {

// Tried in this order: the first expression the codes satisfy gives the id. "LOCO" and the
// bogey row's "TR;CMP;BOGY" are the service's own spellings, kept as the service expects them
// (a locomotive coded "LOC" lists as rolling stock through "TR").
constexpr ListingTypeRow kAssetTypes[] = {
    {"LOCO", 1},         {"TR|TV|TEND|ROLL", 2},
    {"RT", 3},           {"BD", 4},
    {"TO", 12},          {"FA", 14},
    {"PP", 15},          {"SY|FL|SPLN", 16},
    {"TX;ENV", 17},      {"VE", 18},
    {"TK", 19},          {"SC", 25},
    {"TR;CMP;BOGY", 26}, {"CMP;MESH", 30},
    {"CY", 31},          {"SS", 35},
    {"TX;-ENV", 37},     {"RU", 38},
};
constexpr int kMiscellaneous = 21;

struct CategoryFolder {
    int id;
    const char* name;
};
constexpr CategoryFolder kCategoryFolders[] = {
    {1, "locomotives"},
    {2, "rollingstock"},
    {3, "layouts"},
    {4, "buildingsstructures"},
    {12, "tracksideaccessories"},
    {13, "road"},
    {14, "animals"},
    {15, "people"},
    {16, "terrainfeatures"},
    {17, "textures"},
    {18, "vehicles"},
    {19, "track"},
    {21, "miscellaneous"},
    {25, "scenarios"},
    {26, "bogey"},
    {30, "mesh"},
    {31, "product"},
    {35, "session"},
    {37, "texture"},
    {38, "rule"},
};

struct CategoryElement {
    std::string_view token;
    int id;
};
// Eras (146-161), the product's region codes (850-1103) and the two-letter country codes the
// region group does not use (501-737). "TZ" (710) is the country code between "TW" and "UA".
constexpr CategoryElement kCategoryElements[] = {
    {"1800", 146}, {"1820", 147}, {"1840", 148}, {"1860", 149}, {"1880", 150}, {"1900", 151},
    {"1910", 152}, {"1920", 153}, {"1930", 154}, {"1940", 155}, {"1950", 156}, {"1960", 157},
    {"1970", 158}, {"1980", 159}, {"1990", 160}, {"2000", 161}, {"BC", 850},   {"BI", 851},
    {"BH", 852},   {"BR", 853},   {"BS", 854},   {"BT", 855},   {"BU", 856},   {"SF", 857},
    {"SP", 858},   {"SS", 859},   {"ES", 870},   {"EW", 871},   {"FC", 872},   {"FF", 873},
    {"FO", 874},   {"FS", 875},   {"FT", 876},   {"GA", 877},   {"GL", 878},   {"GS", 879},
    {"SV", 880},   {"OA", 890},   {"OH", 900},   {"SR", 910},   {"TB", 920},   {"TR", 921},
    {"TT", 922},   {"VA", 930},   {"VL", 931},   {"VS", 932},   {"MA", 933},   {"DE", 934},
    {"DP", 935},   {"MD", 936},   {"ME", 937},   {"MF", 938},   {"MI", 939},   {"MT", 940},
    {"MP", 941},   {"MS", 942},   {"WA", 950},   {"WS", 951},   {"MC", 952},   {"MX", 953},
    {"YM", 960},   {"YS", 970},   {"ZE", 980},   {"ZH", 981},   {"ZI", 982},   {"ZS", 983},
    {"AA", 990},   {"AC", 991},   {"AD", 992},   {"AE", 993},   {"AG", 994},   {"AH", 995},
    {"AL", 996},   {"AM", 997},   {"AS", 998},   {"ZB", 1010},  {"AT", 1011},  {"CB", 1012},
    {"CC", 1013},  {"DX", 1014},  {"LS", 1015},  {"LT", 1016},  {"LM", 1017},  {"MB", 1018},
    {"PA", 1068},  {"PB", 1069},  {"PC", 1020},  {"PD", 1021},  {"PH", 1022},  {"PL", 1023},
    {"PM", 1024},  {"PO", 1025},  {"PP", 1026},  {"PR", 1027},  {"PS", 1028},  {"PU", 1029},
    {"PV", 1030},  {"PX", 1031},  {"XAA", 1033}, {"XAB", 1034}, {"XBD", 1035}, {"XBG", 1036},
    {"XBI", 1037}, {"XFA", 1038}, {"XFC", 1039}, {"XFD", 1040}, {"XFH", 1041}, {"XFM", 1042},
    {"XGB", 1043}, {"XGC", 1044}, {"XGE", 1045}, {"XGR", 1046}, {"XGS", 1047}, {"XGT", 1048},
    {"XHB", 1049}, {"XHC", 1050}, {"XHE", 1051}, {"XHR", 1052}, {"XHS", 1053}, {"XHT", 1054},
    {"XIB", 1055}, {"XIT", 1056}, {"XLA", 1057}, {"XLC", 1058}, {"XLH", 1059}, {"XRI", 1060},
    {"XRM", 1061}, {"XSN", 1062}, {"XSU", 1063}, {"XTA", 1064}, {"XTS", 1065}, {"XTM", 1066},
    {"XVG", 1067}, {"XVP", 1070}, {"WX", 1072},  {"BB", 1074},  {"BIN", 1075}, {"BPF", 1076},
    {"BPN", 1077}, {"TF", 1078},  {"IB", 1080},  {"IC", 1081},  {"IL", 1082},  {"IP", 1083},
    {"YP", 1088},  {"HM", 1086},  {"JC", 1090},  {"JI", 1097},  {"JP", 1098},  {"JO", 1099},
    {"YR", 1092},  {"YD", 1094},  {"YH", 1096},  {"OHD", 1100}, {"BRS", 1101}, {"CN", 1102},
    {"GMN", 1103}, {"AF", 503},   {"AI", 505},   {"AN", 508},   {"AO", 509},   {"AQ", 510},
    {"AR", 511},   {"AU", 514},   {"AW", 515},   {"AZ", 516},   {"BA", 517},   {"BD", 519},
    {"BE", 520},   {"BF", 521},   {"BG", 522},   {"BJ", 525},   {"BM", 526},   {"BN", 527},
    {"BO", 528},   {"BV", 532},   {"BW", 533},   {"BY", 534},   {"BZ", 535},   {"CA", 536},
    {"CD", 538},   {"CF", 539},   {"CG", 540},   {"CH", 541},   {"CI", 542},   {"CK", 543},
    {"CL", 544},   {"CM", 545},   {"CO", 547},   {"CR", 548},   {"CV", 549},   {"CX", 550},
    {"CY", 551},   {"CZ", 552},   {"DJ", 554},   {"DK", 555},   {"DM", 556},   {"DO", 557},
    {"DZ", 558},   {"EC", 559},   {"EE", 560},   {"EF", 561},   {"EG", 562},   {"ER", 563},
    {"ET", 565},   {"FI", 566},   {"FJ", 567},   {"FK", 568},   {"FM", 569},   {"FR", 570},
    {"GB", 572},   {"GD", 573},   {"GE", 574},   {"GF", 575},   {"GH", 576},   {"GI", 577},
    {"GM", 579},   {"GP", 580},   {"GQ", 581},   {"GR", 582},   {"GU", 584},   {"GW", 585},
    {"GY", 586},   {"HK", 587},   {"HN", 589},   {"HR", 590},   {"HT", 591},   {"HU", 592},
    {"ID", 593},   {"IE", 594},   {"IN", 596},   {"IO", 597},   {"IQ", 598},   {"IR", 599},
    {"IS", 600},   {"IT", 601},   {"JM", 602},   {"KE", 605},   {"KG", 606},   {"KH", 607},
    {"KI", 608},   {"KM", 609},   {"KN", 610},   {"KP", 611},   {"KR", 613},   {"KW", 614},
    {"KY", 615},   {"KZ", 616},   {"LA", 617},   {"LB", 618},   {"LC", 619},   {"LI", 620},
    {"LK", 621},   {"LR", 622},   {"LU", 625},   {"LV", 626},   {"MG", 630},   {"MH", 631},
    {"MK", 632},   {"ML", 633},   {"MM", 634},   {"MN", 635},   {"MO", 636},   {"MQ", 638},
    {"MR", 639},   {"MU", 642},   {"MV", 643},   {"MW", 644},   {"MY", 646},   {"MZ", 647},
    {"NA", 648},   {"NC", 649},   {"NE", 650},   {"NF", 651},   {"NG", 652},   {"NI", 653},
    {"NL", 654},   {"NO", 655},   {"NP", 656},   {"NR", 657},   {"NU", 658},   {"NZ", 659},
    {"OM", 660},   {"PE", 662},   {"PF", 663},   {"PG", 664},   {"PK", 666},   {"PN", 669},
    {"PT", 671},   {"PW", 672},   {"PY", 673},   {"QA", 674},   {"RE", 675},   {"RO", 676},
    {"RU", 677},   {"RW", 678},   {"SA", 679},   {"SB", 680},   {"SC", 681},   {"SE", 682},
    {"SG", 683},   {"SH", 684},   {"SI", 685},   {"SJ", 686},   {"SK", 687},   {"SL", 688},
    {"SN", 689},   {"SO", 690},   {"ST", 692},   {"SZ", 694},   {"TC", 695},   {"TD", 696},
    {"TG", 698},   {"TH", 699},   {"TJ", 700},   {"TK", 701},   {"TL", 702},   {"TM", 703},
    {"TN", 704},   {"TO", 705},   {"TV", 708},   {"TW", 709},   {"TZ", 710},   {"UA", 711},
    {"UG", 712},   {"UM", 713},   {"US", 714},   {"UY", 715},   {"UZ", 716},   {"VC", 717},
    {"VE", 718},   {"VG", 719},   {"VI", 720},   {"VN", 721},   {"VU", 722},   {"WF", 723},
    {"YE", 725},   {"YT", 726},   {"ZA", 727},   {"ZM", 728},   {"ZW", 729},   {"CS", 730},
    {"CU", 731},   {"GN", 732},   {"GT", 733},   {"SD", 735},   {"YU", 736},   {"ZR", 737},
};
static_assert(std::size(kCategoryElements) == 348);

// The table sorted by token, made once, for a binary search.
const std::array<CategoryElement, std::size(kCategoryElements)>& SortedElements() {
    static const auto sorted = [] {
        std::array<CategoryElement, std::size(kCategoryElements)> a{};
        std::copy(std::begin(kCategoryElements), std::end(kCategoryElements), a.begin());
        std::sort(a.begin(), a.end(), [](const CategoryElement& x, const CategoryElement& y) {
            return x.token < y.token;
        });
        return a;
    }();
    return sorted;
}

}  // namespace

int ListingAssetTypeIdOfCodes(const char* categoryCodes) {
    for (const ListingTypeRow& row : kAssetTypes)
        if (MatchCategoryList(categoryCodes, row.expression)) return row.id;
    return kMiscellaneous;
}

int ListingAssetTypeId(const WEXAssetInfo& info) {
    return ListingAssetTypeIdOfCodes(info.categoryCodes.c_str());
}

const char* ListingCategoryName(int assetTypeId) {
    for (const CategoryFolder& f : kCategoryFolders)
        if (f.id == assetTypeId) return f.name;
    return "UNKNOWN";
}

int ListingCategoryElementId(std::string_view token) {
    const auto& sorted = SortedElements();
    auto it =
        std::lower_bound(sorted.begin(), sorted.end(), token,
                         [](const CategoryElement& e, std::string_view t) { return e.token < t; });
    return it != sorted.end() && it->token == token ? it->id : 0;
}

std::span<const ListingTypeRow> ListingAssetTypeRows() {
    return kAssetTypes;
}
