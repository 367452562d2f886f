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

#include <gtest/gtest.h>

#include "mesh/indexed_mesh_definition.h"
#include "mesh/mesh_resources.h"
#include "mesh/testing/idxm_writer.h"
#include "platform/kiv/base/options.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/res/resource_database.h"

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

// A mesh of n textured quads, one sub-mesh each.
inline meshtesting::IdxmFile Quads(int n) {
    meshtesting::IdxmFile file;
    for (int i = 0; i < n; ++i)
        file.subMeshes.push_back(meshtesting::QuadSubMesh());
    return file;
}

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

// Resources found in a database by file name and initialised on the test engine's kernel, and
// instances of them; every resource is released at the end.
class MeshResources : public ::testing::Test {
protected:
    // The resource of that file, initialised on the kernel (null kernel: none).
    template <typename T>
    T* Open(const std::string& path, Kiv::RenderKernel* kernel, uint32_t* result = nullptr) {
        Kiv::Resource* found = database.FindResource(Kiv::PString(path), 2);
        auto* resource = dynamic_cast<T*>(found);
        if (resource == nullptr) {
            if (found) found->ReleaseReference();
            return nullptr;
        }
        held.push_back(resource);
        const uint32_t r = resource->Initialise(kernel);
        if (result) *result = r;
        return resource;
    }
    // An instance of the mesh in that file; null when none is made.
    template <typename Instance, typename Resource>
    std::unique_ptr<Instance> MakeInstance(const std::string& path) {
        auto* resource = Open<Resource>(path, &k.kernel);
        if (resource == nullptr || resource->GetDefinition() == nullptr) return nullptr;
        auto made = resource->CreateInstance();
        return std::unique_ptr<Instance>(static_cast<Instance*>(made.release()));
    }
    ~MeshResources() override {
        for (Kiv::Resource* r : held)
            r->ReleaseReference();
    }

    MeshTempFolder folder;
    Kiv::ResourceDatabase database{Kiv::PString("test"), "/tmp"};
    std::vector<Kiv::Resource*> held;
    MeshTestEngine k;
};
