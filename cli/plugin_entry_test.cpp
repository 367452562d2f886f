#include "cli/plugin_entry.h"

#include <gtest/gtest.h>

#include "materials/compress_ascii_resource.h"
#include "platform/kiv/res/resource.h"

namespace {

TEST(PluginEntry, RegistersTheTypeTextureConversionOpensDescriptionsAs) {
    Kiv::UnregisterResourceType("convert-tex.txt");
    KivGetPlugins();
    KivGetPlugins();  // a second call changes nothing
    const Kiv::ResourceType* type = Kiv::FindResourceTypeFor("art/side.texture.convert-tex.txt");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(Kiv::FindResourceTypeFor("art/side.texture.txt"), nullptr);
    Kiv::Resource* made = type->create(Kiv::PString("side.texture.convert-tex.txt"), nullptr);
    EXPECT_NE(dynamic_cast<CompressAsciiResource*>(made), nullptr);
    made->ReleaseReference();
}

}  // namespace
