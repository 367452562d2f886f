// The program's seven material plug-ins, in the order the plug-in entry creates them, with
// their names, UIds and what a display needs to draw each (else the type made instead):
//
//   tbumpgloss      vertex programs and pixel combiners    else "tglossrust"
//   tbumptex        vertex programs and pixel combiners    else the engine's "onetex"
//   tbumpenv        vertex programs and pixel combiners    else "tonetexnoalpha"
//   tonetexnoalpha  any display
//   tglossrust      cube maps                              else "onetex"
//   tmpfx           two texture units                      else "onetex"
//   nofogtex        any display
//
// Registering one makes its material type ("m.tbumptex") loadable. Each plug-in's Create makes
// its material: the bump family's with their caches and programs (bump_materials.h), "nofogtex"
// and "tonetexnoalpha" as state_materials.h has them, "tmpfx" as multipfx_material.h has it,
// "tglossrust" as gloss_rust_material.h has it. Every material gets the caches its plug-in found
// in the rendering-cache manager or registered there.
//
// Plug-ins keep their programs and caches without a lock, and textures are counted without
// atomics, because all of it happens on the main thread: materials are made while meshes load,
// and the validator posts every mesh load to the main thread; the background loader's only work
// (a mesh's collision tree) reads finished geometry and never makes a material or takes a
// texture; texture conversion's jobs build bitmaps and files, not engine textures.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/kiv/display/material_plugin.h"

namespace Kiv {

// What the program's seven plug-ins share, whichever engine base they stand on: the bump
// family and "tmpfx" on MaterialPluginX, "tonetexnoalpha", "tglossrust" and "nofogtex" on
// OneTextureMaterialPlugin.
class HalvexMaterialPlugin {
public:
    virtual ~HalvexMaterialPlugin() = default;
    virtual const PString& GetName() const = 0;
    virtual const UId& GetUId() const = 0;
};

template <class EngineBase>
class HalvexPluginOn : public EngineBase, public HalvexMaterialPlugin {
public:
    using EngineBase::EngineBase;
    const PString& GetName() const override { return EngineBase::GetName(); }
    const UId& GetUId() const override { return EngineBase::GetUId(); }
};

// "nofogtex": the engine's one-texture plug-in making the no-fog material.
class HalvexNoFogMaterialPlugin : public HalvexPluginOn<OneTextureMaterialPlugin> {
public:
    using HalvexPluginOn::HalvexPluginOn;

protected:
    std::shared_ptr<Material> CreateMaterial(MaterialManager& manager) override;
};

// "tonetexnoalpha": the one-texture plug-in making the one-texture-no-alpha material.
class HalvexOneTexNoAlphaMaterialPlugin : public HalvexPluginOn<OneTextureMaterialPlugin> {
public:
    using HalvexPluginOn::HalvexPluginOn;

protected:
    std::shared_ptr<Material> CreateMaterial(MaterialManager& manager) override;
};

// Creates and registers the seven in order; one registered already is left as it is.
void RegisterMaterialPlugins();
// The same for one of them (index 0 to MaterialPluginCount() - 1, in that order); the plug-in
// entry creates them one by one so that one failing leaves the others.
size_t MaterialPluginCount();
const char* MaterialPluginName(size_t index);
void RegisterMaterialPlugin(size_t index);

}  // namespace Kiv
