#include "archive/cdp_build.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "archive/cdp_test_support.h"
#include "configdata/config_text.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"

// KUIDs print as their text in failure messages.
void PrintTo(const KUID& kuid, std::ostream* os) {
    *os << kuid.ToString().str();
}

namespace {

using cdptest::Config;
using cdptest::Nested;

std::vector<KUID> ToVector(const KUIDBlockList& list) {
    std::vector<KUID> out;
    for (const KUID& k : list)
        out.push_back(k);
    return out;
}

void Fill(KUIDBlockList& list, const std::vector<KUID>& kuids) {
    for (const KUID& k : kuids)
        list.Append(k);
}

std::vector<KUID> Dependencies(const KUID& asset, const TDBTagRef& config,
                               const std::vector<KUID>& before = {}) {
    KUIDBlockList list;
    Fill(list, before);
    EXPECT_EQ(CdpCollectDependencies(asset, config, list).str(), "");
    return ToVector(list);
}

// One rule's case: a configuration, the list before and the list after collecting from it.
struct CollectCase {
    const char* rule;
    const char* config;
    std::vector<KUID> before;
    std::vector<KUID> expected;
};

constexpr KUID kAsset(100, 1);
constexpr KUID kDefaultInterior(-10, 172, 127);

TEST(CdpCollectDependencies, FollowsEachRule) {
    const CollectCase cases[] = {
        {"every KUID anywhere, depth first; texts only in a keyword form",
         R"(kuid <kuid:100:1>
            mesh-table
            {
              default
              {
                mesh "body.im"
                texture-kuid <kuid:5:6>
              }
            }
            note kuid:7:8
            label 9:10
            track <kuid2:11:12:3>
         )",
         {},
         {KUID(5, 6), KUID(7, 8), KUID(11, 12, 3)}},
        {"kuid-table entries read loosely, after the whole-tree search",
         R"(kuid-table
            {
              0 1:2
              1 <kuid:4:5>
            }
            shadow <kuid:6:7>
         )",
         {},
         {KUID(4, 5), KUID(6, 7), KUID(1, 2)}},
        {"single tags read loosely, in their fixed order, null ones skipped",
         R"(enginesound 20:1
            bogey 21:1
            alias 22:1
            map-kuid <NULL>
            interior 23:1
            name 24:1
         )",
         {},
         {KUID(22, 1), KUID(21, 1), KUID(23, 1), KUID(20, 1)}},
        {"the asset itself, its obsoletes and its optional KUIDs are left out, "
         "matching all three fields",
         R"(kuid <kuid:100:1>
            alias <kuid:100:1>
            obsoletes-kuid <kuid:33:1>
            kuid-table
            {
              0 <kuid:100:1>
              1 <kuid:30:1>
              2 <kuid:31:1>
              3 <kuid2:32:1:2>
              4 <kuid:33:1>
            }
            obsolete-table
            {
              0 <kuid:30:1>
            }
            optional-kuid-table
            {
              0 <kuid:31:1>
              1 <kuid2:32:1:1>
            }
         )",
         {},
         {KUID(32, 1, 2)}},
        {"the list keeps its entries, excluded ones too, and gains each KUID once",
         R"(a <kuid:41:1>
            b <kuid:42:1>
            c
            {
              d <kuid:42:1>
              e <kuid:40:1>
            }
            obsolete-table
            {
              0 <kuid:30:1>
            }
         )",
         {KUID(40, 1), KUID(30, 1), KUID(41, 1)},
         {KUID(40, 1), KUID(30, 1), KUID(41, 1), KUID(42, 1)}},
        {"an empty configuration needs nothing", "", {KUID(1, 1)}, {KUID(1, 1)}},
    };
    for (const CollectCase& c : cases) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(Dependencies(kAsset, Config(c.config), c.before), c.expected);
    }
}

TEST(CdpCollectDependencies, ADrivenTraincarWithoutInteriorNeedsTheDefaultOne) {
    struct Case {
        const char* config;
        bool needsDefault;
    };
    const Case cases[] = {
        {"kind traincar\nengine 1\n", true},
        {"kind \"TrainCar\"\nengine 1\n", true},
        {"kind traincar\nengine 1\ninterior <NULL>\n", true},
        {"kind traincar\nengine 0\n", false},
        {"kind traincar\n", false},  // engine defaults to -1
        {"kind traincar\nengine 1\ninterior <kuid:50:1>\n", false},
        {"kind scenery\nengine 1\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        std::vector<KUID> deps = Dependencies(kAsset, Config(c.config));
        bool hasDefault = std::find(deps.begin(), deps.end(), kDefaultInterior) != deps.end();
        EXPECT_EQ(hasDefault, c.needsDefault);
    }
    // Its text form is the two-number one, so a reader sees <kuid:-10:172>.
    EXPECT_EQ(kDefaultInterior.ToString().str(), "<kuid:-10:172>");
    EXPECT_EQ(Dependencies(kAsset, Config("kind traincar\nengine 1\ninterior <kuid:50:1>\n")),
              std::vector<KUID>{KUID(50, 1)});
}

TEST(CdpCollectDependencies, ALoadedBinaryConfigGivesWhatItsTreeGives) {
    TDBTagRef tree = Config(R"(kuid <kuid:100:1>
        kind traincar
        engine 1
        bogey 21:1
        mesh-table
        {
          default
          {
            texture-kuid <kuid:5:6>
            note kuid:7:8
          }
        }
        kuid-table
        {
          0 1:2
          1 <kuid:30:1>
        }
        obsolete-table
        {
          0 <kuid:30:1>
        }
    )");
    std::vector<KUID> expected = {KUID(5, 6), KUID(7, 8), KUID(1, 2), KUID(21, 1),
                                  kDefaultInterior};
    ASSERT_EQ(Dependencies(kAsset, tree), expected);
    TDBTagRef view = souptest::Read(souptest::Write(tree));
    ASSERT_TRUE(view);
    EXPECT_EQ(Dependencies(kAsset, view), expected);
}

// A chain of containers `depth` deep below the root whose innermost holds a KUID.
TEST(CdpCollectDependencies, RefusesATreeTooDeepToSearchWholeAndKeepsTheList) {
    EXPECT_EQ(Dependencies(kAsset, Nested(kMaxTagTreeDepth - 1, KUID(7, 7))),
              std::vector<KUID>{KUID(7, 7)});

    KUIDBlockList list;
    list.Append(KUID(1, 1));
    Kiv::PString error = CdpCollectDependencies(kAsset, Nested(kMaxTagTreeDepth, KUID(7, 7)), list);
    EXPECT_EQ(error.str(),
              "Unable to collect the dependencies of <kuid:100:1>: its configuration nests "
              "deeper than 1000 levels");
    EXPECT_EQ(ToVector(list), std::vector<KUID>{KUID(1, 1)});
}

TEST(CdpCollectDependencies, AContainerHeldInsideItselfEndsWithAnError) {
    TDBTagRef root = Config("alias <kuid:5:5>\n");
    TDBContainerTag::SetContainer(root, Kiv::PString("self"), root);
    KUIDBlockList list;
    EXPECT_NE(CdpCollectDependencies(kAsset, root, list).str(), "");
    EXPECT_TRUE(list.IsEmpty());
    TDBContainerTag::RemoveTag(root, Kiv::PString("self"));  // break the cycle
}

TEST(CdpCollectDependencies, AHugeTableAgainstAHugeObsoleteTable) {
    constexpr uint32_t kCount = 25000;
    std::vector<KUID> deps = Dependencies(kAsset, cdptest::HalfObsoleteConfig(kCount));
    ASSERT_EQ(deps.size(), kCount / 2);
    for (uint32_t i = 0; i < deps.size(); ++i)
        ASSERT_EQ(deps[i], KUID(1, static_cast<int32_t>(2 * i + 1)));
}

TEST(CdpCollect, AListIsNeverFilledPastItsBound) {
    // Three new KUIDs each, onto a list of two.
    TDBTagRef config = Config(R"(alias <kuid:3:3>
        bogey <kuid:4:4>
        interior <kuid:5:5>
        obsolete-table
        {
          0 <kuid:6:6>
          1 <kuid:7:7>
        }
        obsoletes-kuid <kuid:8:8>
    )");
    struct Case {
        const char* which;
        uint32_t max;
        bool fits;
    };
    const Case cases[] = {
        {"dependencies", 5, true}, {"dependencies", 4, false}, {"dependencies", 0, false},
        {"obsoletes", 5, true},    {"obsoletes", 4, false},
    };
    const std::vector<KUID> before = {KUID(1, 1), KUID(2, 2)};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.which) + " " + std::to_string(c.max));
        KUIDBlockList list;
        Fill(list, before);
        bool deps = std::string(c.which) == "dependencies";
        Kiv::PString error = deps ? CdpCollectDependencies(KUID(9, 9), config, list, c.max)
                                  : CdpCollectObsoletes(config, list, c.max);
        if (c.fits) {
            EXPECT_EQ(error.str(), "");
            EXPECT_EQ(list.Count(), 5u);
        } else {
            EXPECT_EQ(error.str(), "Unable to collect " + std::string(c.which) +
                                       ": the list would hold more than " + std::to_string(c.max) +
                                       " KUIDs");
            EXPECT_EQ(ToVector(list), before);
        }
    }
}

TEST(CdpCollectObsoletes, TakesTheTableThenTheSingleTag) {
    const CollectCase cases[] = {
        {"table entries in order, read loosely, then obsoletes-kuid",
         R"(obsoletes-kuid <kuid:3:3>
            obsolete-table
            {
              0 <kuid:1:1>
              1 2:2
              2 <NULL>
              nested
              {
                0 <kuid:8:8>
              }
            }
            alias <kuid:9:9>
         )",
         {},
         {KUID(1, 1), KUID(2, 2), KUID(3, 3)}},
        {"each KUID once, earlier entries kept",
         R"(obsolete-table
            {
              0 <kuid:1:1>
              1 <kuid:1:1>
              2 <kuid:4:4>
            }
            obsoletes-kuid <kuid:4:4>
         )",
         {KUID(4, 4)},
         {KUID(4, 4), KUID(1, 1)}},
        {"a null obsoletes-kuid adds nothing", "obsoletes-kuid <NULL>\n", {}, {}},
        {"an empty configuration obsoletes nothing", "", {}, {}},
    };
    for (const CollectCase& c : cases) {
        SCOPED_TRACE(c.rule);
        KUIDBlockList list;
        Fill(list, c.before);
        EXPECT_EQ(CdpCollectObsoletes(Config(c.config), list).str(), "");
        EXPECT_EQ(ToVector(list), c.expected);
    }
}

}  // namespace
