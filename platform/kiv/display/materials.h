// The render kernel's material loader as start-up uses it: counted engine objects, a loader of
// dummy materials that loads by name only the material types a plug-in registered, vertex types
// made from a material and a chunk hint, the shared texture collection and the rendering-cache
// manager with the cache types plug-ins register. Nothing draws; every object records what it
// was given, so set-up code can be tested by what it set up.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kiv/display/geometry_chunk.h"
#include "platform/kiv/display/material.h"
#include "platform/kiv/scene/geometry.h"

namespace Kiv {

// An engine object that frees itself when its last reference goes (one reference at birth).
class ReferenceCount {
public:
    ReferenceCount() { ++live_; }
    virtual ~ReferenceCount() { --live_; }
    ReferenceCount(const ReferenceCount&) = delete;
    ReferenceCount& operator=(const ReferenceCount&) = delete;
    void AddReference() { ++count_; }
    void ReleaseReference() {
        if (--count_ == 0) delete this;
    }
    uint32_t GetReferenceCount() const { return count_; }
    // Objects of this family alive in the process (for tests).
    static int64_t LiveCount() { return live_; }

private:
    uint32_t count_ = 1;
    static inline int64_t live_ = 0;
};

class ResourceDatabase;
class Bitmap;

// A texture as materials hold it. One loaded from a texture file keeps the file's path, its
// format, level-0 size and level count; while it lives, a second load of that file gives it
// again (materials of one texture compare equal).
class Texture : public ReferenceCount {
public:
    explicit Texture(uint32_t index) : index_(index) {}
    ~Texture() override;
    uint32_t GetIndex() const { return index_; }
    // Makes the texture resident for drawing; counted, so a caller's activations show.
    void Activate() { ++activations_; }
    uint32_t GetActivationCount() const { return activations_; }

    const std::string& GetPath() const { return path_; }
    uint32_t GetWidth() const { return width_; }
    uint32_t GetHeight() const { return height_; }
    uint32_t GetFormat() const { return format_; }
    uint32_t GetNumLevels() const { return levels_; }
    // A texture of the same data that no one else holds (its path is not shared).
    Texture* Duplicate() const;
    // Takes the bitmap's picture as its one level in the display format given; the two values
    // are the caller's own, kept as given. False for a bitmap without a picture.
    bool LoadFromBitmap(const Bitmap& bitmap, uint32_t format, int a, int b);
    int GetBitmapArgument(int k) const { return k == 0 ? bitmapA_ : bitmapB_; }

    // A new reference to the texture of the file `name` names in the database's folder ('\'
    // read as '/'): a texture file (as texture conversion writes it). Null when the name is
    // empty, absolute, climbs out of the folder with "..", or the file is missing, a symbolic
    // link or not a texture file. Like every counted engine object here, textures are taken and
    // let go on one thread, the one that loads meshes and draws.
    static Texture* Load(ResourceDatabase& database, std::string_view name);

private:
    uint32_t index_;
    uint32_t activations_ = 0;
    std::string path_;
    uint32_t width_ = 0, height_ = 0, format_ = 0, levels_ = 0;
    int bitmapA_ = 0, bitmapB_ = 0;
};

// The collection holds texture 0, the plain shared texture; other indexes fail.
class SharedTextureCollection {
public:
    // A new reference, or null.
    static Texture* GetTexture(uint32_t index);
    static void FailForTesting(bool fail);
};

class VertexType : public ReferenceCount {
public:
    VertexType(std::string material, const StandardChunkHint& hint, std::vector<int> args)
        : material_(std::move(material)), hint_(hint), args_(std::move(args)) {}
    const std::string& GetMaterial() const { return material_; }
    const StandardChunkHint& GetHint() const { return hint_; }
    const std::vector<int>& GetArgs() const { return args_; }

private:
    std::string material_;
    StandardChunkHint hint_;
    std::vector<int> args_;
};

// What a plug-in says of a material type it registers.
struct MaterialTraits {
    bool makesVertexTypes = false;
    bool takesTexture = false;
};

// A material loaded by name. When a plug-in of its type stands behind it, the material is the
// one the plug-in created for the current render kernel's display.
class LoadedMaterial : public ReferenceCount {
public:
    LoadedMaterial(std::string type, const MaterialTraits& traits,
                   std::shared_ptr<Material> material = nullptr)
        : type_(std::move(type)), traits_(traits), material_(std::move(material)) {}
    ~LoadedMaterial() override;
    const std::string& GetType() const { return type_; }
    // Null for a type no plug-in stands behind.
    const std::shared_ptr<Material>& GetMaterial() const { return material_; }
    // False for a type that takes no texture (or, with a plug-in's material, a slot it lacks).
    bool SetTexture(int slot, Texture* texture, float weight);
    Texture* GetTexture() const { return texture_; }
    int GetTextureSlot() const { return slot_; }
    float GetTextureWeight() const { return weight_; }
    // A new vertex type, or null for a type that makes none.
    VertexType* CreateVertexType(const StandardChunkHint& hint, int a, int b, int c, int d, int e);

private:
    std::string type_;
    MaterialTraits traits_;
    std::shared_ptr<Material> material_;
    Texture* texture_ = nullptr;
    int slot_ = 0;
    float weight_ = 0;
};

class MaterialLoader {
public:
    // Plug-ins register the material types they provide, by type name ("m.notex").
    static void RegisterType(std::string_view type, const MaterialTraits& traits);
    static void UnregisterAll();
    // True when a plug-in registered the type (letter case ignored).
    static bool IsRegistered(std::string_view type);
    // Loads a material by file name: the type is what follows the first '.' of the name
    // ("HalvexDummyLoad.m.notex" is of type "m.notex"). Null when no plug-in registered it, or
    // when the plug-in of that name cannot create its material for the current render kernel
    // (started) through its material manager.
    static LoadedMaterial* Load(std::string_view name);
};

class Display;

// What draws a chunk an alpha-blend cache holds: the material that added it, called back with the
// two values it gave with the chunk. The chunk stays the adder's; the cache only reads it.
class AlphaBlendRenderer {
public:
    virtual ~AlphaBlendRenderer() = default;
    // The whole chunk, as it is.
    virtual void RenderChunk(Display& display, const GeometryChunk& chunk, uint32_t first,
                             uint32_t second) = 0;
    // The chunk's triangles in the order of `indices`: a triangle list, three per triangle.
    virtual void RenderPrimitives(Display& display, const GeometryChunk& chunk, uint32_t first,
                                  uint32_t second, const uint16_t* indices, uint32_t indexCount,
                                  uint32_t triangleCount) = 0;
};

class RenderingCache : public ReferenceCount {
public:
    // `id`: what the cache is found by (its name when none is given); caches of one kind share
    // it.
    explicit RenderingCache(std::string name, std::string id = {})
        : name_(std::move(name)), id_(id.empty() ? name_ : std::move(id)) {}
    const std::string& GetName() const { return name_; }
    const std::string& GetId() const { return id_; }
    // Forgets what the cache holds, drawing nothing.
    virtual void Clear() {}
    // Draws what the cache holds and forgets it; the engine's own caches hold nothing here.
    virtual void Flush(Display& /*display*/) {}

private:
    std::string name_;
    std::string id_;
};

// The engine's caches materials hand chunks to: blended chunks, alpha-tested chunks, and chunks
// gathered by material.
class AlphaBlendCache : public RenderingCache {
public:
    static constexpr const char* kId = "AlphaBlendCache";
    explicit AlphaBlendCache(std::string name) : RenderingCache(std::move(name), kId) {}
    // Takes a blended chunk to draw when the cache is flushed: `depth` is its distance from the
    // viewer, `viewer` the viewer's position in the chunk's space. False when the cache keeps
    // no chunks (the engine's base): the caller draws the chunk at once.
    virtual bool AddChunk(AlphaBlendRenderer* /*renderer*/, const GeometryChunk& /*chunk*/,
                          float /*depth*/, const Vector3& /*viewer*/) {
        return false;
    }
};

class AlphaMaskCache : public RenderingCache {
public:
    static constexpr const char* kId = "AlphaMaskCache";
    AlphaMaskCache() : RenderingCache(kId) {}
};

class MaterialChunkCache : public RenderingCache {
public:
    static constexpr const char* kId = "MaterialChunkCache";
    MaterialChunkCache() : RenderingCache(kId) {}
};

// The engine's own unsorted alpha-blend cache.
class UnsortedAlphaBlendCache : public RenderingCache {
public:
    explicit UnsortedAlphaBlendCache(int mode)
        : RenderingCache("UnsortedAlphaBlendCache"), mode_(mode) {}
    int GetMode() const { return mode_; }

private:
    int mode_;
};

// The three caches a material hands chunks to (alpha-blend, alpha-mask, material-chunk), as its
// plug-in found or made them; copies hold references of their own.
class MaterialCaches {
public:
    enum { kAlphaBlend, kAlphaMask, kMaterialChunk, kCount };
    MaterialCaches() = default;
    MaterialCaches(const MaterialCaches& other) { *this = other; }
    MaterialCaches& operator=(const MaterialCaches& other);
    ~MaterialCaches() { Clear(); }
    void Clear();
    bool IsComplete() const;
    // The alpha-blend cache, or null.
    AlphaBlendCache* GetAlphaBlendCache() const;
    std::array<RenderingCache*, kCount> cache{};
};

// Fills the caches still missing: each found by its id in the rendering-cache manager, else made
// by `make` (given its kind, MaterialCaches::kAlphaBlend...) and registered there.
using MaterialCacheMaker = RenderingCache* (*)(int kind);
void FindOrAddMaterialCaches(MaterialCaches& caches, MaterialCacheMaker make);
// The engine's own cache of a kind (its alpha-blend cache keeps no chunks: they are drawn at
// once).
RenderingCache* MakeEngineMaterialCache(int kind);

class RenderingCacheManager {
public:
    static RenderingCacheManager& Instance();
    // Lets go of the caches it holds.
    ~RenderingCacheManager();
    // Takes a reference.
    void AddCache(RenderingCache* cache);
    // Drops the manager's reference.
    void RemoveCache(RenderingCache* cache);
    // The first cache added with that id, with a new reference; null when there is none.
    RenderingCache* FindCache(std::string_view id);
    const std::vector<RenderingCache*>& GetCaches() const { return caches_; }
    // Every cache forgets what it holds (a new frame), or draws it and forgets it (the frame's
    // end), in the order the caches were added.
    void ClearAll();
    void FlushAll(Display& display);

    // Cache types provided by plug-ins, made by name; null when none registered the name.
    using Factory = std::function<RenderingCache*()>;
    static void RegisterCacheType(std::string_view name, Factory factory);
    static void UnregisterCacheTypes();
    static RenderingCache* MakeCache(std::string_view name);

private:
    std::vector<RenderingCache*> caches_;
};

}  // namespace Kiv
