// Kiv::MaterialPlugin and Kiv::OneTextureMaterialPlugin: the engine's bases of a material
// plug-in, the object that stands for one material type ("tbumptex"). A plug-in is registered
// in the material family under its name, and its type ("m." and the name) becomes loadable
// through the material loader. Before the engine makes a material of the type it asks the
// plug-in whether the display can draw it; a plug-in that says no names the type to make
// instead. The engine's own four types ("notex", "onetex", "gloss", "reflect") are registered
// by the render kernel's start.
#pragma once

#include <memory>
#include <string_view>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/display/display.h"
#include "platform/kiv/display/material.h"
#include "platform/kiv/display/materials.h"
#include "platform/kiv/os/plugin.h"
#include "platform/kiv/os/uid.h"

namespace Kiv {

// The family every material plug-in belongs to.
const UId& MaterialPluginFamily();

class MaterialPlugin : public PluginBase {
public:
    MaterialPlugin(std::string_view name, const UId& uid)
        : PluginBase(MaterialPluginFamily(), name), uid_(uid) {}
    const UId& GetUId() const { return uid_; }
    // True when the display draws the type; else false with the type to make instead (its
    // plug-in name) in `fallback`. The engine's plug-ins draw on every display.
    virtual bool IsSupported(const Display& display, PString& fallback) const;
    // A new material of the type, or null when the plug-in cannot make one now.
    virtual std::shared_ptr<Material> Create(MaterialManager& manager, Display& display);

    // Registers the plug-in and its material type ("m.<name>"). False, registering nothing,
    // when the family already has a plug-in of that name.
    static bool Register(std::shared_ptr<MaterialPlugin> plugin, const MaterialTraits& traits);
    // The registered plug-in of that name, or null.
    static std::shared_ptr<MaterialPlugin> Find(std::string_view name);

private:
    UId uid_;
};

class OneTextureMaterialPlugin : public MaterialPlugin {
public:
    using MaterialPlugin::MaterialPlugin;
    // The engine's one-texture material.
    std::shared_ptr<Material> Create(MaterialManager& manager, Display& display) override;
};

// Registers the engine's own material plug-ins, unless they are registered already.
void RegisterEngineMaterialPlugins();

}  // namespace Kiv
