// What the mesh tests share: a display and a material manager that knows "m.onetex", and loads
// of fixture bytes.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "mesh/indexed_mesh_definition.h"
#include "mesh/mesh_resources.h"
#include "mesh/testing/idxm_writer.h"
#include "platform/kiv/base/options.h"
#include "platform/kiv/display/render_kernel.h"

struct MeshTestEnv {
    Kiv::Display display;
    Kiv::MaterialManager materials;
    MeshTestEnv() {
        materials.RegisterType("m.onetex");
        materials.RegisterBrokenType("m.broken");
    }
    uint32_t Load(HalvexIndexedMeshDefinition& def, const std::vector<uint8_t>& bytes,
                  const MeshLoadArgs& args = {}) {
        def.OpenBytes(bytes, "meshes/test.im");
        return def.Load(&display, &materials, args);
    }
};

inline void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        bytes[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

inline uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
        v |= uint32_t{bytes[at + k]} << (8 * k);
    return v;
}

// The offset of the first occurrence of a 4-byte id at or after `from`; bytes.size() if none.
inline size_t FindId(const std::vector<uint8_t>& bytes, const char* id, size_t from = 0) {
    for (size_t i = from; i + 4 <= bytes.size(); ++i)
        if (bytes[i] == uint8_t(id[0]) && bytes[i + 1] == uint8_t(id[1]) &&
            bytes[i + 2] == uint8_t(id[2]) && bytes[i + 3] == uint8_t(id[3]))
            return i;
    return bytes.size();
}

// A fresh folder under the system's temporary folder, removed with everything in it.
struct MeshTempFolder {
    std::string path;
    MeshTempFolder() {
        char pattern[] = "/tmp/halvex_mesh_XXXXXX";
        const char* made = ::mkdtemp(pattern);
        path = made ? made : "/tmp";
    }
    ~MeshTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string Write(const std::string& name, const std::string& text) const {
        std::string full = path + "/" + name;
        std::ofstream(full, std::ios::binary) << text;
        return full;
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return Write(name, std::string(bytes.begin(), bytes.end()));
    }
};

// The engine as the program will have it: the mesh resource types registered and a started
// render kernel (the current one) whose material manager makes "m.onetex" materials.
struct MeshTestEngine {
    Kiv::RenderKernel kernel{nullptr, 1.0f};
    MeshTestEngine() {
        kernel.Init(Kiv::Options("-NullRender"));
        kernel.GetMaterialManager().RegisterType("m.onetex");
        RegisterMeshResourceTypes();
    }
    ~MeshTestEngine() { UnregisterMeshResourceTypes(); }
    MeshTestEngine(const MeshTestEngine&) = delete;
    MeshTestEngine& operator=(const MeshTestEngine&) = delete;
};
