// A writer of "IDXM" indexed mesh files, field by field in the order the reader takes them, for
// every version the reader accepts. The program itself writes no indexed mesh (they are made by
// the content tools); these files are the fixtures, fuzz seeds and benchmark meshes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mesh/indexed_mesh_definition.h"

namespace meshtesting {

struct IdxmTexture {
    uint32_t slot = 0;
    std::string name;
    float value = 0;
};

struct IdxmMaterial {
    uint32_t version = 103;
    std::string typeName = "m.onetex";
    std::vector<std::pair<std::string, std::string>> properties;
    uint32_t flag = 0;
    float value = 0;
    std::array<std::array<float, 3>, 4> colors{};
    float power = 10;
    std::vector<IdxmTexture> textures;
};

struct IdxmGeometry {
    uint32_t version = 201;
    uint32_t flags = Kiv::kPrimitiveBitsTriangleList;
    uint32_t further = 0;
    float headerValue = 0;
    uint32_t fourth = 0;
    uint32_t texSets = 1;         // written only by versions 103 to 199; 1 for the others
    uint32_t weights = 0;         // from version 102
    std::string vertexType;       // from version 200
    std::vector<float> vertices;  // per vertex: 3 position, 2 per texture set
    std::vector<uint16_t> indices;
    std::vector<uint32_t> colours;  // versions 104 to 199, one per vertex, 0xAARRGGBB
    uint32_t faceCount = 0;
    std::vector<float> faceNormals;  // 3 per face
    // Overrides the vertex count the block implies (for hostile files).
    std::optional<uint32_t> vertexCount;
    uint32_t VertexCount() const;
};

struct IdxmSubMesh {
    uint32_t unused = 0;
    IdxmMaterial material;
    IdxmGeometry geometry;
    std::optional<std::vector<uint32_t>> neighbours;  // 3 per face
};

struct IdxmBone {
    std::string name;
    Kiv::Vector3 position;
    Kiv::Quaternion rotation;
    std::vector<IdxmBone> children;
};

// The progressive tables of a ".pm" ("PMIN", after the attachments). The counts written are the
// tables' sizes unless overridden (for hostile files).
struct IdxmProgressive {
    uint32_t version = 101;
    std::vector<uint32_t> words;
    std::vector<std::array<uint32_t, 4>> level3;
    std::vector<std::array<uint32_t, 2>> level2;
    std::vector<uint32_t> level1;
    std::optional<std::array<uint32_t, 4>> counts;  // A, B, C, D
};

struct IdxmFile {
    uint32_t infoVersion = 102;
    Kiv::Vector3 position;
    Kiv::Quaternion orientation;
    uint32_t skinWeights = 0, skinBones = 0;  // from version 102
    std::array<float, 6> ignored{};           // version 104
    std::vector<IdxmSubMesh> subMeshes;
    std::optional<std::vector<MeshInfluence>> influences;
    std::optional<IdxmBone> skeleton;
    uint32_t boneVersion = 100;
    std::optional<std::vector<MeshAttachmentPoint>> attachments;
    std::optional<IdxmProgressive> progressive;
};

std::vector<uint8_t> WriteIdxm(const IdxmFile& file);

// The file a loaded definition stands for. Versions, and what a definition does not keep (the
// unused words, weights per vertex, the texture-set count written, the ignored floats), come
// from `like`; the rest from the definition.
IdxmFile IdxmFromDefinition(const HalvexIndexedMeshDefinition& def, const IdxmFile& like);

// The same mesh as a geometry text (".imtxt"): every sub-mesh with its material, positions,
// first texture set, indices and face normals (colours as written from version 104 to 199),
// influences and attachments.
std::string WriteImtxt(const IdxmFile& file);

// Progressive tables whose runs fill each table exactly: one level-1 record owning two level-2
// records, owning one and two level-3 records, owning 1, 2 and 3 words.
IdxmProgressive SampleProgressive();

// A small textured quad (two triangles) with one material, at a geometry version.
IdxmSubMesh QuadSubMesh(uint32_t geomVersion = 201, float size = 1.0f);
// A grid of n x n quads (2 n^2 triangles, (n+1)^2 vertices), in sub-meshes of fewer than 65536
// vertices and at most 32768 triangles.
IdxmFile GridMesh(uint32_t n);

}  // namespace meshtesting
