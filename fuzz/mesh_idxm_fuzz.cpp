// Indexed mesh files (".im") from any bytes: every load ends in one of the nine result codes and
// never reads outside the file (the sanitiser sees that), on a display with and without
// hardware skinning, with missing materials refused and allowed.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "mesh/indexed_mesh_definition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    for (int pass = 0; pass < 2; ++pass) {
        Kiv::Display display;
        display.SetCapability(Kiv::Display::kCapabilityHardwareSkinning, pass == 1);
        Kiv::MaterialManager materials;
        materials.RegisterType("m.onetex");
        MeshLoadArgs args;
        args.allowMissingMaterials = pass == 1;
        HalvexIndexedMeshDefinition def;
        def.OpenBytes(std::span(data, size), "fuzz.im");
        uint32_t code = def.Load(&display, &materials, args);
        if (code > RES_FILE_DATA_ERROR) std::abort();
        if (code == 0 && def.GetNumSubMeshes() != 0 && def.GetTotalVertices() == 0) std::abort();
    }
    return 0;
}
