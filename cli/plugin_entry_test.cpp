#include "cli/plugin_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "materials/compress_ascii_resource.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/display/material_plugin.h"
#include "platform/kiv/display/materials.h"
#include "platform/kiv/res/resource.h"
#include "validation/data_manager.h"

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

TEST(PluginEntry, ListsItsResourceTypesInTheResourceFamilyWithTheirIds) {
    KivGetPlugins();
    KivGetPlugins();  // a second call lists nothing twice
    std::vector<std::string> listed;
    for (const auto& type : Kiv::PluginBase::ListPluginTypes(Kiv::ImagePluginFamily()))
        if (auto resource = std::dynamic_pointer_cast<Kiv::ResourceTypePlugin>(type))
            listed.push_back(std::string(resource->GetName().view()) + " " +
                             resource->GetUId().ToString());
    EXPECT_EQ(listed, (std::vector<std::string>{
                          "im B9E68EA1-56A3-4A6D-9D5D-C5C020F944E6",
                          "pm 2E8739F0-412F-48C2-9F71-912B659C58B6",
                          "lm.txt 8FCC40D7-8BDD-4D14-B528-65692F5DF710",
                          "lm 8FCC40D7-8BDD-4D14-B528-65692F5DF710",
                          "convert-tex.txt A6805E60-4C54-1278-1111-00010251467D",
                      }));
    // A type no one registered is not listed.
    EXPECT_FALSE(
        Kiv::ListResourceType("xyz", *Kiv::UId::Parse("B9E68EA1-56A3-4a6d-9D5D-C5C020F944E7")));
}

TEST(PluginEntry, GivesTheValidatorItsCachesAndEveryDummyMaterialThisBuildHas) {
    Kiv::RegisterEngineMaterialPlugins();
    KivGetPlugins();
    std::vector<std::string> lines;
    const int id = Kiv::Log::AddListener([&](std::string_view l) { lines.emplace_back(l); });
    DUVLib::DataManager::RegisterHalvexBumpVertexType();
    Kiv::Log::RemoveListener(id);
    // The types no plug-in of this program provides; the engine's four and the program's seven
    // load.
    std::vector<std::string> want;
    for (const char* missing : {"tbumpcoltex", "tbumpglosscol", "tgroundonetex", "tgroundonetexvs"})
        want.push_back(
            std::string("DataManager::RegisterHalvexBumpVertexType> Unable to load 'm.") + missing +
            "'");
    EXPECT_EQ(lines, want);
    EXPECT_EQ(DUVLib::DataManager::VertexTypeCount(), 4u);
    DUVLib::DataManager::UnregisterHalvexBumpVertexTypes();
}

}  // namespace
