// The program's one export: the engine's plug-in loader calls KivGetPlugins once, when the
// render kernel starts, to have the program's plug-in types registered. Each object registers
// itself; the call returns nothing. HalvexUtil is linked with a version script that exports
// this function and nothing else (cli/exports.map).
#include "materials/plugin_entry.h"

#include "materials/texture_conversion.h"

extern "C" __attribute__((visibility("default"))) void KivGetPlugins() {
    // The resource type that texture conversion opens descriptions as ("convert-tex.txt").
    RegisterTextureConversionType();
}
