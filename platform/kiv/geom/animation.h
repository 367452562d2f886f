// The engine's animation of a particle tree, as far as the validator drives it: a skeleton
// modifier over a mesh's particle (its bones are the particles under it), an animator that adds
// ".kin" animations onto that skeleton, and an animation modifier that reads one animation for
// its length. The animations are read from their files ("platform/kiv/geom/kin_file.h").
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/geom/kin_file.h"

namespace Kiv {

class Display;
class Particle;
class RenderKernel;
class ResourceDatabase;

// Drives the bones under a particle.
class SkeletonModifier {
public:
    SkeletonModifier(Particle* particle, RenderKernel* kernel, float blend)
        : particle_(particle), kernel_(kernel), blend_(blend) {}
    Particle* GetParticle() const { return particle_; }
    float GetBlend() const { return blend_; }
    // True when any bone hangs under the particle.
    bool HasBones() const;
    // The bone of that name under the particle; null when there is none.
    Particle* FindBone(const PString& name) const;

private:
    Particle* particle_;
    RenderKernel* kernel_;
    float blend_;
};

class AnimationModifier {
public:
    // The animation of that file (a path) read whole; null when it cannot be read. The database
    // and the mode are the engine's lookup; the file is read from its path.
    static std::unique_ptr<AnimationModifier> CreateInstance(ResourceDatabase* database,
                                                             const PString& name, int mode);
    float GetLength() const { return animation_.length; }
    const KinAnimation& GetAnimation() const { return animation_; }

private:
    KinAnimation animation_;
};

class Animator {
public:
    // What Add answers.
    enum Result : uint32_t {
        kAdded = 0,
        kSkeletonMismatch = 2,  // a bone of the animation is not in the skeleton
        kNoResource = 3,        // the animation file cannot be read
        kNoObserver = 4,        // there is no skeleton (no bone) to drive
    };

    Animator(Display* display, ResourceDatabase* database, SkeletonModifier* skeleton)
        : display_(display), database_(database), skeleton_(skeleton) {}

    // Adds the animation of that file onto the skeleton. When `modifier` is given it receives
    // the animation's modifier. The mode and the weights are the engine's (blend mode, weight,
    // start, speed, offset) and are kept with the animation.
    uint32_t Add(const PString& name, std::unique_ptr<AnimationModifier>* modifier, int mode,
                 float weight, float start, float speed, float offset);
    size_t GetAnimationCount() const { return animations_.size(); }

private:
    struct Running {
        std::unique_ptr<AnimationModifier> modifier;
        int mode;
        float weight, start, speed, offset;
    };
    Display* display_;
    ResourceDatabase* database_;
    SkeletonModifier* skeleton_;
    std::vector<Running> animations_;
};

}  // namespace Kiv
