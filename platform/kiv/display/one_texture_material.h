// Kiv::OneTextureMaterial: the engine's material of one texture (slot 0, the bitmap), the base
// of most of the program's materials. Around its drawing it sets display states
// (SetDisplayState, undone by ClearDisplayState); Bind and Unbind call them for a pass. Its
// flags word: bit 0 draws both sides (no culling), bit 1 leaves blending alone.
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

    OneTextureMaterial() : Material(MaterialDescription{}) {}
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

    // Binds the texture to stage 0 (none: stage 0 has no texture); ClearDisplayState leaves the
    // display as it is.
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;

protected:
    // Copies the base's state (the texture with a reference of its own).
    void InitInstance(const OneTextureMaterial& from);

private:
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
    ~ReflectiveMaterial() override;
    const char* GetPluginName() const override { return type_; }
    std::shared_ptr<Material> CreateInstance() const override;
    bool Equals(const Material& other) const override;

    using OneTextureMaterial::SetTexture;
    Texture* GetTexture(uint32_t slot) const override;
    bool SetTexture(uint32_t slot, Texture* texture, float weight) override;
    Texture* GetReflection() const { return reflection_; }
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
