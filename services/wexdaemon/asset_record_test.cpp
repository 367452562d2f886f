#include "services/wexdaemon/asset_record.h"

#include <gtest/gtest.h>

namespace {

TEST(AssetFolderNameTest, EveryKUIDHasOneNameAndNothingElsePasses) {
    const KUID kuids[] = {KUID(5, 6),
                          KUID(-3, 6, 127),
                          KUID(5, 6, 3),
                          KUID(16777215, 0, 127),
                          KUID(-16777216, 2147483647, 127),
                          KUID(0, -1)};
    for (const KUID& k : kuids) {
        std::string name = wexd::AssetFolderName(k);
        std::optional<KUID> back = wexd::KUIDFromFolderName(name);
        ASSERT_TRUE(back) << name;
        EXPECT_EQ(*back, k) << name;
    }
    EXPECT_EQ(wexd::AssetFolderName(KUID(5, 6, 3)), "kuid2 5 6 3");

    for (const char* name : {"", "kuid", "kuid 5", "kuid 5 6 ", "kuid  5 6", "kuid 05 6",
                             "kuid +5 6", "KUID 5 6", "kuid2 5 6 0", "kuid2 5 6", "kuid2 5 6 128",
                             "kuid 33554432 1", "kuid 5 6\n", "kuid -1 -1", "kuid 33554431 0",
                             "NULLKUID", "kuid 99999999999 1", ".wexstage", "kuid2 -3 6 127"}) {
        EXPECT_FALSE(wexd::KUIDFromFolderName(name)) << '"' << name << '"';
    }
}

}  // namespace
