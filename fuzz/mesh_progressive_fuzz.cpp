// Progressive mesh files (".pm") from any bytes: every load ends in one of the nine result codes,
// the progressive tables are sized only from bytes that are there and their runs are walked
// inside the tables (the sanitiser sees any read outside).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "mesh/progressive_mesh_definition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    Kiv::Display display;
    display.SetCapability(Kiv::Display::kCapabilityHardwareSkinning, size % 2 == 1);
    Kiv::MaterialManager materials;
    materials.RegisterType("m.onetex");
    MeshLoadArgs args;
    args.allowMissingMaterials = true;
    HalvexProgressiveMeshDefinition def;
    def.OpenBytes(std::span(data, size), "fuzz.pm");
    const uint32_t code = def.Load(&display, &materials, args);
    if (code > RES_FILE_DATA_ERROR || def.GetProgressiveResult() > RES_FILE_DATA_ERROR)
        std::abort();
    return 0;
}
