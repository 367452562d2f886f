// HalvexGlossRustMaterial ("tglossrust"): the engine's reflective material (the bitmap on stage
// 0, an environment map in slot 9 on stage 1) drawn with the two combiner programs its plug-in
// prepares: the gloss program reflects the environment where the bitmap's alpha says, and the
// rust program, used while the material's "RustAge" property is above 0, lays a rust colour
// over the gloss where the bitmap's alpha is low, the more the older the rust (RustAge 0 to 1,
// handed to the program as RustColor.w, GetProgramConstants):
//
//   gloss = lerp(t0.a, t1, t0)          rust r = sat((1 - t0.a) x RustAge)
//   rgb   = lerp(r, RustColor, gloss)   (r = 0 for the gloss program), alpha 1
//
// Its plug-in needs a display with cube maps (else the engine's "onetex" is made); it fetches
// the two programs once, and creates nothing while it cannot have both.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "materials/material_plugins.h"
#include "platform/kiv/display/one_texture_material.h"
#include "platform/kiv/display/program_managers.h"

namespace Kiv {

namespace gloss_rust_programs {
inline constexpr std::string_view kGloss = "HalvexGlossRust_Gloss";
inline constexpr std::string_view kRust = "HalvexGlossRust_Rust";
// The text of either program; empty for another name.
std::string_view Text(std::string_view name);
}  // namespace gloss_rust_programs

class HalvexGlossRustMaterial : public ReflectiveMaterial {
public:
    // Takes references on both programs.
    HalvexGlossRustMaterial(TextureCombiner* gloss, TextureCombiner* rust,
                            const MaterialCaches& caches = {});
    ~HalvexGlossRustMaterial() override;
    const char* GetPluginName() const override { return "tglossrust"; }
    std::shared_ptr<Material> CreateInstance() const override;
    bool Equals(const Material& other) const override;

    // The "RustAge" property, clamped to 0..1 (0 when missing or not a number).
    float GetRustAge() const;
    // The program a draw uses now: the rust one while the rust age is above 0.
    TextureCombiner* GetCurrentProgram() const;
    // The constants the current program is drawn with (the rust program's RustColor with the
    // rust age as w; none for the gloss program).
    std::map<std::string, Vec4, std::less<>> GetProgramConstants() const;
    // Drawn with the reflective material's states and the current program, cleared afterwards.
    bool RenderChunk(Display& display, GeometryChunk& chunk) override;
    bool RenderPrimitives(Display& display, GeometryChunk& chunk, const uint16_t* indices,
                          uint32_t indexCount) override;
    void ClearDisplayState(Display& display) override;

private:
    TextureCombiner* gloss_;
    TextureCombiner* rust_;
};

class HalvexGlossRustMaterialPlugin : public HalvexPluginOn<OneTextureMaterialPlugin> {
public:
    HalvexGlossRustMaterialPlugin(std::string_view name, const UId& uid, const char* fallback);
    ~HalvexGlossRustMaterialPlugin() override;
    bool IsSupported(const Display& display, PString& fallback) const override {
        return needs_.AreMet(display, fallback);
    }
    // The base's caches, then both programs unless held; false, holding no program, without a
    // render kernel or when one cannot be had (Create then makes nothing).
    bool CreatePluginResources(RenderKernel* kernel) override;

protected:
    std::shared_ptr<Material> CreateMaterial(MaterialManager& manager) override;

private:
    DisplayNeeds needs_;
    TextureCombiner* gloss_ = nullptr;
    TextureCombiner* rust_ = nullptr;
};

}  // namespace Kiv
