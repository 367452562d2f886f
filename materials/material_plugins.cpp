#include "materials/material_plugins.h"

#include "materials/bump_materials.h"
#include "materials/state_materials.h"
#include "platform/kiv/display/one_texture_material.h"

namespace Kiv {

bool HalvexMaterialPlugin::IsSupported(const Display& display, PString& fallback) const {
    bool supported = display.GetTextureUnits() >= textureUnits_;
    for (int capability : capabilities_)
        supported = supported && display.SupportsCapability(capability);
    if (supported || fallback_ == nullptr) return true;
    fallback = PString(fallback_);
    return false;
}

std::shared_ptr<Material> HalvexMaterialPlugin::Create(MaterialManager& /*manager*/,
                                                       Display& /*display*/) {
    return maker_ != nullptr ? maker_() : nullptr;
}

void RegisterMaterialPlugins() {
    const char* const kOneTexture = OneTextureMaterial::kUndecoratedType;
    using Kind = HalvexBumpMaterialPlugin::Kind;
    struct Bump {
        Kind kind;
        const char* name;
        const char* uid;
        const char* fallback;
    };
    struct Plain {
        const char* name;
        const char* uid;
        std::vector<int> capabilities;
        uint32_t textureUnits;
        const char* fallback;
        HalvexMaterialPlugin::Maker maker;
    };
    const Bump kBump[] = {
        {Kind::Gloss, "tbumpgloss", "F7478888-C721-48AB-B3C0-19621E66554E", "tglossrust"},
        {Kind::Bump, "tbumptex", "E34011F3-C721-48ba-B3C0-19621E408CBD", kOneTexture},
        {Kind::Env, "tbumpenv", "0ECEE41C-76E7-47fd-ADBB-0E938E809C03", "tonetexnoalpha"},
    };
    const Plain kPlain[] = {
        {"tonetexnoalpha",
         "4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626",
         {},
         0,
         nullptr,
         [] { return std::shared_ptr<Material>(std::make_shared<HalvexOneTexNoAlphaMaterial>()); }},
        {"tglossrust",
         "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712",
         {Display::kCapabilityCubeMaps},
         0,
         kOneTexture,
         nullptr},
        {"tmpfx", "643AFE90-426A-46EE-C19F-FFA0A471ABD7", {}, 2, kOneTexture, nullptr},
        {"nofogtex",
         "AB84944B-00A6-4a18-8BAF-4664E98075AA",
         {},
         0,
         nullptr,
         [] { return std::shared_ptr<Material>(std::make_shared<HalvexNoFogMaterial>()); }},
    };
    for (const Bump& b : kBump) {
        if (MaterialPlugin::Find(b.name) != nullptr) continue;
        MaterialPlugin::Register(std::make_shared<HalvexBumpMaterialPlugin>(
                                     b.kind, b.name, *UId::Parse(b.uid), b.fallback),
                                 MaterialTraits{});
    }
    for (const Plain& p : kPlain) {
        if (MaterialPlugin::Find(p.name) != nullptr) continue;
        MaterialPlugin::Register(
            std::make_shared<HalvexMaterialPlugin>(p.name, *UId::Parse(p.uid), p.capabilities,
                                                   p.textureUnits, p.fallback, p.maker),
            MaterialTraits{});
    }
}

}  // namespace Kiv
