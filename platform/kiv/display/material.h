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
#include "platform/kiv/scene/geometry.h"

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

class Display;
class LightTarget;
class ResourceDatabase;
class Texture;

// A material's operations are the engine's, in its slot order (the comment before each gives
// the slot). The engine's defaults: one pass, no textures, nothing set around drawing. A
// material drawn through a render kernel binds its states for each pass and records the draw
// with the states it left (RenderChunk).
class Material {
public:
    explicit Material(MaterialDescription description) : desc_(std::move(description)) {}
    virtual ~Material() = default;

    // 0: a new material of the same type with this one's state; null when none can be made.
    virtual std::shared_ptr<Material> CreateInstance() const;
    // 1: same type and same state.
    virtual bool Equals(const Material& other) const;
    // 2: the priority the material's textures are kept resident with.
    virtual void SetResourcePriority(float priority) { priority_ = priority; }
    // 3: the plug-in name of the type ("tbumptex"); empty for a material of no plug-in.
    virtual const char* GetPluginName() const { return ""; }
    // 4: makes the material's textures resident for drawing.
    virtual void Activate(int flag);
    // 5: a new chunk drawn with this material; null when the material cannot make it.
    virtual std::shared_ptr<GeometryChunk> CreateGeometryChunk(
        uint32_t vertexCount, uint32_t fourthCount, uint32_t indexCount, uint32_t faceCount,
        uint32_t primitive, const StandardChunkHint& hint);
    // 6: gives the slot a texture of its own (a copy no other material shares); false when the
    // slot has none.
    virtual bool DuplicateTexture(uint32_t slot);
    // 7, 8: the texture of a slot, or null (also for a slot the material does not have).
    virtual Texture* GetTexture(uint32_t slot) const;
    // 9: takes a reference on the texture and lets the slot's old one go; false for a slot the
    // material does not have.
    virtual bool SetTexture(uint32_t slot, Texture* texture, float weight);
    // 10: records the slot's texture by name (SetTextureDefinition) and sets the texture of
    // that name in the database (none when it has no such texture file); false for a slot the
    // material does not have.
    virtual bool SetTexture(uint32_t slot, ResourceDatabase& database, const PString& name,
                            float weight);
    // 11
    virtual uint32_t GetNumPasses() const { return 1; }
    // 12, 13: the states of one pass around its drawing.
    virtual void Bind(Display& display, uint32_t pass);
    virtual void Unbind(Display& display, uint32_t pass);
    // 14: keeps the chunk for a later draw (a cache of the material's); false when it has none.
    virtual bool CacheChunk(GeometryChunk& chunk);
    // 15: draws the chunk: per pass, Bind, Activate, the draw (recorded by the render kernel
    // with the display's states), Unbind. False when the chunk cannot be drawn.
    virtual bool RenderChunk(Display& display, GeometryChunk& chunk);
    // 16: the chunks one after the other; false when one cannot be drawn.
    virtual bool RenderNumChunks(Display& display, GeometryChunk* const* chunks, uint32_t count);
    // 17: the chunk's vertices through the given indices (three a triangle: a list).
    virtual bool RenderPrimitives(Display& display, GeometryChunk& chunk, const uint16_t* indices,
                                  uint32_t indexCount);
    // 18, 19, 20: the material's properties, pairs of words.
    virtual void AddProperty(std::string_view name, std::string_view value);
    virtual const std::string* GetPropertyString(std::string_view name, bool* found) const;
    virtual std::string GetPropertyString(std::string_view name) const;
    // 21: materials of one key are drawn together.
    virtual uint32_t GetSortKey() const { return 0; }
    // 22: true when every texture the material needs is there.
    virtual bool IsLoaded() const { return true; }
    // 23: notes the alpha hint of the material's texture for the caches.
    virtual void CacheAlphaHint() {}
    // 24, 25: the display states the material draws with, and their undoing.
    virtual void SetDisplayState(Display& display);
    virtual void ClearDisplayState(Display& display);

    // The description the material was made from ("m." and the type, as the mesh named it).
    const MaterialDescription& GetDescription() const { return desc_; }
    void SetDescription(MaterialDescription description) { desc_ = std::move(description); }
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
    // The textures by name, one per slot (SetTextureDefinition), lower-cased.
    const std::vector<TextureRequest>& GetTextureRequests() const { return desc_.textures; }
    void SetTextureDefinition(uint32_t slot, const PString& name, float weight);
    float GetResourcePriority() const { return priority_; }

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
    // Equals under the name the mesh code uses.
    bool Compare(const Material& other) const { return Equals(other); }

    // The lighting a chunk drawn directly is shaded with: the chunk (whose vertex program the
    // engine reads), the camera's view transform, the target whose lights fall on it and the
    // object's opacity. The shading is the engine's; the stand-in keeps the last state it was
    // given and counts the calls.
    struct LightingState {
        const GeometryChunk* chunk = nullptr;
        Matrix4x4 view;
        const LightTarget* lights = nullptr;
        float opacity = 1.0f;
    };
    void SetLightingState(const GeometryChunk& chunk, const Matrix4x4& view,
                          const LightTarget* lights, float opacity) {
        lighting_ = {&chunk, view, lights, opacity};
        ++lightingSets_;
    }
    const LightingState& GetLightingState() const { return lighting_; }
    uint32_t GetLightingStateCount() const { return lightingSets_; }

    // Test hook: the next `count` chunk creations of any material fail.
    static void FailNextChunksForTesting(int count);

protected:
    // Copies the base's state into a new material.
    void InitInstance(const Material& from);
    // Per pass: Bind, Activate, the draw (the render kernel records it with the display's
    // states), Unbind. The chunk's own indices (or its vertices in order when it has none), or
    // else `indices` as a triangle list. False when the chunk cannot be drawn.
    bool DrawPasses(Display& display, GeometryChunk& chunk, const uint16_t* indices,
                    uint32_t indexCount);

private:
    MaterialDescription desc_;
    PString creationType_;
    bool twoSided_ = false;
    uint32_t wantedMipLevel_ = 0;
    float priority_ = 0;
    LightingState lighting_;
    uint32_t lightingSets_ = 0;
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

    // The display the manager makes materials for; none for a manager of its own.
    void SetDisplay(Display* display) { display_ = display; }
    Display* GetDisplay() const { return display_; }

    // A material for the description, looked up by its type (letter case ignored); null with
    // *code set to kNotFound or kNotCreated. A type given to RegisterType is made as a plain
    // material of its description. Any other is made by the material plug-in of its name
    // ("m.tbumptex": "tbumptex"): a plug-in that says the display cannot draw it names the type
    // to make instead, and the description's textures are set by name from its folder. Without
    // a display no plug-in is asked, and a plug-in's type is made as a plain material.
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
    std::shared_ptr<Material> CreateByPlugin(const MaterialDescription& description,
                                             std::string_view name, int* code);

    std::set<PString> types_;
    std::set<PString> broken_;
    Display* display_ = nullptr;
};

}  // namespace Kiv
