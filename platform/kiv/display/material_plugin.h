// Kiv::MaterialPlugin: the engine's base of a material plug-in, the object that stands for one
// material type ("tbumptex"). A plug-in is registered in the material family under its name, and
// its type ("m." and the name) becomes loadable through the material loader. Before the engine
// makes a material of the type it asks the plug-in whether the display can draw it; a plug-in
// that says no names the type to make instead. The engine's own four types ("notex", "onetex",
// "gloss", "reflect") are registered by the render kernel's start.
//
// Two bases build on it:
//   MaterialPluginX: a plug-in that keeps the caches its materials hand chunks to in fields of
//     its own, and answers IsSupported from what it needs of a display (capabilities, texture
//     units) with the type to make instead.
//   OneTextureMaterialPlugin: Create runs CreatePluginResources (the base finds or registers the
//     caches and keeps them; a derived plug-in prepares its own handles after it) and then makes
//     the material with the base's caches (CreateMaterial).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/display/display.h"
#include "platform/kiv/display/material.h"
#include "platform/kiv/display/materials.h"
#include "platform/kiv/os/plugin.h"
#include "platform/kiv/os/uid.h"

namespace Kiv {

class RenderKernel;

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

// What a display needs to draw a type: every capability listed and at least `textureUnits`
// texture units; else the type made instead is `fallback` (none: drawn on every display).
struct DisplayNeeds {
    std::vector<int> capabilities;
    uint32_t textureUnits = 0;
    const char* fallback = nullptr;
    // IsSupported's answer.
    bool AreMet(const Display& display, PString& fallback) const;
};

class MaterialPluginX : public MaterialPlugin {
public:
    MaterialPluginX(std::string_view name, const UId& uid, DisplayNeeds needs)
        : MaterialPlugin(name, uid), needs_(std::move(needs)) {}
    bool IsSupported(const Display& display, PString& fallback) const override {
        return needs_.AreMet(display, fallback);
    }
    const MaterialCaches& GetCaches() const { return caches_; }

protected:
    MaterialCaches& Caches() { return caches_; }

private:
    DisplayNeeds needs_;
    MaterialCaches caches_;
};

class OneTextureMaterialPlugin : public MaterialPlugin {
public:
    using MaterialPlugin::MaterialPlugin;
    // CreatePluginResources, then CreateMaterial; null when either fails.
    std::shared_ptr<Material> Create(MaterialManager& manager, Display& display) override;
    // The base finds the caches in the rendering-cache manager, registering the engine's own
    // where one is missing; a derived plug-in prepares what its material needs after calling
    // it. Without a render kernel (null) the base has nothing to find and succeeds; false when
    // the plug-in cannot create its material now.
    virtual bool CreatePluginResources(RenderKernel* kernel);
    const MaterialCaches& GetCaches() const { return caches_; }

protected:
    // The material, made with the base's caches: the engine's one-texture material here.
    virtual std::shared_ptr<Material> CreateMaterial(MaterialManager& manager);

private:
    MaterialCaches caches_;
};

// Registers the engine's own material plug-ins, unless they are registered already.
void RegisterEngineMaterialPlugins();

}  // namespace Kiv
