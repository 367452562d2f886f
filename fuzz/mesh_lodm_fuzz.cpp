// LOD mesh files (".lm") from any bytes: every load ends in one of the nine result codes without
// reading outside the file; a file that loads is written, the written file loads, and written
// again it is the same bytes.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "mesh/lod_mesh_definition.h"

namespace {

struct Env {
    Kiv::Display display;
    Kiv::MaterialManager materials;
    MeshLoadArgs args;
    explicit Env(bool skinning) {
        display.SetCapability(Kiv::Display::kCapabilityHardwareSkinning, skinning);
        materials.RegisterType("m.onetex");
        args.allowMissingMaterials = true;
    }
    uint32_t Load(HalvexIndexedMeshLODDefinition& def, std::span<const uint8_t> bytes) {
        def.OpenBytes(bytes, "fuzz.lm");
        return def.Load(&display, &materials, args);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    Env env(size % 2 == 1);
    HalvexIndexedMeshLODDefinition def;
    uint32_t code = env.Load(def, std::span(data, size));
    if (code > RES_FILE_DATA_ERROR) std::abort();
    if (code != 0) return 0;

    Kiv::MeshOutput first;
    if (def.Write(first) != 0) std::abort();
    HalvexIndexedMeshLODDefinition again;
    if (env.Load(again, first.Bytes()) != 0) std::abort();
    if (again.GetNumMeshes() != def.GetNumMeshes() ||
        again.GetDistances().size() != def.GetDistances().size())
        std::abort();
    Kiv::MeshOutput second;
    if (again.Write(second) != 0 || second.Bytes() != first.Bytes()) std::abort();
    return 0;
}
