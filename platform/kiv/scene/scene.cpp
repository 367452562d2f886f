#include "platform/kiv/scene/scene.h"

#include <algorithm>

namespace Kiv {

Particle::~Particle() {
    if (parent_ != nullptr) parent_->Detach(this);
    for (Particle* child : children_)
        child->parent_ = nullptr;
}

void Particle::Attach(Particle* child) {
    if (child == nullptr || child == this) return;
    if (child->parent_ != nullptr) child->parent_->Detach(child);
    child->parent_ = this;
    children_.push_back(child);
}

void Particle::Detach(Particle* child) {
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it == children_.end()) return;
    children_.erase(it);
    child->parent_ = nullptr;
}

void SceneGraph::AddScene(Particle* root) {
    if (root != nullptr && std::find(scenes_.begin(), scenes_.end(), root) == scenes_.end())
        scenes_.push_back(root);
}

void SceneGraph::UnlinkScene(Particle* root) {
    scenes_.erase(std::remove(scenes_.begin(), scenes_.end(), root), scenes_.end());
}

}  // namespace Kiv
