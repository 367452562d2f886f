#include "validation/tag_vocabulary.h"

#include <gtest/gtest.h>

namespace {

TEST(TagNameVocabulary, HoldsTheWordsAsWrittenInCreationOrder) {
    const auto all = TagNameVocabulary::All();
    const auto texts = TagNameVocabulary::Texts();
    ASSERT_EQ(all.size(), 205u);
    ASSERT_EQ(texts.size(), 205u);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].view(), texts[i]) << i;
        EXPECT_EQ(all[i], Kiv::PString(texts[i])) << i;  // interned: the same entry
    }
    EXPECT_EQ(all[0].str(), ";");
    EXPECT_EQ(all[2].str(), "\"");
    EXPECT_EQ(all[11].str(), "ZX");
    EXPECT_EQ(all[204].str(), "AlphaBlendCacheUnsorted");
    EXPECT_EQ(Voc(TagWord::kHalvexBuild).str(), "halvex-build");
    EXPECT_EQ(Voc(TagWord::kEmpty).str(), "");
    EXPECT_FALSE(Voc(TagWord::kEmpty).IsNull());
    EXPECT_EQ(Voc(TagWord::kContainerType0).str(), "container-type0");
    EXPECT_EQ(Voc(TagWord::kChunkyMeshUnderscore).str(), "chunky_mesh");
}

TEST(TagNameVocabulary, ComparisonsAreExactInLetterCase) {
    EXPECT_NE(Kiv::PString("Kind"), Voc(TagWord::kKind));
    EXPECT_EQ(Kiv::PString("Kind").ToLower(), Voc(TagWord::kKind));
}

}  // namespace
