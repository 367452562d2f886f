#include "cli/plugin_entry.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "materials/compress_ascii_resource.h"
#include "materials/material_plugins.h"
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

// The twelve objects of the entry in the order it creates them: the material plug-ins, then the
// resource types by extension.
std::vector<std::string> CreatedObjects() {
    std::vector<std::string> created;
    for (size_t i = 0; i < Kiv::MaterialPluginCount(); ++i)
        if (Kiv::MaterialPlugin::Find(Kiv::MaterialPluginName(i)) != nullptr)
            created.emplace_back(Kiv::MaterialPluginName(i));
    for (const char* extension : {"im", "pm", "lm.txt", "lm", "convert-tex.txt"})
        if (Kiv::FindResourceType(extension) != nullptr &&
            Kiv::PluginBase::LookupPluginType(Kiv::ImagePluginFamily(), extension) != nullptr)
            created.emplace_back(extension);
    return created;
}

void RemoveCreatedObjects() {
    for (size_t i = 0; i < Kiv::MaterialPluginCount(); ++i)
        Kiv::PluginBase::UnregisterPluginType(Kiv::MaterialPluginFamily(),
                                              Kiv::MaterialPluginName(i));
    for (const char* extension : {"im", "pm", "lm.txt", "lm", "convert-tex.txt"}) {
        Kiv::PluginBase::UnregisterPluginType(Kiv::ImagePluginFamily(), extension);
        Kiv::UnregisterResourceType(extension);
    }
}

size_t gFailingObject = 0;

class PluginEntryAllocation : public testing::Test {
protected:
    void TearDown() override {
        SetPluginEntryAllocationHook(nullptr);
        KivGetPlugins();  // the rest of the tests find every type
    }
};

// A plug-in or resource type that cannot be allocated is missing alone; the others, before and
// after it, are created, and a resource type is not left registered without its listing.
TEST_F(PluginEntryAllocation, AFailedAllocationSkipsThatObjectOnly) {
    const std::vector<std::string> all = {"tbumpgloss", "tbumptex", "tbumpenv", "tonetexnoalpha",
                                          "tglossrust", "tmpfx",    "nofogtex", "im",
                                          "pm",         "lm.txt",   "lm",       "convert-tex.txt"};
    SetPluginEntryAllocationHook([](size_t object) {
        if (object == gFailingObject) throw std::bad_alloc();
    });
    for (size_t failing = 0; failing < all.size(); ++failing) {
        RemoveCreatedObjects();
        gFailingObject = failing;
        KivGetPlugins();
        std::vector<std::string> want = all;
        want.erase(want.begin() + static_cast<std::ptrdiff_t>(failing));
        EXPECT_EQ(CreatedObjects(), want) << all[failing];
        if (failing >= Kiv::MaterialPluginCount()) {
            EXPECT_EQ(Kiv::FindResourceType(all[failing]), nullptr) << all[failing];
        }
    }
    // Once allocations succeed again, a new call creates the one that was missing.
    gFailingObject = all.size();
    KivGetPlugins();
    EXPECT_EQ(CreatedObjects(), all);
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
