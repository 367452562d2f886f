#include "materials/material_plugins.h"

#include <iterator>

#include "materials/bump_materials.h"
#include "materials/gloss_rust_material.h"
#include "materials/multipfx_material.h"
#include "materials/state_materials.h"
#include "platform/kiv/display/one_texture_material.h"

namespace Kiv {

std::shared_ptr<Material> HalvexNoFogMaterialPlugin::CreateMaterial(MaterialManager& /*manager*/) {
    return std::make_shared<HalvexNoFogMaterial>(GetCaches());
}

std::shared_ptr<Material> HalvexOneTexNoAlphaMaterialPlugin::CreateMaterial(
    MaterialManager& /*manager*/) {
    return std::make_shared<HalvexOneTexNoAlphaMaterial>(GetCaches());
}

namespace {

using Plugin = std::shared_ptr<MaterialPlugin>;
struct PluginEntry {
    const char* name;
    const char* uid;
    Plugin (*make)(const char* name, const UId& uid);
};
using Kind = HalvexBumpMaterialPlugin::Kind;
constexpr const char* kOneTexture = OneTextureMaterial::kUndecoratedType;

// In the order the engine is given them.
constexpr PluginEntry kPlugins[] = {
    {"tbumpgloss", "F7478888-C721-48AB-B3C0-19621E66554E",
     [](const char* name, const UId& uid) -> Plugin {
         return std::make_shared<HalvexBumpMaterialPlugin>(Kind::Gloss, name, uid, "tglossrust");
     }},
    {"tbumptex", "E34011F3-C721-48ba-B3C0-19621E408CBD",
     [](const char* name, const UId& uid) -> Plugin {
         return std::make_shared<HalvexBumpMaterialPlugin>(Kind::Bump, name, uid, kOneTexture);
     }},
    {"tbumpenv", "0ECEE41C-76E7-47fd-ADBB-0E938E809C03",
     [](const char* name, const UId& uid) -> Plugin {
         return std::make_shared<HalvexBumpMaterialPlugin>(Kind::Env, name, uid, "tonetexnoalpha");
     }},
    {"tonetexnoalpha", "4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626",
     [](const char* name, const UId& uid) -> Plugin {
         return std::make_shared<HalvexOneTexNoAlphaMaterialPlugin>(name, uid);
     }},
    {"tglossrust", "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712",
     [](const char* name, const UId& uid) -> Plugin {
         return std::make_shared<HalvexGlossRustMaterialPlugin>(name, uid, kOneTexture);
     }},
    {"tmpfx", "643AFE90-426A-46EE-C19F-FFA0A471ABD7",
     [](const char* name, const UId& uid) -> Plugin {
         return std::make_shared<HalvexMultiPFXMaterialPlugin>(name, uid, kOneTexture);
     }},
    {"nofogtex", "AB84944B-00A6-4a18-8BAF-4664E98075AA",
     [](const char* name, const UId& uid) -> Plugin {
         return std::make_shared<HalvexNoFogMaterialPlugin>(name, uid);
     }},
};

}  // namespace

size_t MaterialPluginCount() {
    return std::size(kPlugins);
}

const char* MaterialPluginName(size_t index) {
    return index < std::size(kPlugins) ? kPlugins[index].name : nullptr;
}

void RegisterMaterialPlugin(size_t index) {
    if (index >= std::size(kPlugins)) return;
    const PluginEntry& p = kPlugins[index];
    if (MaterialPlugin::Find(p.name) == nullptr)
        MaterialPlugin::Register(p.make(p.name, *UId::Parse(p.uid)), MaterialTraits{});
}

void RegisterMaterialPlugins() {
    for (size_t i = 0; i < std::size(kPlugins); ++i)
        RegisterMaterialPlugin(i);
}

}  // namespace Kiv
