#include "platform/kiv/scene/scene.h"

#include <algorithm>

namespace Kiv {

void SceneGraph::AddScene(Particle* root) {
    if (root != nullptr && std::find(scenes_.begin(), scenes_.end(), root) == scenes_.end())
        scenes_.push_back(root);
}

void SceneGraph::UnlinkScene(Particle* root) {
    scenes_.erase(std::remove(scenes_.begin(), scenes_.end(), root), scenes_.end());
}

}  // namespace Kiv
