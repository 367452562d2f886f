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
#include "mesh/mesh_resources.h"
#include "platform/kiv/res/resource.h"

namespace {

// The resource types' own UIds, in the order the resource family lists them; the two LOD mesh
// forms share one.
constexpr struct {
    const char* extension;
    const char* uid;
} kResourceTypeIds[] = {
    {"im", "B9E68EA1-56A3-4a6d-9D5D-C5C020F944E6"},
    {"pm", "2E8739F0-412F-48c2-9F71-912B659C58B6"},
    {"lm.txt", "8FCC40D7-8BDD-4d14-B528-65692F5DF710"},
    {"lm", "8FCC40D7-8BDD-4d14-B528-65692F5DF710"},
    {"convert-tex.txt", "A6805E60-4C54-1278-1111-00010251467D"},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) void KivGetPlugins() {
    // The material plug-ins, in the engine's order.
    Kiv::RegisterMaterialPlugins();
    // The alpha-blend caches the materials draw blended chunks through.
    Kiv::RegisterAlphaBlendCacheTypes();
    // The mesh resource types: "im", "pm", "lm.txt", "lm".
    RegisterMeshResourceTypes();
    // The resource type that texture conversion opens descriptions as ("convert-tex.txt").
    RegisterTextureConversionType();
    // Each in the resource family under its UId (one listed already stays as it is).
    for (const auto& t : kResourceTypeIds)
        Kiv::ListResourceType(t.extension, *Kiv::UId::Parse(t.uid));
}
