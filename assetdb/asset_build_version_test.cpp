#include "assetdb/asset_build_version.h"

#include <gtest/gtest.h>

#include <string>

#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"

namespace {

// A config with the build as a float, or as text, and one container child; each may be absent.
TDBTagRef Config(const char* buildText, float build, const char* child) {
    TDBTagRef config = souptest::NewContainer();
    const Kiv::PString buildTag("halvex-build");
    if (buildText != nullptr)
        TDBContainerTag::SetString(config, buildTag, Kiv::PString(buildText));
    else if (build != 0.0f)
        TDBContainerTag::SetFloat(config, buildTag, build);
    if (child != nullptr) souptest::AddContainer(config, child);
    return config;
}

TEST(AssetBuildVersion, ComesFromTheBuildTagElseFromWhatTheConfigHolds) {
    struct Case {
        const char* what;
        TDBTagRef config;
        float expected;
    };
    const Case cases[] = {
        {"a build", Config(nullptr, 3.6f, nullptr), 3.6f + 0.005f},
        {"the lowest build taken", Config(nullptr, 1.0f, "mesh-table"), 1.005f},
        {"a build as text", Config("2.9", 0, nullptr), 2.9f + 0.005f},
        {"below 1 with a mesh table", Config(nullptr, 0.5f, "mesh-table"), 2.0f},
        {"100 and a class", Config(nullptr, 100.0f, "class"), 2.0f},
        {"100 alone", Config(nullptr, 100.0f, nullptr), 1.3f},
        {"no build, a script class", Config(nullptr, 0, "scriptclass"), 2.0f},
        {"no build, another child", Config(nullptr, 0, "mesh"), 1.3f},
        {"unreadable build text", Config("2.9x", 0, nullptr), 1.3f},
        {"no config at all", TDBTagRef(), 1.3f},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(GetAssetBuildVersion(c.config), c.expected) << c.what;
}

}  // namespace
