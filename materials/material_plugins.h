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
// "tglossrust" as gloss_rust_material.h has it.
#pragma once

#include <memory>
#include <vector>

#include "platform/kiv/display/material_plugin.h"

namespace Kiv {

// One of the program's plug-ins: a display is asked for `capabilities` (all of them) and at
// least `textureUnits` units.
class HalvexMaterialPlugin : public MaterialPlugin {
public:
    // What Create makes (null: nothing).
    using Maker = std::shared_ptr<Material> (*)();
    HalvexMaterialPlugin(std::string_view name, const UId& uid, std::vector<int> capabilities,
                         uint32_t textureUnits, const char* fallback, Maker maker = nullptr)
        : MaterialPlugin(name, uid),
          capabilities_(std::move(capabilities)),
          textureUnits_(textureUnits),
          fallback_(fallback),
          maker_(maker) {}
    bool IsSupported(const Display& display, PString& fallback) const override;
    std::shared_ptr<Material> Create(MaterialManager& manager, Display& display) override;

private:
    std::vector<int> capabilities_;
    uint32_t textureUnits_;
    const char* fallback_;  // null: drawn on every display
    Maker maker_;
};

// Creates and registers the seven in order; one registered already is left as it is.
void RegisterMaterialPlugins();

}  // namespace Kiv
