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
// Registering one makes its material type ("m.tbumptex") loadable; the materials themselves
// (their programs, caches and display states) are not in this build yet, so the loader gives
// the engine's plain stand-in for them.
#pragma once

#include <memory>
#include <vector>

#include "platform/kiv/display/material_plugin.h"

namespace Kiv {

// One of the program's plug-ins: a display is asked for `capabilities` (all of them) and at
// least `textureUnits` units.
class HalvexMaterialPlugin : public MaterialPlugin {
public:
    HalvexMaterialPlugin(std::string_view name, const UId& uid, std::vector<int> capabilities,
                         uint32_t textureUnits, const char* fallback)
        : MaterialPlugin(name, uid),
          capabilities_(std::move(capabilities)),
          textureUnits_(textureUnits),
          fallback_(fallback) {}
    bool IsSupported(const Display& display, PString& fallback) const override;

private:
    std::vector<int> capabilities_;
    uint32_t textureUnits_;
    const char* fallback_;  // null: drawn on every display
};

// Creates and registers the seven in order; one registered already is left as it is.
void RegisterMaterialPlugins();

}  // namespace Kiv
