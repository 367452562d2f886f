// LOD mesh texts (".lm.txt") and geometry texts (".imtxt") from any bytes. The texts may name
// the sub-meshes of a small folder made once ("quad.im", "quad.imtxt", "big.im"). Every load
// ends in a result code without reading outside its buffers; a LOD text that loads is written
// as a LOD file, which loads again with the same levels.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "mesh/lod_mesh_definition.h"
#include "mesh/testing/idxm_writer.h"

namespace {

struct Folder {
    std::string path;
    Folder() {
        char pattern[] = "/tmp/halvex_lod_text_fuzz_XXXXXX";
        path = ::mkdtemp(pattern) ? pattern : "/tmp";
        meshtesting::IdxmFile quad, big;
        quad.subMeshes.push_back(meshtesting::QuadSubMesh());
        big.subMeshes.push_back(meshtesting::QuadSubMesh(201, 4.0f));
        Save("quad.im", meshtesting::WriteIdxm(quad));
        Save("big.im", meshtesting::WriteIdxm(big));
        std::string text = meshtesting::WriteImtxt(quad);
        Save("quad.imtxt", std::vector<uint8_t>(text.begin(), text.end()));
    }
    void Save(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(path + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) return 0;
    static Folder folder;
    std::vector<uint8_t> bytes(data, data + size);
    Kiv::Display display;
    Kiv::MaterialManager materials;
    materials.RegisterType("m.onetex");

    folder.Save("input.lm.txt", bytes);
    HalvexIndexedMeshLODDefinition def;
    uint32_t code = def.LoadText(folder.path + "/input.lm.txt", &display, &materials);
    if (code > RES_FILE_DATA_ERROR) std::abort();
    if (code == 0) {
        Kiv::MeshOutput out;
        if (def.Write(out) != 0) std::abort();
        HalvexIndexedMeshLODDefinition back;
        back.OpenBytes(out.Bytes(), "input.lm");
        if (back.Load(&display, &materials) != 0) std::abort();
        if (back.GetNumMeshes() != def.GetNumMeshes() || back.GetDistances() != def.GetDistances())
            std::abort();
    }

    folder.Save("input.imtxt", bytes);
    HalvexIndexedMeshDefinition mesh;
    code = mesh.LoadConfigFile(folder.path + "/input.imtxt", &display, &materials);
    if (code > RES_FILE_DATA_ERROR) std::abort();
    return 0;
}
