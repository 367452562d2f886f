#include "mesh/mesh_statics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "foundation/statics.h"

namespace {

__attribute__((constructor(101))) void ArmCheck() {
    ArmStaticsExitCheck();  // released in reverse order at exit, or the program fails
}

// Looked at before anything here touches the statics: they were built before main.
TEST(MeshStatics, ExistBeforeMain) {
    std::vector<std::string> live = LiveStatics();
    for (const char* name : {"world-list maps", "asset-data", "locally-modified"})
        EXPECT_NE(std::find(live.begin(), live.end(), name), live.end()) << name;
}

TEST(MeshStatics, WordsAreInternedAndMapsStartEmpty) {
    EXPECT_EQ(AssetDataWord(), Kiv::PString("asset-data"));
    EXPECT_EQ(LocallyModifiedWord(), Kiv::PString("locally-modified"));
    WorldListMaps& maps = GetWorldListMaps();
    std::lock_guard<Kiv::CriticalSection> lock(maps.lock);
    EXPECT_TRUE(maps.byTypeCode.empty());
    EXPECT_TRUE(maps.byName.empty());
}

}  // namespace
