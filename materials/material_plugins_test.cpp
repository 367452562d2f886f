#include "materials/material_plugins.h"

#include <gtest/gtest.h>

#include "platform/kiv/base/options.h"
#include "platform/kiv/display/one_texture_material.h"
#include "platform/kiv/display/render_kernel.h"

#include <string>
#include <vector>

namespace {

TEST(MaterialPlugins, AreRegisteredInOrderWithTheirNamesAndIds) {
    Kiv::RegisterMaterialPlugins();
    Kiv::RegisterMaterialPlugins();  // a second call adds nothing
    std::vector<std::string> names, ids;
    for (const auto& type : Kiv::PluginBase::ListPluginTypes(Kiv::MaterialPluginFamily()))
        if (auto plugin = std::dynamic_pointer_cast<Kiv::HalvexMaterialPlugin>(type)) {
            names.emplace_back(plugin->GetName().view());
            ids.push_back(plugin->GetUId().ToString());
        }
    EXPECT_EQ(names,
              (std::vector<std::string>{"tbumpgloss", "tbumptex", "tbumpenv", "tonetexnoalpha",
                                        "tglossrust", "tmpfx", "nofogtex"}));
    EXPECT_EQ(ids,
              (std::vector<std::string>{
                  "F7478888-C721-48AB-B3C0-19621E66554E", "E34011F3-C721-48BA-B3C0-19621E408CBD",
                  "0ECEE41C-76E7-47FD-ADBB-0E938E809C03", "4BB6C98F-6FDF-4CB9-9CE2-7E40B2A78626",
                  "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712", "643AFE90-426A-46EE-C19F-FFA0A471ABD7",
                  "AB84944B-00A6-4A18-8BAF-4664E98075AA"}));
    for (const std::string& name : names) {
        Kiv::LoadedMaterial* m = Kiv::MaterialLoader::Load("HalvexDummyLoad.m." + name);
        ASSERT_NE(m, nullptr) << name;
        m->ReleaseReference();
    }
}

TEST(MaterialPlugins, AnswerWhetherTheDisplayDrawsThemOrWhatToMakeInstead) {
    Kiv::RegisterMaterialPlugins();
    enum Device { kBare, kProgramsOnly, kBump, kCubeMaps, kOneUnit };
    auto display = [](Device d) {
        Kiv::Display display;
        if (d == kProgramsOnly || d == kBump)
            display.SetCapability(Kiv::Display::kCapabilityVertexPrograms, true);
        if (d == kBump) display.SetCapability(Kiv::Display::kCapabilityPixelCombiners, true);
        if (d == kCubeMaps) display.SetCapability(Kiv::Display::kCapabilityCubeMaps, true);
        if (d == kOneUnit) display.SetTextureUnits(1);
        return display;
    };
    const struct {
        const char* plugin;
        Device device;
        const char* fallback;  // null: supported
    } cases[] = {
        {"tbumpgloss", kBump, nullptr},        {"tbumpgloss", kProgramsOnly, "tglossrust"},
        {"tbumptex", kBump, nullptr},          {"tbumptex", kBare, "onetex"},
        {"tbumpenv", kBump, nullptr},          {"tbumpenv", kProgramsOnly, "tonetexnoalpha"},
        {"tonetexnoalpha", kOneUnit, nullptr}, {"tglossrust", kCubeMaps, nullptr},
        {"tglossrust", kBump, "onetex"},       {"tmpfx", kBare, nullptr},
        {"tmpfx", kOneUnit, "onetex"},         {"nofogtex", kOneUnit, nullptr},
    };
    for (const auto& c : cases) {
        auto plugin = Kiv::MaterialPlugin::Find(c.plugin);
        ASSERT_NE(plugin, nullptr) << c.plugin;
        Kiv::PString fallback("untouched");
        const bool supported = plugin->IsSupported(display(c.device), fallback);
        EXPECT_EQ(supported, c.fallback == nullptr) << c.plugin << " on " << c.device;
        EXPECT_EQ(fallback.view(), c.fallback != nullptr ? c.fallback : "untouched")
            << c.plugin << " on " << c.device;
    }
}

TEST(MaterialPlugins, CreateTheirMaterialsOnADisplayWithARenderKernel) {
    Kiv::RegisterMaterialPlugins();
    Kiv::RenderKernel kernel(nullptr, 1.0f);
    for (const char* name : {"tbumpgloss", "tbumptex", "tbumpenv", "tonetexnoalpha", "tglossrust",
                             "tmpfx", "nofogtex"}) {
        auto plugin = Kiv::MaterialPlugin::Find(name);
        ASSERT_NE(plugin, nullptr) << name;
        auto material = std::dynamic_pointer_cast<Kiv::OneTextureMaterial>(
            plugin->Create(kernel.GetMaterialManager(), kernel.GetDisplay()));
        ASSERT_NE(material, nullptr) << name;
        EXPECT_STREQ(material->GetPluginName(), name);
    }
}

}  // namespace

namespace {

// The one-texture plug-ins prepare their resources before each material: the base's caches
// (found in the cache manager, else registered) go to every material; without a render kernel
// a plug-in that needs programs makes nothing.
TEST(MaterialPlugins, OneTexturePluginsGiveTheirMaterialsTheCachesTheirBaseFound) {
    Kiv::RegisterMaterialPlugins();
    Kiv::RenderKernel kernel(nullptr, 1.0f);
    ASSERT_TRUE(kernel.Init(Kiv::Options("-NullRender")));
    for (const char* name : {"nofogtex", "tonetexnoalpha", "tglossrust", "onetex", "reflect"}) {
        auto plugin = std::dynamic_pointer_cast<Kiv::OneTextureMaterialPlugin>(
            Kiv::MaterialPlugin::Find(name));
        ASSERT_NE(plugin, nullptr) << name;
        auto material = std::dynamic_pointer_cast<Kiv::OneTextureMaterial>(
            plugin->Create(kernel.GetMaterialManager(), kernel.GetDisplay()));
        ASSERT_NE(material, nullptr) << name;
        ASSERT_TRUE(plugin->GetCaches().IsComplete()) << name;
        EXPECT_EQ(material->GetCaches().cache, plugin->GetCaches().cache) << name;
        Kiv::RenderingCache* registered =
            Kiv::RenderingCacheManager::Instance().FindCache(Kiv::AlphaBlendCache::kId);
        EXPECT_EQ(material->GetCaches().cache[Kiv::MaterialCaches::kAlphaBlend], registered);
        registered->ReleaseReference();
        // A copy holds them too.
        auto copy = std::dynamic_pointer_cast<Kiv::OneTextureMaterial>(material->CreateInstance());
        EXPECT_EQ(copy->GetCaches().cache, plugin->GetCaches().cache) << name;
    }
    Kiv::Display bare;
    Kiv::MaterialManager manager;
    EXPECT_NE(Kiv::MaterialPlugin::Find("nofogtex")->Create(manager, bare), nullptr);
    EXPECT_EQ(Kiv::MaterialPlugin::Find("tglossrust")->Create(manager, bare), nullptr);
}

}  // namespace
