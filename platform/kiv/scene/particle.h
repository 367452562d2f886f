// The engine's particle tree, as far as meshes use it: named frames with a position and a
// rotation, children owned by their parent. A bone is a particle with a small visible box; a
// mesh's skeleton is a tree of bones.
//
// Culling in this engine sees everything: a particle's Cull marks it and every particle under
// it culled in the view point's current frame, except a hidden particle, which is passed over
// with everything under it. Whoever draws asks an element whether it was culled this frame.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/scene/geometry.h"

namespace Kiv {

class ViewPoint;

// What the scene keeps of anything it draws: the frame it was last culled in (0: never) and its
// opacity.
class Element {
public:
    virtual ~Element() = default;
    uint32_t GetLastCulledFrame() const { return lastCulledFrame_; }
    void SetLastCulledFrame(uint32_t frame) { lastCulledFrame_ = frame; }
    virtual float GetOpacity() const { return opacity_; }
    virtual void SetOpacity(float opacity) { opacity_ = opacity; }

private:
    uint32_t lastCulledFrame_ = 0;
    float opacity_ = 1.0f;
};

class Particle : public Element {
public:
    explicit Particle(PString name = {}) : name_(std::move(name)) {}
    ~Particle() override = default;
    Particle(const Particle&) = delete;
    Particle& operator=(const Particle&) = delete;

    virtual bool IsBone() const { return false; }
    // A deep copy of this particle and everything under it.
    virtual std::unique_ptr<Particle> Copy() const;

    const PString& GetName() const { return name_; }
    void SetName(PString name) { name_ = std::move(name); }
    const Vector3& GetPosition() const { return position_; }
    const Quaternion& GetRotation() const { return rotation_; }
    void SetFrame(const Vector3& position, const Quaternion& rotation) {
        position_ = position;
        rotation_ = rotation;
    }

    // The particle's frame within its parent's, and within the world (its parents' frames
    // composed up to the root).
    Matrix4x4 GetLocalMatrix() const { return Matrix4x4::FromFrame(position_, rotation_); }
    Matrix4x4 GetWorldMatrix() const;
    // A frame given in the world, as this particle's frame within its parent's.
    void GlobalToLocal(const Vector3& position, const Quaternion& rotation, Vector3* localPosition,
                       Quaternion* localRotation) const;
    // The sphere around what the particle shows, in the world: its origin, radius 0, unless a
    // kind of particle knows better.
    virtual Sphere GetGlobalBoundingSphere() const {
        return {GetWorldMatrix().GetTranslation(), 0};
    }
    // Marks this particle and everything under it culled in the view point's frame (hidden ones
    // and what lies under them excepted); matrix is this particle's world matrix.
    virtual void Cull(ViewPoint& viewPoint, const Matrix4x4& matrix);
    void SetHidden(bool hidden) { hidden_ = hidden; }
    bool IsHidden() const { return hidden_; }

    Particle* GetParent() const { return parent_; }
    const std::vector<std::unique_ptr<Particle>>& GetChildren() const { return children_; }
    Particle* AddChild(std::unique_ptr<Particle> child);
    // This particle or the first one under it (depth first) with the name.
    Particle* FindByName(const PString& name);
    // This particle and everything under it.
    size_t CountAll() const;
    // Every particle under this one (not this one), depth first in child order.
    void EnumerateParticles(std::vector<Particle*>& out) const;
    // Removes a child and hands it back; null when it is not a child of this one.
    std::unique_ptr<Particle> RemoveChild(Particle* child);

    // State bits of the scene (2: shown).
    static constexpr uint32_t kFlagShown = 2;
    uint32_t GetFlags() const { return flags_; }
    void SetFlags(uint32_t flags) { flags_ = flags; }

protected:
    void CopyInto(Particle& out) const;

private:
    PString name_;
    Vector3 position_;
    Quaternion rotation_;
    Particle* parent_ = nullptr;
    uint32_t flags_ = 0;
    bool hidden_ = false;
    std::vector<std::unique_ptr<Particle>> children_;
};

// A bone's visible bounding box, around the bone's own origin.
struct ParticleVisibleBoundingBox {
    Vector3 min, max;
};

class ParticleBone : public Particle {
public:
    using Particle::Particle;
    bool IsBone() const override { return true; }
    std::unique_ptr<Particle> Copy() const override;
    void SetVisibleBox(const ParticleVisibleBoundingBox& box) { box_ = box; }
    const ParticleVisibleBoundingBox& GetVisibleBox() const { return box_; }

    // The small box every mesh bone gets: 0.01 each way.
    static ParticleVisibleBoundingBox SmallBox() {
        return {{-0.01f, -0.01f, -0.01f}, {0.01f, 0.01f, 0.01f}};
    }

private:
    ParticleVisibleBoundingBox box_;
};

}  // namespace Kiv
