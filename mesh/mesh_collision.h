// A mesh definition's collision record: its one collision tree, built in the background when a
// background loading system exists (asked for after the load and whenever an instance needs the
// tree), and the external-geometry object the tree reads triangles through. Without a system no
// build is requested and callers test triangles one by one.
#pragma once

#include <memory>
#include <mutex>

#include "mesh/axis_box_tree.h"
#include "mesh/overlapped_resource.h"

class HalvexIndexedMeshDefinition;

class MeshCollision {
public:
    explicit MeshCollision(const HalvexIndexedMeshDefinition& definition)
        : definition_(definition) {}
    // A pending build is cancelled (waited for when the loader is running it).
    ~MeshCollision();
    MeshCollision(const MeshCollision&) = delete;
    MeshCollision& operator=(const MeshCollision&) = delete;

    // Asks the process-wide system for a build when one exists and there is neither a tree nor
    // a pending request.
    void RequestBuild();
    // The tree when it is built; otherwise null, having asked for a build. A build that is done
    // is finished here and its tree taken.
    const HXAxisBoxTree* GetTree();
    bool HasRequest();

private:
    const HalvexIndexedMeshDefinition& definition_;
    std::mutex lock_;
    std::unique_ptr<CollisionGeometrySharingInterface> geometry_;
    std::unique_ptr<HXAxisBoxTree> tree_;
    std::unique_ptr<HXAxisBoxTree> built_;  // the load step's result, under lock_
    std::unique_ptr<Overlapped> request_;
};
