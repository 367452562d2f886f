#include "platform/kiv/display/material_plugin.h"

#include <string>

#include "platform/kiv/display/one_texture_material.h"

namespace Kiv {

const UId& MaterialPluginFamily() {
    static const UId family = *UId::Parse("4C414E80-BBDA-11d4-9AD7-0001025364B9");
    return family;
}

bool MaterialPlugin::IsSupported(const Display& /*display*/, PString& /*fallback*/) const {
    return true;
}

std::shared_ptr<Material> MaterialPlugin::Create(MaterialManager& /*manager*/,
                                                 Display& /*display*/) {
    return nullptr;
}

bool DisplayNeeds::AreMet(const Display& display, PString& fallbackName) const {
    bool met = display.GetTextureUnits() >= textureUnits;
    for (int capability : capabilities)
        met = met && display.SupportsCapability(capability);
    if (met || fallback == nullptr) return true;
    fallbackName = PString(fallback);
    return false;
}

std::shared_ptr<Material> OneTextureMaterialPlugin::Create(MaterialManager& manager,
                                                           Display& display) {
    if (!CreatePluginResources(display.GetRenderKernel())) return nullptr;
    return CreateMaterial(manager);
}

bool OneTextureMaterialPlugin::CreatePluginResources(RenderKernel* kernel) {
    if (kernel != nullptr) FindOrAddMaterialCaches(caches_, &MakeEngineMaterialCache);
    return true;
}

std::shared_ptr<Material> OneTextureMaterialPlugin::CreateMaterial(MaterialManager& /*manager*/) {
    return std::make_shared<OneTextureMaterial>(caches_);
}

namespace {

// The engine's own types: each plug-in makes its material.
class EngineMaterialPlugin : public OneTextureMaterialPlugin {
public:
    using Make = std::shared_ptr<Material> (*)(const MaterialCaches&);
    EngineMaterialPlugin(std::string_view name, const UId& uid, Make make)
        : OneTextureMaterialPlugin(name, uid), make_(make) {}

protected:
    std::shared_ptr<Material> CreateMaterial(MaterialManager& /*manager*/) override {
        return make_(GetCaches());
    }

private:
    Make make_;
};

}  // namespace

bool MaterialPlugin::Register(std::shared_ptr<MaterialPlugin> plugin,
                              const MaterialTraits& traits) {
    if (plugin == nullptr) return false;
    const std::string type = "m." + std::string(plugin->GetName().view());
    if (!PluginBase::RegisterPluginType(plugin)) return false;
    MaterialLoader::RegisterType(type, traits);
    return true;
}

std::shared_ptr<MaterialPlugin> MaterialPlugin::Find(std::string_view name) {
    return std::dynamic_pointer_cast<MaterialPlugin>(
        PluginBase::LookupPluginType(MaterialPluginFamily(), name));
}

void RegisterEngineMaterialPlugins() {
    struct Engine {
        const char* name;
        const char* uid;
        MaterialTraits traits;
        EngineMaterialPlugin::Make make;
    };
    // Every one makes vertex types; all but "notex" take a texture.
    static const Engine kEngine[] = {
        {"notex",
         "4C414E80-BBDA-11d4-9AD7-000102536401",
         {true, false},
         [](const MaterialCaches&) {
             return std::shared_ptr<Material>(std::make_shared<NoTextureMaterial>());
         }},
        {"onetex",
         "4C414E80-BBDA-11d4-9AD7-000102536402",
         {true, true},
         [](const MaterialCaches& caches) {
             return std::shared_ptr<Material>(std::make_shared<OneTextureMaterial>(caches));
         }},
        {"gloss",
         "4C414E80-BBDA-11d4-9AD7-000102536403",
         {true, true},
         [](const MaterialCaches& caches) {
             return std::shared_ptr<Material>(
                 std::make_shared<ReflectiveMaterial>("gloss", caches));
         }},
        {"reflect",
         "4C414E80-BBDA-11d4-9AD7-000102536404",
         {true, true},
         [](const MaterialCaches& caches) {
             return std::shared_ptr<Material>(
                 std::make_shared<ReflectiveMaterial>(ReflectiveMaterial::kType, caches));
         }},
    };
    for (const Engine& e : kEngine)
        if (MaterialPlugin::Find(e.name) == nullptr)
            MaterialPlugin::Register(
                std::make_shared<EngineMaterialPlugin>(e.name, *UId::Parse(e.uid), e.make),
                e.traits);
}

}  // namespace Kiv
