// What each filter keyword means in the daemon's store, one table of trees over a few records.
#include "services/wexdaemon/filter_match.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "assetdb/filter_asset_id.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_range.h"
#include "assetdb/filter_reader.h"
#include "assetdb/filter_string.h"
#include "foundation/tbuffer.h"

namespace {

using wexd::AssetRecord;
using wexd::RecordMap;

const KUID kA(10, 1);
const KUID kB(10, 2, 1);
const KUID kC(10, 2, 3);
const KUID kD(20, 1);

RecordMap Records() {
    RecordMap m;
    AssetRecord a;
    a.kuid = kA;
    a.installed = true;
    a.config.read = true;
    a.config.name = "Red Brick Station";
    a.config.kind = "buildable";
    a.config.region = "AU, NZ";
    a.config.hasScript = true;
    a.config.dependencies = {kB};  // held by its newer version kC
    a.keywords = "brick;red";
    a.installedAt = 1000;
    a.modifiedAt = 5000;
    a.statusA = wexd::kStatusALocallyModified;
    AssetRecord b;
    b.kuid = kB;
    b.installed = true;
    b.config.read = true;
    b.config.title = "Signal";
    b.installedAt = 2000;
    AssetRecord c;
    c.kuid = kC;
    c.installed = true;
    c.config.read = true;
    c.config.faulty = true;  // its config names another KUID
    c.config.name = "Signal";
    c.config.obsoletes = {kD};
    c.installedAt = 3000;
    AssetRecord d;
    d.kuid = kD;
    d.openForEdit = true;  // made, never committed
    d.config.read = true;
    d.config.name = "   ";
    m[kA] = a;
    m[kB] = b;
    m[kC] = c;
    m[kD] = d;
    return m;
}

std::unique_ptr<WEXFilterElement> Flag(uint32_t code) {
    return std::make_unique<WEXFilterElementBool>(code);
}
std::unique_ptr<WEXFilterElement> Text(uint32_t code, const char* value) {
    return std::make_unique<WEXFilterElementString>(code, Kiv::PString(value));
}
std::unique_ptr<WEXFilterElement> Ints(uint32_t code, int32_t low, int32_t high, bool inLow,
                                       bool inHigh) {
    auto e = std::make_unique<WEXFilterElementInt>();
    e->SetKeywordCode(code);
    e->SetRange(low, high, inLow, inHigh);
    return e;
}
std::unique_ptr<WEXFilterElement> Times(uint32_t code, int64_t low, int64_t high) {
    auto e = std::make_unique<WEXFilterElementTimestamp>();
    e->SetKeywordCode(code);
    e->SetRange(low, high, true, false);
    return e;
}
std::unique_ptr<WEXFilterElement> Ids(uint32_t code, std::vector<KUID> kuids) {
    auto e = std::make_unique<WEXFilterElementAssetID>();
    e->SetKeywordCode(code);
    for (const KUID& k : kuids)
        e->Insert(k);
    return e;
}
std::unique_ptr<WEXFilterElement> Group(uint8_t mode, bool negated,
                                        std::vector<std::unique_ptr<WEXFilterElement>> children) {
    auto g = std::make_unique<WEXFilterElementGroup>();
    for (auto& c : children)
        g->Add(std::move(c));
    g->SetNegated(negated);
    if (mode != 1) {
        // The client always sends mode 1; another mode comes only from the wire.
        TBuffer written;
        WEXFilterWriteElement(written, g.get());
        std::vector<uint8_t> bytes(written.GetData(), written.GetData() + written.GetDataLength());
        bytes[4] = mode;  // after the type code
        TBuffer patched;
        patched.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
        patched.Rewind();
        return WEXFilterReadElement(patched);
    }
    return g;
}
template <typename... T>
std::vector<std::unique_ptr<WEXFilterElement>> List(T... children) {
    std::vector<std::unique_ptr<WEXFilterElement>> out;
    (out.push_back(std::move(children)), ...);
    return out;
}

TEST(FilterMatchTest, EachKeywordHasItsMeaningInTheLocalStore) {
    struct Case {
        const char* what;
        std::function<std::unique_ptr<WEXFilterElement>()> tree;
        std::vector<KUID> found;
    };
    const Case cases[] = {
        {"installed here", [] { return Flag(kWEXLocal); }, {kA, kB, kC}},
        {"locally enabled", [] { return Flag(kWEXLocallyEnabled); }, {kA, kB, kC}},
        {"every asset may be listed", [] { return Flag(kWEXListingPrivilege); }, {kA, kB, kC, kD}},
        {"open for edit", [] { return Flag(kWEXOpenForEdit); }, {kD}},
        {"locally modified", [] { return Flag(kWEXLocallyModified); }, {kA}},
        {"faulty", [] { return Flag(kWEXFaulty); }, {kC}},
        {"a dependency is faulty", [] { return Flag(kWEXHasFaultyDependencies); }, {kA}},
        {"obsolete", [] { return Flag(kWEXObsolete); }, {kD}},
        {"up to date", [] { return Flag(kWEXUpToDate); }, {kA, kC, kD}},
        {"a name that is not blank", [] { return Flag(kWEXValidName); }, {kA, kB, kC}},
        {"names a script", [] { return Flag(kWEXHasScriptSource); }, {kA}},
        {"warnings: no validation results here", [] { return Flag(kWEXWarnings); }, {}},
        {"a code outside the table", [] { return Flag(99); }, {}},
        {"name from the config's name", [] { return Text(kWEXAssetName, "signal"); }, {kB, kC}},
        {"a region among several, any case", [] { return Text(kWEXRegionList, "nz"); }, {kA}},
        {"keywords: both", [] { return Text(kWEXKeywordList, "Red Brick"); }, {kA}},
        {"keywords: either", [] { return Text(kWEXKeywordList, "red|green"); }, {kA}},
        {"the kind's codes", [] { return Text(kWEXCategoryList, "BD;BDB"); }, {kA}},
        {"an empty value holds for all", [] { return Text(kWEXEraList, ""); }, {kA, kB, kC, kD}},
        {"versions 1 to 3, 3 left out", [] { return Ints(kWEXVersion, 1, 3, true, false); }, {kB}},
        {"author", [] { return Ints(kWEXAuthor, 20, 20, true, true); }, {kD}},
        {"a range upside down", [] { return Ints(kWEXAuthor, 20, 10, true, true); }, {}},
        {"unrated", [] { return Ints(kWEXLocalRating, 0, 5, true, true); }, {}},
        {"installed from 2000 up to 3000",
         [] { return Times(kWEXInstallationTimestamp, 2000, 3000); },
         {kB}},
        {"modified", [] { return Times(kWEXModificationTimestamp, 4000, 6000); }, {kA}},
        {"asset ids",
         [] {
             return Ids(kWEXAssetIDList, {kC, kA, KUID(1, 1)});
         },
         {kA, kC}},
        {"depends on", [] { return Ids(kWEXProfileMap, {kB}); }, {kA}},
        {"all of", [] { return Group(1, false, List(Flag(kWEXLocal), Flag(kWEXFaulty))); }, {kC}},
        {"any of (mode 0)",
         [] { return Group(0, false, List(Flag(kWEXOpenForEdit), Flag(kWEXFaulty))); },
         {kC, kD}},
        {"none of", [] { return Group(1, true, List(Flag(kWEXLocal))); }, {kD}},
        {"an empty group holds for all", [] { return Group(0, false, List()); }, {kA, kB, kC, kD}},
        {"an empty negated group for none", [] { return Group(1, true, List()); }, {}},
    };
    RecordMap records = Records();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<WEXFilterElement> tree = c.tree();
        ASSERT_TRUE(tree);
        EXPECT_EQ(wexd::SearchRecords(records, *tree), c.found);
    }
}

}  // namespace
