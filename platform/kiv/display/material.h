// Kiv::Material and Kiv::MaterialManager: the engine's materials as meshes use them. A
// material is made from a description (its type name, property pairs, a flag, a float, the
// display material's colours and texture requests) by the manager, which knows a set of
// material types. A material makes the geometry chunks drawn with it.
//
// Decorated names: "*<base>*<hex>*<name>*", the name of a material that a mesh made for itself
// (base: the mesh file's name without folder or extension; hex: a random number).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/display/geometry_chunk.h"

namespace Kiv {

// Four colours of four components (diffuse, ambient, specular, emissive) and the specular
// power.
struct DisplayMaterial {
    std::array<std::array<float, 4>, 4> colors{};
    float power = 0;
    bool operator==(const DisplayMaterial&) const = default;
};

struct TextureRequest {
    uint32_t slot = 0;
    PString name;  // lower-cased
    float value = 0;
    bool operator==(const TextureRequest&) const = default;
};

struct MaterialDescription {
    PString typeName;     // "m." and the type
    PString requestName;  // the name the mesh asks for (the type name when it has no other)
    PString folder;       // where the material's textures lie
    std::vector<std::pair<std::string, std::string>> properties;
    bool flag = false;
    float value = 0;
    DisplayMaterial display;
    std::vector<TextureRequest> textures;
};

class Material {
public:
    explicit Material(MaterialDescription description) : desc_(std::move(description)) {}
    virtual ~Material() = default;

    const MaterialDescription& GetDescription() const { return desc_; }
    const PString& GetTypeName() const { return desc_.typeName; }
    uint32_t GetNumProperties() const { return static_cast<uint32_t>(desc_.properties.size()); }
    const std::pair<std::string, std::string>& GetProperty(uint32_t i) const {
        return desc_.properties[i];
    }
    // The property of that key, or null.
    const std::pair<std::string, std::string>* FindProperty(std::string_view key) const;
    bool GetFlag() const { return desc_.flag; }
    float GetValue() const { return desc_.value; }
    const DisplayMaterial& GetDisplayMaterial() const { return desc_.display; }
    const std::vector<TextureRequest>& GetTextureRequests() const { return desc_.textures; }

    const PString& GetRequestName() const { return desc_.requestName; }
    void SetRequestName(PString name) { desc_.requestName = std::move(name); }
    void SetDisplayMaterialProperties(const DisplayMaterial& display) { desc_.display = display; }
    const PString& GetCreationType() const { return creationType_; }
    void SetCreationType(PString type) { creationType_ = std::move(type); }

    virtual bool IsNull() const { return false; }
    // The texture detail level the last cull asked of the material (0: the finest).
    void SetWantedMipLevel(uint32_t level) { wantedMipLevel_ = level; }
    uint32_t GetWantedMipLevel() const { return wantedMipLevel_; }
    // The engine's two-sided mark: ray tests meet its triangles from either side.
    bool IsTwoSided() const { return twoSided_; }
    void SetTwoSided(bool on) { twoSided_ = on; }
    // Same type and same description.
    virtual bool Compare(const Material& other) const;

    // A new chunk drawn with this material; null when the material cannot make it.
    virtual std::shared_ptr<GeometryChunk> CreateGeometryChunk(
        uint32_t vertexCount, uint32_t fourthCount, uint32_t indexCount, uint32_t faceCount,
        uint32_t primitive, const StandardChunkHint& hint);

    // Test hook: the next `count` chunk creations of any material fail.
    static void FailNextChunksForTesting(int count);

private:
    MaterialDescription desc_;
    PString creationType_;
    bool twoSided_ = false;
    uint32_t wantedMipLevel_ = 0;
};

// The stand-in for a material the manager could not find, so a mesh still loads.
class NullMaterial : public Material {
public:
    // Keeps the description it stands for, so the mesh can still be written back.
    NullMaterial(PString name, MaterialDescription description);
    bool IsNull() const override { return true; }
};

class MaterialManager {
public:
    // What FindMaterial says when it gives no material.
    static constexpr int kNotFound = 1;
    static constexpr int kNotCreated = 3;  // the type is known but could not be created

    // Types ("m.onetex") the manager makes, and types it knows but fails to make.
    void RegisterType(std::string_view typeName) { types_.insert(PString(typeName).ToLower()); }
    void RegisterBrokenType(std::string_view typeName) {
        broken_.insert(PString(typeName).ToLower());
    }

    // A material for the description, looked up by its type (letter case ignored); null with
    // *code set to kNotFound or kNotCreated.
    std::shared_ptr<Material> FindMaterial(const MaterialDescription& description, int* code);
    // Null only when a test asked for it.
    std::shared_ptr<NullMaterial> CreateNullMaterial(PString name,
                                                     const MaterialDescription& description);

    // "*base*hex*name*" into its three parts; false when the name is not decorated.
    static bool SplitDecoratedMaterialName(std::string_view decorated, std::string* base,
                                           std::string* hex, std::string* name);
    // True when the text is plain (no '*') or a well-formed decorated name.
    static bool VerifyDecoratedName(std::string_view name);

    // Test hook: the next `count` null materials cannot be made.
    static void FailNextNullMaterialsForTesting(int count);

private:
    std::set<PString> types_;
    std::set<PString> broken_;
};

}  // namespace Kiv
