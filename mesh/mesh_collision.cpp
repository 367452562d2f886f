#include "mesh/mesh_collision.h"

#include "mesh/indexed_mesh_definition.h"

MeshCollision::~MeshCollision() {
    std::unique_ptr<Overlapped> request;
    {
        std::lock_guard<std::mutex> hold(lock_);
        request = std::move(request_);
    }
    request.reset();  // outside the lock: the loader's step takes it to store its tree
}

void MeshCollision::RequestBuild() {
    OverlappedResourceSystem* system = OverlappedResourceSystem::Get();
    std::lock_guard<std::mutex> hold(lock_);
    if (system == nullptr || tree_ || request_) return;
    if (!geometry_) geometry_ = std::make_unique<CollisionGeometrySharingInterface>(definition_);
    const CollisionGeometrySharingInterface* geometry = geometry_.get();
    request_ = system->Request(
        [this, geometry] {
            auto tree = BuildCollisionTree(definition_, geometry);
            std::lock_guard<std::mutex> store(lock_);
            built_ = std::move(tree);
            return true;
        },
        nullptr, std::string("collision tree of ") + definition_.GetName().str());
}

bool MeshCollision::HasRequest() {
    std::lock_guard<std::mutex> hold(lock_);
    return request_ != nullptr;
}

const HXAxisBoxTree* MeshCollision::GetTree() {
    {
        std::unique_lock<std::mutex> hold(lock_);
        if (tree_) return tree_.get();
        if (request_) {
            OverlappedResourceSystem* system = OverlappedResourceSystem::Get();
            OverlappedResource* resource = request_->GetResource();
            if (system != nullptr && resource->GetState() == OverlappedResource::kLoaded) {
                // Loaded in the background: its finish step runs here, for the one who needs it.
                hold.unlock();
                system->Complete(resource);
                hold.lock();
            }
            if (system != nullptr && system->Poll(request_) == 2) tree_ = std::move(built_);
            if (tree_) return tree_.get();
            if (request_) return nullptr;
        }
    }
    RequestBuild();
    return nullptr;
}
