// The program's one export: the engine's plug-in loader (platform/kiv/os/plugin_loader.h) calls
// KivGetPlugins once, when the render kernel starts, to have the program's plug-in types
// registered; the call returns nothing. HalvexUtil is linked with a version script that exports
// this function and nothing else (cli/exports.map).
//
// The place to register a plug-in type of the program: call its registration below, in this
// order: the material plug-ins, then the resource types "im", "pm", "lm.txt", "lm" (the mesh
// code's, through Kiv::RegisterResourceType), then "convert-tex.txt". A registration must be
// safe to call again (a second load of the image does not call the entry, but tests do).
// Each plug-in and resource type is created on its own: one that cannot be allocated is skipped
// and the rest are still created.
#include "cli/plugin_entry.h"

#include <cstddef>
#include <iterator>
#include <new>
#include <string_view>

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
constexpr const char* kConversionExtension = "convert-tex.txt";

PluginEntryAllocationHook gAllocationHook = nullptr;

// Where an object of the entry is allocated; the test hook may fail it there.
void Allocating(size_t object) {
    if (gAllocationHook != nullptr) gAllocationHook(object);
}

// An object that cannot be allocated is left out and the entry goes on: the engine then lacks
// that one type instead of every type after it. The engine's loader expects no report.
template <typename Create>
void CreateObject(Create create) {
    try {
        create();
    } catch (const std::bad_alloc&) {
    }
}

void RegisterResourceType(std::string_view extension) {
    if (extension == kConversionExtension)
        RegisterTextureConversionType();
    else
        RegisterMeshResourceType(extension);
}

}  // namespace

void SetPluginEntryAllocationHook(PluginEntryAllocationHook hook) {
    gAllocationHook = hook;
}

extern "C" __attribute__((visibility("default"))) void KivGetPlugins() {
    // The material plug-ins, in the engine's order.
    const size_t materials = Kiv::MaterialPluginCount();
    for (size_t i = 0; i < materials; ++i)
        CreateObject([i] {
            Allocating(i);
            Kiv::RegisterMaterialPlugin(i);
        });
    // The alpha-blend caches the materials draw blended chunks through.
    Kiv::RegisterAlphaBlendCacheTypes();
    // The resource types, each in the resource family under its UId (one listed already stays
    // as it is). A type whose listing cannot be made is not left half there.
    for (size_t i = 0; i < std::size(kResourceTypeIds); ++i) {
        const auto& t = kResourceTypeIds[i];
        const bool known = Kiv::FindResourceType(t.extension) != nullptr;
        CreateObject([&] {
            RegisterResourceType(t.extension);
            try {
                Allocating(materials + i);
                Kiv::ListResourceType(t.extension, *Kiv::UId::Parse(t.uid));
            } catch (const std::bad_alloc&) {
                if (!known) Kiv::UnregisterResourceType(t.extension);
                throw;
            }
        });
    }
}
