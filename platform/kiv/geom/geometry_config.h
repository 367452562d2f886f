// Kiv::GeometryConfigData: an indexed mesh described as text (".imtxt"), read from a
// Kiv::ConfigData tree (platform/kiv/base/config_parser.h). Our layout:
//
//   version 1.00
//   position "x y z"                 placement (default 0 0 0)
//   orientation "x y z w"            quaternion (default 0 0 0 1)
//   weights 2                        largest weights one vertex carries (default 0)
//   bones 2                          bones one chunk uses (default 0)
//   chunk {                          one per sub-mesh, in order
//     material {
//       type m.onetex                material type ("m." and the type)
//       name body                    the material's own name (optional)
//       flag 0   value 0   power 10
//       diffuse "r g b a"   ambient "..."   specular "..."   emissive "..."
//       property { key shine value yes }              any number
//       texture { slot 0 name body.texture value 1 }  any number
//     }
//     primitive 4                    the file's primitive bits (0, 1, 2, 4, 8, 16; default 4, a
//     list) fourth 0 positions "x y z ..."          three a vertex: the vertex count normals "..."
//     color1 "0xAARRGGBB ..."   color2 "..."          optional, per vertex texcoords "u v ..."
//     repeated: set 0, 1, ... (at most 8) weightspervertex 2   blendweights "w ..."   blendindices
//     "packed u32 ..." indices "0 1 2 ..."            below the vertex count facenormals "x y z
//     ..."        three a face: the face count (else indices / 3, zero)
//   }
//   influence { name root  parent ""  position "x y z"  orientation "9 values, row-major"
//               group { submesh 0  entries "vertex weight a b c ..." } }
//   attachment { name a.lamp  position "x y z"  orientation "x y z w" }
//
// Every array is checked against the counts it must match; a tree that breaks one does not load.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/kiv/base/config_parser.h"
#include "platform/kiv/scene/geometry.h"

namespace Kiv {

struct MaterialConfigEntry {
    std::string type, name;
    std::vector<std::pair<std::string, std::string>> properties;
    bool flag = false;
    float value = 0;
    std::array<std::array<float, 4>, 4> colors{};  // diffuse, ambient, specular, emissive
    float power = 0;
    struct Texture {
        uint32_t slot = 0;
        std::string name;
        float value = 0;
    };
    std::vector<Texture> textures;
};

struct GeometryConfigChunk {
    MaterialConfigEntry material;
    uint32_t primitiveBits = 4;
    uint32_t fourth = 0;
    uint32_t vertexCount = 0, faceCount = 0;
    std::vector<float> positions, normals;
    std::vector<uint32_t> color1, color2;
    std::vector<std::vector<float>> texCoords;
    uint32_t weightsPerVertex = 0;
    std::vector<float> blendWeights;
    std::vector<uint32_t> blendIndices;
    std::vector<uint32_t> indices;
    std::vector<float> faceNormals;
};

// One skin influence: a bone and the vertices it moves.
struct InfluenceDefinition {
    struct Entry {
        uint32_t vertex = 0;
        float weight = 0;
        float extra[3] = {0, 0, 0};
    };
    struct Group {
        uint32_t subMesh = 0;
        std::vector<Entry> entries;
    };
    std::string name, parent;
    Vector3 position;
    Matrix3 orientation;
    std::vector<Group> groups;
};

struct AttachmentConfig {
    std::string name;
    Vector3 position;
    Quaternion orientation;
};

class GeometryConfigData {
public:
    // Reads the tree; false when anything is missing or does not fit (the reason in GetError).
    // The three flags ask for materials, influences and attachments; name is for messages.
    bool LoadConfigData(const ConfigData& tree, bool materials, bool influences, bool attachments,
                        std::string_view name);
    const std::string& GetError() const { return error_; }

    const Vector3& GetPosition() const { return position_; }
    const Quaternion& GetOrientation() const { return orientation_; }
    uint32_t GetSkinWeights() const { return weights_; }
    uint32_t GetSkinBones() const { return bones_; }
    uint32_t GetNumChunks() const { return static_cast<uint32_t>(chunks_.size()); }
    const GeometryConfigChunk& GetChunk(uint32_t i) const { return chunks_[i]; }
    // The largest vertex count of a chunk (0: nothing to draw).
    uint32_t GetMaxVertices() const;
    const std::vector<InfluenceDefinition>& GetInfluences() const { return influences_; }
    const std::vector<AttachmentConfig>& GetAttachments() const { return attachments_; }

private:
    bool Fail(std::string why);
    bool ReadChunk(const ConfigData& node, GeometryConfigChunk& chunk);

    Vector3 position_;
    Quaternion orientation_;
    uint32_t weights_ = 0, bones_ = 0;
    std::vector<GeometryConfigChunk> chunks_;
    std::vector<InfluenceDefinition> influences_;
    std::vector<AttachmentConfig> attachments_;
    std::string error_;
};

// The material entry a "material" group describes.
bool ReadMaterialConfigEntry(const ConfigData& node, MaterialConfigEntry* out);

}  // namespace Kiv
