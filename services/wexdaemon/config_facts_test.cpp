// What a record caches from an asset's config.
#include "services/wexdaemon/config_facts.h"

#include <gtest/gtest.h>

#include "configdata/tdb_container_tag.h"

namespace {

const KUID kAsset(5, 6);

TDBTagRef Config(const KUID& kuid) {
    TDBTagRef root;
    TDBContainerTag::SetKUID(root, Kiv::PString("kuid"), kuid);
    return root;
}

TEST(ConfigFactsTest, NamesKindCategoriesBuildAndLists) {
    TDBTagRef config = Config(kAsset);
    TDBContainerTag::SetString(config, Kiv::PString("name"), Kiv::PString("loco_one"));
    TDBContainerTag::SetString(config, Kiv::PString("kind"), Kiv::PString("Traincar"));
    TDBContainerTag::SetString(config, Kiv::PString("category-class"), Kiv::PString("AH"));
    TDBContainerTag::SetInt(config, Kiv::PString("engine"), 1);
    TDBContainerTag::SetString(config, Kiv::PString("script"), Kiv::PString("loco.gs"));
    TDBContainerTag::SetString(config, Kiv::PString("class"), Kiv::PString("Loco"));
    TDBTagRef table;
    TDBContainerTag::SetKUID(table, Kiv::PString("0"), KUID(7, 7));
    TDBContainerTag::SetContainer(config, Kiv::PString("obsolete-table"), table);

    wexd::ConfigFacts f = wexd::FactsFromConfig(kAsset, config);
    EXPECT_TRUE(f.read);
    EXPECT_FALSE(f.faulty);
    EXPECT_EQ(f.name, "");
    EXPECT_EQ(f.title, "loco_one");
    EXPECT_TRUE(f.hasScript);
    // No "halvex-build", but a script class: build 2.0.
    EXPECT_EQ(static_cast<int>(f.build * 100 + 0.5f), 200);
    // A driven traincar without an interior needs the default one; what it makes obsolete
    // is no dependency.
    EXPECT_EQ(f.dependencies, (std::vector<KUID>{KUID(-10, 172, 127)}));
    EXPECT_EQ(f.obsoletes, (std::vector<KUID>{KUID(7, 7)}));
    // An old one-class code stands for its list; the kind adds its own codes for the search.
    EXPECT_EQ(wexd::CategoryClassCodes(f), "TR;TV;LOC;DIES");
    EXPECT_EQ(wexd::SearchCategoryCodes(f), "TR;TV;LOC;DIES");
    f.categoryClass = "TR;ROLL";
    EXPECT_EQ(wexd::CategoryClassCodes(f), "TR;ROLL");
}

TEST(ConfigFactsTest, AConfigNamingAnotherAssetIsFaulty) {
    EXPECT_TRUE(wexd::FactsFromConfig(kAsset, Config(KUID(5, 7))).faulty);
    EXPECT_TRUE(wexd::FactsFromConfig(kAsset, Config(KUID::kNull)).faulty);
    EXPECT_FALSE(wexd::FactsFromConfig(kAsset, Config(kAsset)).faulty);
}

}  // namespace
