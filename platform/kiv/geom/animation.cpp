#include "platform/kiv/geom/animation.h"

#include "platform/kiv/scene/particle.h"

namespace Kiv {

Particle* SkeletonModifier::FindBone(const PString& name) const {
    if (particle_ == nullptr) return nullptr;
    std::vector<Particle*> all;
    particle_->EnumerateParticles(all);
    for (Particle* p : all)
        if (p->IsBone() && p->GetName() == name) return p;
    return nullptr;
}

std::unique_ptr<AnimationModifier> AnimationModifier::CreateInstance(ResourceDatabase*,
                                                                     const PString& name, int) {
    auto modifier = std::make_unique<AnimationModifier>();
    if (!modifier->animation_.ReadFile(name.view())) return nullptr;
    return modifier;
}

bool SkeletonModifier::HasBones() const {
    if (particle_ == nullptr) return false;
    std::vector<Particle*> all;
    particle_->EnumerateParticles(all);
    for (const Particle* p : all)
        if (p->IsBone()) return true;
    return false;
}

uint32_t Animator::Add(const PString& name, std::unique_ptr<AnimationModifier>* modifier, int mode,
                       float weight, float start, float speed, float offset) {
    if (skeleton_ == nullptr || !skeleton_->HasBones()) return kNoObserver;
    std::unique_ptr<AnimationModifier> made =
        AnimationModifier::CreateInstance(database_, name, mode);
    if (made == nullptr) return kNoResource;
    for (const KinBone& bone : made->GetAnimation().bones)
        if (skeleton_->FindBone(bone.name) == nullptr) return kSkeletonMismatch;
    if (modifier != nullptr) {
        *modifier = std::move(made);
        return kAdded;
    }
    animations_.push_back({std::move(made), mode, weight, start, speed, offset});
    return kAdded;
}

}  // namespace Kiv
