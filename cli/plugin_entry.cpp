// The program's one export: the engine's plug-in loader (platform/kiv/os/plugin_loader.h) calls
// KivGetPlugins once, when the render kernel starts, to have the program's plug-in types
// registered; the call returns nothing. HalvexUtil is linked with a version script that exports
// this function and nothing else (cli/exports.map).
//
// The place to register a plug-in type of the program: call its registration below, in this
// order: the material plug-ins, then the resource types "im", "pm", "lm.txt", "lm" (the mesh
// code's, through Kiv::RegisterResourceType), then "convert-tex.txt". A registration must be
// safe to call again (a second load of the image does not call the entry, but tests do).
#include "cli/plugin_entry.h"

#include "materials/alpha_blend_cache.h"
#include "materials/material_plugins.h"
#include "materials/texture_conversion.h"

extern "C" __attribute__((visibility("default"))) void KivGetPlugins() {
    // The material plug-ins, in the engine's order.
    Kiv::RegisterMaterialPlugins();
    // The alpha-blend caches the materials draw blended chunks through.
    Kiv::RegisterAlphaBlendCacheTypes();
    // The resource type that texture conversion opens descriptions as ("convert-tex.txt").
    RegisterTextureConversionType();
}
