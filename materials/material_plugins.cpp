#include "materials/material_plugins.h"

#include <functional>

#include "materials/bump_materials.h"
#include "materials/gloss_rust_material.h"
#include "materials/multipfx_material.h"
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
    using Kind = HalvexBumpMaterialPlugin::Kind;
    const char* const kOneTexture = OneTextureMaterial::kUndecoratedType;
    auto bump = [](Kind kind) {
        return [kind](const char* name, const UId& uid,
                      const char* fallback) -> std::shared_ptr<HalvexMaterialPlugin> {
            return std::make_shared<HalvexBumpMaterialPlugin>(kind, name, uid, fallback);
        };
    };
    auto plain = [](std::vector<int> capabilities, HalvexMaterialPlugin::Maker maker) {
        return
            [capabilities, maker](const char* name, const UId& uid,
                                  const char* fallback) -> std::shared_ptr<HalvexMaterialPlugin> {
                return std::make_shared<HalvexMaterialPlugin>(name, uid, capabilities, 0, fallback,
                                                              maker);
            };
    };
    using Make =
        std::function<std::shared_ptr<HalvexMaterialPlugin>(const char*, const UId&, const char*)>;
    struct Plugin {
        const char* name;
        const char* uid;
        const char* fallback;
        Make make;
    };
    const Plugin kPlugins[] = {
        {"tbumpgloss", "F7478888-C721-48AB-B3C0-19621E66554E", "tglossrust", bump(Kind::Gloss)},
        {"tbumptex", "E34011F3-C721-48ba-B3C0-19621E408CBD", kOneTexture, bump(Kind::Bump)},
        {"tbumpenv", "0ECEE41C-76E7-47fd-ADBB-0E938E809C03", "tonetexnoalpha", bump(Kind::Env)},
        {"tonetexnoalpha", "4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626", nullptr,
         plain({},
               [] {
                   return std::shared_ptr<Material>(
                       std::make_shared<HalvexOneTexNoAlphaMaterial>());
               })},
        {"tglossrust", "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712", kOneTexture,
         [](const char* name, const UId& uid,
            const char* fallback) -> std::shared_ptr<HalvexMaterialPlugin> {
             return std::make_shared<HalvexGlossRustMaterialPlugin>(name, uid, fallback);
         }},
        {"tmpfx", "643AFE90-426A-46EE-C19F-FFA0A471ABD7", kOneTexture,
         [](const char* name, const UId& uid,
            const char* fallback) -> std::shared_ptr<HalvexMaterialPlugin> {
             return std::make_shared<HalvexMultiPFXMaterialPlugin>(name, uid, fallback);
         }},
        {"nofogtex", "AB84944B-00A6-4a18-8BAF-4664E98075AA", nullptr,
         plain({},
               [] { return std::shared_ptr<Material>(std::make_shared<HalvexNoFogMaterial>()); })},
    };
    for (const Plugin& p : kPlugins)
        if (MaterialPlugin::Find(p.name) == nullptr)
            MaterialPlugin::Register(p.make(p.name, *UId::Parse(p.uid), p.fallback),
                                     MaterialTraits{});
}

}  // namespace Kiv
