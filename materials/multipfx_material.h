// HalvexMultiPFXMaterial ("tmpfx"): a one-texture material with a second effect texture in
// slot 12, drawn on stage 1 beside the bitmap on stage 0. Like the ground-base material it sets
// its display states for pass 0 only. Its plug-in needs a display of at least two texture units
// (else the engine's "onetex" is made) and hands it the caches it found or registered, as the
// bump plug-ins do; it has no programs.
#pragma once

#include <cstdint>
#include <memory>

#include "materials/bump_materials.h"

namespace Kiv {

class HalvexMultiPFXMaterial : public OneTextureMaterial {
public:
    static constexpr uint32_t kEffectSlot = 12;

    explicit HalvexMultiPFXMaterial(const MaterialCaches& caches) : OneTextureMaterial(caches) {}
    ~HalvexMultiPFXMaterial() override;
    const char* GetPluginName() const override { return "tmpfx"; }
    std::shared_ptr<Material> CreateInstance() const override;
    bool Equals(const Material& other) const override;

    // Slot 12 is the effect texture; the others are the base's.
    using OneTextureMaterial::SetTexture;
    bool SetTexture(uint32_t slot, Texture* texture, float weight) override;
    Texture* GetTexture(uint32_t slot) const override;
    bool IsLoaded() const override { return GetBitmap() != nullptr && effect_ != nullptr; }
    // Activates the effect texture, then the bitmap.
    void Activate(int flag) override;

    // Pass 0 only.
    void Bind(Display& display, uint32_t pass) override;
    void Unbind(Display& display, uint32_t pass) override;
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;

private:
    Texture* effect_ = nullptr;
};

class HalvexMultiPFXMaterialPlugin : public HalvexPluginOn<MaterialPluginX> {
public:
    HalvexMultiPFXMaterialPlugin(std::string_view name, const UId& uid, const char* fallback);
    // Null without a render kernel.
    std::shared_ptr<Material> Create(MaterialManager& manager, Display& display) override;
};

}  // namespace Kiv
