#include "cli/plugin_holder.h"

#include <gtest/gtest.h>

namespace {

TEST(PluginHolder, ImageCodecIsFoundOnceProvidedAndNotFoundBefore) {
    PluginHolder holder = std::make_shared<Kiv::PluginBase>(Kiv::ImagePluginFamily(), "stale");
    EXPECT_FALSE(LookupPluginByUId(holder, Kiv::ImagePluginFamily(), "bmp"));
    EXPECT_EQ(holder, nullptr);

    auto bmp = std::make_shared<Kiv::PluginBase>(Kiv::ImagePluginFamily(), "bmp");
    ASSERT_TRUE(Kiv::PluginBase::RegisterPluginType(bmp));
    EXPECT_TRUE(LookupPluginByUId(holder, Kiv::ImagePluginFamily(), "bmp"));
    EXPECT_EQ(holder, bmp);
    ReleasePluginHolder(holder);
    EXPECT_EQ(holder, nullptr);
    EXPECT_EQ(bmp.use_count(), 2);  // ours and the registry's
    EXPECT_TRUE(Kiv::PluginBase::UnregisterPluginType(Kiv::ImagePluginFamily(), "bmp"));
}

}  // namespace
