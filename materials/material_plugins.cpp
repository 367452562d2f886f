#include "materials/material_plugins.h"

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

void RegisterMaterialPlugins() {
    constexpr int kPrograms = Display::kCapabilityVertexPrograms;
    constexpr int kCombiners = Display::kCapabilityPixelCombiners;
    const char* const kOneTexture = OneTextureMaterial::kUndecoratedType;
    struct Plugin {
        const char* name;
        const char* uid;
        std::vector<int> capabilities;
        uint32_t textureUnits;
        const char* fallback;
    };
    const Plugin kPlugins[] = {
        {"tbumpgloss",
         "F7478888-C721-48AB-B3C0-19621E66554E",
         {kPrograms, kCombiners},
         0,
         "tglossrust"},
        {"tbumptex",
         "E34011F3-C721-48ba-B3C0-19621E408CBD",
         {kPrograms, kCombiners},
         0,
         kOneTexture},
        {"tbumpenv",
         "0ECEE41C-76E7-47fd-ADBB-0E938E809C03",
         {kPrograms, kCombiners},
         0,
         "tonetexnoalpha"},
        {"tonetexnoalpha", "4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626", {}, 0, nullptr},
        {"tglossrust",
         "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712",
         {Display::kCapabilityCubeMaps},
         0,
         kOneTexture},
        {"tmpfx", "643AFE90-426A-46EE-C19F-FFA0A471ABD7", {}, 2, kOneTexture},
        {"nofogtex", "AB84944B-00A6-4a18-8BAF-4664E98075AA", {}, 0, nullptr},
    };
    for (const Plugin& p : kPlugins) {
        if (MaterialPlugin::Find(p.name) != nullptr) continue;
        MaterialPlugin::Register(
            std::make_shared<HalvexMaterialPlugin>(p.name, *UId::Parse(p.uid), p.capabilities,
                                                   p.textureUnits, p.fallback),
            MaterialTraits{});
    }
}

}  // namespace Kiv
