// Kiv::OneTextureMaterial: the engine's material of one texture (slot 0, the bitmap), the base
// of most of the program's materials. Around its drawing it sets display states
// (SetDisplayState, undone by ClearDisplayState); Bind and Unbind call them for a pass. Its
// flags word: bit 0 draws both sides (no culling), bit 1 leaves blending alone.
//
// It holds the caches its plug-in found or made. A material whose bitmap has an alpha channel
// (and whose flags do not leave blending alone) blends with what is drawn already: inside a
// frame it hands its chunks to its alpha-blend cache, which draws them after the opaque
// geometry; outside one, or without such a cache, it draws them at once.
//
// Kiv::ReflectiveMaterial: the engine's one-texture material with a reflection, an environment
// texture in slot 9 drawn on stage 1 over the bitmap; the engine's "reflect" and "gloss" types
// are made of it.
//
// Kiv::NoTextureMaterial: the engine's "notex", lit colour without any texture.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/kiv/display/display.h"
#include "platform/kiv/display/material.h"
#include "platform/kiv/display/materials.h"

namespace Kiv {

class OneTextureMaterial : public Material {
public:
    static constexpr uint32_t kFlagNoCulling = 1;
    static constexpr uint32_t kFlagNoBlending = 2;
    static constexpr const char* kUndecoratedType = "onetex";
    static constexpr uint32_t kBitmapSlot = 0;

    OneTextureMaterial() : Material(MaterialDescription{}), renderer_(*this) {}
    explicit OneTextureMaterial(const MaterialCaches& caches)
        : Material(MaterialDescription{}), caches_(caches), renderer_(*this) {}
    ~OneTextureMaterial() override;

    const char* GetPluginName() const override { return kUndecoratedType; }
    std::shared_ptr<Material> CreateInstance() const override;
    // Same type, texture, flags and blend factors.
    bool Equals(const Material& other) const override;

    // Slot 0; any other slot is not the material's.
    using Material::SetTexture;
    Texture* GetTexture(uint32_t slot) const override;
    bool SetTexture(uint32_t slot, Texture* texture, float weight) override;
    Texture* GetBitmap() const { return texture_; }
    bool IsLoaded() const override { return texture_ != nullptr; }

    uint32_t GetMaterialFlags() const { return flags_; }
    void SetMaterialFlags(uint32_t flags) { flags_ = flags; }
    uint32_t GetSourceBlend() const { return sourceBlend_; }
    uint32_t GetDestinationBlend() const { return destinationBlend_; }
    void SetBlendFactors(uint32_t source, uint32_t destination) {
        sourceBlend_ = source;
        destinationBlend_ = destination;
    }

    // Activates the texture (when there is one) for drawing.
    void Activate(int flag) override;

    // Notes whether the material blends (above); the materials whose bitmap alpha means
    // something else say it does not.
    void CacheAlphaHint() override;
    bool IsBlended() const { return blended_; }
    // Hands a blended chunk to the alpha-blend cache (above), else draws it.
    bool RenderChunk(Display& display, GeometryChunk& chunk) override;

    const MaterialCaches& GetCaches() const { return caches_; }

    // Binds the texture to stage 0 (none: stage 0 has no texture); ClearDisplayState leaves the
    // display as it is.
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;

protected:
    // Copies the base's state (the texture and the caches with references of their own).
    void InitInstance(const OneTextureMaterial& from);
    void NoteAlphaHint(bool blended) { blended_ = blended; }

private:
    // What a cache calls back to draw the chunks it was handed (at once, by then).
    class BlendRenderer : public AlphaBlendRenderer {
    public:
        explicit BlendRenderer(Material& material) : material_(material) {}
        BlendRenderer(const BlendRenderer&) = delete;
        BlendRenderer& operator=(const BlendRenderer&) = delete;
        void RenderChunk(Display& display, const GeometryChunk& chunk, uint32_t first,
                         uint32_t second) override;
        void RenderPrimitives(Display& display, const GeometryChunk& chunk, uint32_t first,
                              uint32_t second, const uint16_t* indices, uint32_t indexCount,
                              uint32_t triangleCount) override;

    private:
        Material& material_;
    };
    bool HandToAlphaBlendCache(Display& display, const GeometryChunk& chunk);

    MaterialCaches caches_;
    BlendRenderer renderer_;
    bool blended_ = false;
    Texture* texture_ = nullptr;
    uint32_t flags_ = 0;
    uint32_t sourceBlend_ = 4;
    uint32_t destinationBlend_ = 5;
};

class ReflectiveMaterial : public OneTextureMaterial {
public:
    static constexpr const char* kType = "reflect";
    static constexpr uint32_t kReflectionSlot = 9;

    // `type`: the plug-in name (a literal that lives as long as the program).
    explicit ReflectiveMaterial(const char* type = kType) : type_(type) {}
    ReflectiveMaterial(const char* type, const MaterialCaches& caches)
        : OneTextureMaterial(caches), type_(type) {}
    ~ReflectiveMaterial() override;
    const char* GetPluginName() const override { return type_; }
    std::shared_ptr<Material> CreateInstance() const override;
    bool Equals(const Material& other) const override;

    using OneTextureMaterial::SetTexture;
    Texture* GetTexture(uint32_t slot) const override;
    bool SetTexture(uint32_t slot, Texture* texture, float weight) override;
    Texture* GetReflection() const { return reflection_; }
    // The bitmap's alpha says where it reflects: never blended.
    void CacheAlphaHint() override { NoteAlphaHint(false); }
    void Activate(int flag) override;
    // The bitmap on stage 0, the reflection on stage 1; taken away afterwards.
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;

protected:
    void InitInstance(const ReflectiveMaterial& from);

private:
    const char* type_;
    Texture* reflection_ = nullptr;
};

class NoTextureMaterial : public Material {
public:
    static constexpr const char* kType = "notex";
    NoTextureMaterial() : Material(MaterialDescription{}) {}
    const char* GetPluginName() const override { return kType; }
    std::shared_ptr<Material> CreateInstance() const override;
    bool Equals(const Material& other) const override;
};

}  // namespace Kiv
