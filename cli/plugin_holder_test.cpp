#include "cli/plugin_holder.h"

#include <gtest/gtest.h>

namespace {

TEST(PluginHolder, ImageCodecIsFoundOnceProvidedAndNotFoundBefore) {
    // A codec name of its own: the engine's image types ("bmp" among them) may be registered by
    // whatever ran before in this process, and must stay so for what runs after.
    constexpr const char* kCodec = "holdertest";
    PluginHolder holder = std::make_shared<Kiv::PluginBase>(Kiv::ImagePluginFamily(), "stale");
    EXPECT_FALSE(LookupPluginByUId(holder, Kiv::ImagePluginFamily(), kCodec));
    EXPECT_EQ(holder, nullptr);

    auto codec = std::make_shared<Kiv::PluginBase>(Kiv::ImagePluginFamily(), kCodec);
    ASSERT_TRUE(Kiv::PluginBase::RegisterPluginType(codec));
    EXPECT_TRUE(LookupPluginByUId(holder, Kiv::ImagePluginFamily(), kCodec));
    EXPECT_EQ(holder, codec);
    ReleasePluginHolder(holder);
    EXPECT_EQ(holder, nullptr);
    EXPECT_EQ(codec.use_count(), 2);  // ours and the registry's
    EXPECT_TRUE(Kiv::PluginBase::UnregisterPluginType(Kiv::ImagePluginFamily(), kCodec));
}

}  // namespace
