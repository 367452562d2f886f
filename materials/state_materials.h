// Three one-texture materials of the program that differ from the engine's only in the display
// states they set around their drawing:
//   HalvexNoFogMaterial ("nofogtex"): no fog, culling by its flags, its texture on stage 0,
//     blended with its own factors (unless its flags leave blending alone), and the combiner
//     program its plug-in prepared current; each undone afterwards (culling back on).
//   HalvexGroundBaseMaterial ("groundbase"): the alpha test and depth writing as the material
//     says, for pass 0 only; afterwards the saved alpha test and depth writing on.
//   HalvexOneTexNoAlphaMaterial ("tonetexnoalpha"): GroundBase's, with colour-material mode 5
//     while drawing (0 afterwards).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/kiv/display/one_texture_material.h"

namespace Kiv {

class HalvexNoFogMaterial : public OneTextureMaterial {
public:
    // The program handle its plug-in prepared (0: none).
    explicit HalvexNoFogMaterial(uint32_t program = 0) : program_(program) {}
    explicit HalvexNoFogMaterial(const MaterialCaches& caches, uint32_t program = 0)
        : OneTextureMaterial(caches), program_(program) {}
    const char* GetPluginName() const override { return "nofogtex"; }
    std::shared_ptr<Material> CreateInstance() const override;
    bool Equals(const Material& other) const override;
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;

private:
    uint32_t program_;
    uint32_t savedFog_ = 1;
    bool savedBlending_ = false;
    uint32_t savedSource_ = 1;
    uint32_t savedDestination_ = 0;
};

class HalvexGroundBaseMaterial : public OneTextureMaterial {
public:
    HalvexGroundBaseMaterial() = default;
    explicit HalvexGroundBaseMaterial(const MaterialCaches& caches) : OneTextureMaterial(caches) {}
    const char* GetPluginName() const override { return "groundbase"; }
    std::shared_ptr<Material> CreateInstance() const override;
    bool Equals(const Material& other) const override;
    void SetDepthWrite(bool on) { depthWrite_ = on; }
    void SetAlphaTest(bool on) { alphaTest_ = on; }
    // Pass 0 only.
    void Bind(Display& display, uint32_t pass) override;
    void Unbind(Display& display, uint32_t pass) override;
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;

protected:
    void CopyGroundBase(const HalvexGroundBaseMaterial& from);

private:
    bool depthWrite_ = true;
    bool alphaTest_ = false;
    bool savedAlphaTest_ = true;
};

class HalvexOneTexNoAlphaMaterial : public HalvexGroundBaseMaterial {
public:
    using HalvexGroundBaseMaterial::HalvexGroundBaseMaterial;
    static constexpr uint32_t kColorMaterialMode = 5;
    const char* GetPluginName() const override { return "tonetexnoalpha"; }
    std::shared_ptr<Material> CreateInstance() const override;
    // Drawn without its bitmap's alpha: never blended.
    void CacheAlphaHint() override { NoteAlphaHint(false); }
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;
};

}  // namespace Kiv
