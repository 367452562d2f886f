// The bump family: one-texture materials lit per pixel from a tangent-space normal map.
//   HalvexBumpMaterial ("tbumptex"): texture slot 8 holds the bump map (alpha: gloss).
//   HalvexBumpGlossMaterial ("tbumpgloss"): slot 9 holds a gloss (or rust) map besides.
//   HalvexBumpEnvMaterial ("tbumpenv"): slot 9 holds an environment map besides.
// Each holds the caches and the programs its plug-in prepared (counted) and the engine's shared
// texture 0, which it activates with itself. While drawn, the display has the bitmap on stage 0,
// the bump map on stage 1, the slot-9 map on stage 3, and the parallel-light vertex and pixel
// programs current; ClearDisplayState takes them away.
//
// Their plug-ins find the three caches in the rendering-cache manager (registering new ones
// when missing), register the family's program texts and fetch each program once (vertex
// programs with flags 99), and create nothing when a program cannot be had, letting go of
// those they had obtained.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "materials/material_plugins.h"
#include "platform/kiv/display/one_texture_material.h"
#include "platform/kiv/display/program_managers.h"

namespace Kiv {

// The programs a bump material draws with: vertex programs and pixel programs, in the order
// its plug-in asks for them (the parallel-light ones first). Copies hold references of their
// own.
class BumpProgramSet {
public:
    BumpProgramSet() = default;
    BumpProgramSet(const BumpProgramSet& other);
    BumpProgramSet& operator=(const BumpProgramSet& other);
    ~BumpProgramSet();
    bool operator==(const BumpProgramSet& other) const;

    void Clear();
    bool IsEmpty() const { return vertex.empty() && pixel.empty(); }
    std::vector<VertexProgram*> vertex;
    std::vector<TextureCombiner*> pixel;
};

// Fills the caches still missing: each found by its id in the rendering-cache manager, else made
// and registered there. False, taking none, when the display has no render kernel.
bool EnsureMaterialCaches(MaterialCaches& caches, const Display& display);

class HalvexBumpMaterial : public OneTextureMaterial {
public:
    static constexpr uint32_t kBumpSlot = 8;

    HalvexBumpMaterial(const MaterialCaches& caches, const BumpProgramSet& programs);
    ~HalvexBumpMaterial() override;
    const char* GetPluginName() const override { return "tbumptex"; }
    std::shared_ptr<Material> CreateInstance() const override;
    bool Equals(const Material& other) const override;

    // Slot 8 is the bump map; the others are the base's.
    using OneTextureMaterial::SetTexture;
    bool SetTexture(uint32_t slot, Texture* texture, float weight) override;
    Texture* GetTexture(uint32_t slot) const override;
    // True when the bitmap and every extra map are set.
    bool IsLoaded() const override;
    // Activates the shared texture, then the material's own.
    void Activate(int flag) override;

    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;

    const BumpProgramSet& GetPrograms() const { return programs_; }
    Texture* GetSharedTexture() const { return shared_; }

protected:
    // Copies this class's state (and the base's) into a new material of the same class.
    void CopyInto(HalvexBumpMaterial& copy) const;

private:
    BumpProgramSet programs_;
    Texture* shared_ = nullptr;
    Texture* bump_ = nullptr;
};

// BumpGloss and BumpEnv: the bump material with one more map in slot 9.
class HalvexBumpExtraMapMaterial : public HalvexBumpMaterial {
public:
    static constexpr uint32_t kExtraSlot = 9;
    using HalvexBumpMaterial::HalvexBumpMaterial;
    ~HalvexBumpExtraMapMaterial() override;
    bool Equals(const Material& other) const override;
    using HalvexBumpMaterial::SetTexture;
    bool SetTexture(uint32_t slot, Texture* texture, float weight) override;
    Texture* GetTexture(uint32_t slot) const override;
    bool IsLoaded() const override;
    // The bitmap's alpha is the gloss: never blended.
    void CacheAlphaHint() override { NoteAlphaHint(false); }
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;

protected:
    void CopyExtraInto(HalvexBumpExtraMapMaterial& copy) const;

private:
    Texture* extra_ = nullptr;
};

class HalvexBumpGlossMaterial : public HalvexBumpExtraMapMaterial {
public:
    using HalvexBumpExtraMapMaterial::HalvexBumpExtraMapMaterial;
    const char* GetPluginName() const override { return "tbumpgloss"; }
    std::shared_ptr<Material> CreateInstance() const override;
};

class HalvexBumpEnvMaterial : public HalvexBumpExtraMapMaterial {
public:
    using HalvexBumpExtraMapMaterial::HalvexBumpExtraMapMaterial;
    const char* GetPluginName() const override { return "tbumpenv"; }
    std::shared_ptr<Material> CreateInstance() const override;
};

// The plug-in of one bump-family material.
class HalvexBumpMaterialPlugin : public HalvexPluginOn<MaterialPluginX> {
public:
    enum class Kind { Bump, Gloss, Env };
    HalvexBumpMaterialPlugin(Kind kind, std::string_view name, const UId& uid,
                             const char* fallback);
    ~HalvexBumpMaterialPlugin() override;
    // Null without a render kernel or when a program cannot be had.
    std::shared_ptr<Material> Create(MaterialManager& manager, Display& display) override;

    const BumpProgramSet& GetPrograms() const { return programs_; }

private:
    bool EnsurePrograms(Display& display);

    Kind kind_;
    BumpProgramSet programs_;
};

}  // namespace Kiv
