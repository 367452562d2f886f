#include "platform/kiv/scene/particle.h"

#include "platform/kiv/scene/view.h"

namespace Kiv {

Particle* Particle::AddChild(std::unique_ptr<Particle> child) {
    child->parent_ = this;
    children_.push_back(std::move(child));
    return children_.back().get();
}

Particle* Particle::FindByName(const PString& name) {
    // Iterative, so a deep tree from a file cannot exhaust the stack.
    std::vector<Particle*> todo{this};
    while (!todo.empty()) {
        Particle* p = todo.back();
        todo.pop_back();
        if (p->name_ == name) return p;
        for (auto it = p->children_.rbegin(); it != p->children_.rend(); ++it)
            todo.push_back(it->get());
    }
    return nullptr;
}

size_t Particle::CountAll() const {
    size_t n = 0;
    std::vector<const Particle*> todo{this};
    while (!todo.empty()) {
        const Particle* p = todo.back();
        todo.pop_back();
        ++n;
        for (const auto& c : p->children_)
            todo.push_back(c.get());
    }
    return n;
}

void Particle::EnumerateParticles(std::vector<Particle*>& out) const {
    // Iterative, like FindByName: a deep tree from a file cannot exhaust the stack.
    std::vector<Particle*> todo;
    for (auto it = children_.rbegin(); it != children_.rend(); ++it)
        todo.push_back(it->get());
    while (!todo.empty()) {
        Particle* p = todo.back();
        todo.pop_back();
        out.push_back(p);
        for (auto it = p->children_.rbegin(); it != p->children_.rend(); ++it)
            todo.push_back(it->get());
    }
}

std::unique_ptr<Particle> Particle::RemoveChild(Particle* child) {
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (it->get() != child) continue;
        std::unique_ptr<Particle> taken = std::move(*it);
        children_.erase(it);
        taken->parent_ = nullptr;
        return taken;
    }
    return nullptr;
}

Matrix4x4 Particle::GetWorldMatrix() const {
    Matrix4x4 world = GetLocalMatrix();
    for (const Particle* up = parent_; up != nullptr; up = up->parent_)
        world = world * up->GetLocalMatrix();
    return world;
}

void Particle::GlobalToLocal(const Vector3& position, const Quaternion& rotation,
                             Vector3* localPosition, Quaternion* localRotation) const {
    const Matrix4x4 global = Matrix4x4::FromFrame(position, rotation);
    const Matrix4x4 local =
        parent_ != nullptr ? global * parent_->GetWorldMatrix().AffineInverse() : global;
    *localPosition = local.GetTranslation();
    Matrix3 r;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            r.m[3 * row + col] = local.m[4 * row + col];
    *localRotation = Quaternion::FromMatrix(r);
}

void Particle::Cull(ViewPoint& viewPoint, const Matrix4x4& matrix) {
    if (hidden_) return;
    SetLastCulledFrame(viewPoint.GetCurrentFrame());
    for (const auto& child : children_)
        if (!child->hidden_) child->Cull(viewPoint, child->GetLocalMatrix() * matrix);
}

void Particle::CopyInto(Particle& out) const {
    out.position_ = position_;
    out.rotation_ = rotation_;
    for (const auto& c : children_)
        out.AddChild(c->Copy());
}

std::unique_ptr<Particle> Particle::Copy() const {
    auto p = std::make_unique<Particle>(name_);
    CopyInto(*p);
    return p;
}

std::unique_ptr<Particle> ParticleBone::Copy() const {
    auto p = std::make_unique<ParticleBone>(GetName());
    p->box_ = box_;
    CopyInto(*p);
    return p;
}

}  // namespace Kiv
