// Kiv::SceneGraph and the engine's lights: the scene graph holds the scene roots added to it
// and counts its purges; a light keeps the settings it was given. They record, so that the code
// setting up a scene can be tested by what it set up; nothing draws.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/kiv/scene/particle.h"

namespace Kiv {

using Colour = std::array<float, 4>;

class DisplayLight : public Particle {
public:
    void SetAmbient(const Colour& c) { ambient_ = c; }
    void SetDiffuse(const Colour& c) { diffuse_ = c; }
    void SetSpecular(const Colour& c) { specular_ = c; }
    const Colour& GetAmbient() const { return ambient_; }
    const Colour& GetDiffuse() const { return diffuse_; }
    const Colour& GetSpecular() const { return specular_; }
    uint32_t GetFlags() const { return flags_; }
    void SetFlags(uint32_t flags) { flags_ = flags; }

private:
    Colour ambient_{};
    Colour diffuse_{};
    Colour specular_{};
    uint32_t flags_ = 0;
};

class ParallelLight : public DisplayLight {
public:
    ParallelLight(const std::array<float, 3>& position, const std::array<float, 4>& orientation,
                  float range, const Colour& colour, int type)
        : position_(position),
          orientation_(orientation),
          range_(range),
          colour_(colour),
          type_(type) {}
    const std::array<float, 3>& GetLightPosition() const { return position_; }
    const std::array<float, 4>& GetOrientation() const { return orientation_; }
    float GetRange() const { return range_; }
    const Colour& GetColour() const { return colour_; }
    int GetType() const { return type_; }

private:
    std::array<float, 3> position_;
    std::array<float, 4> orientation_;
    float range_;
    Colour colour_;
    int type_;
};

class SceneGraph {
public:
    // The scene root is not owned.
    void AddScene(Particle* root);
    void UnlinkScene(Particle* root);
    const std::vector<Particle*>& GetScenes() const { return scenes_; }
    void PurgeDeathRow() { ++purges_; }
    uint32_t GetPurgeCount() const { return purges_; }

private:
    std::vector<Particle*> scenes_;
    uint32_t purges_ = 0;
};

}  // namespace Kiv
