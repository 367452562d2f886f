// Kiv::OneTextureMaterial: the engine's material of one texture, the base of most of the
// program's materials. Around its drawing it sets display states (SetDisplayState, undone by
// ClearDisplayState); Bind and Unbind call them for a pass. Its flags word: bit 0 draws both
// sides (no culling), bit 1 leaves blending alone.
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

    OneTextureMaterial() : Material(MaterialDescription{}) {}
    ~OneTextureMaterial() override;

    // The plug-in name of the type ("onetex").
    virtual const char* GetPluginName() const { return kUndecoratedType; }
    // A new material of the same type with this one's state.
    virtual std::shared_ptr<OneTextureMaterial> CreateInstance() const;
    // Same type, texture, flags and blend factors.
    bool Compare(const Material& other) const override;

    // Takes a reference on the texture and lets the old one go.
    void SetTexture(Texture* texture);
    Texture* GetTexture() const { return texture_; }
    uint32_t GetMaterialFlags() const { return flags_; }
    void SetMaterialFlags(uint32_t flags) { flags_ = flags; }
    uint32_t GetSourceBlend() const { return sourceBlend_; }
    uint32_t GetDestinationBlend() const { return destinationBlend_; }
    void SetBlendFactors(uint32_t source, uint32_t destination) {
        sourceBlend_ = source;
        destinationBlend_ = destination;
    }

    // Activates the texture (when there is one) for drawing.
    virtual void Activate();

    virtual void Bind(Display& display, uint32_t pass);
    virtual void Unbind(Display& display, uint32_t pass);
    // Binds the texture to stage 0 (none: stage 0 has no texture); ClearDisplayState leaves the
    // display as it is.
    virtual void SetDisplayState(Display& display);
    virtual void ClearDisplayState(Display& display);

protected:
    // Copies the base's state (the texture with a reference of its own).
    void InitInstance(const OneTextureMaterial& from);

private:
    Texture* texture_ = nullptr;
    uint32_t flags_ = 0;
    uint32_t sourceBlend_ = 4;
    uint32_t destinationBlend_ = 5;
};

}  // namespace Kiv
