// MeshData: a mesh the validator loaded for one container, as the checks read it. The mesh
// loading for checks is not in this build (DataManager::LoadMesh says so); this is the seam it
// fills: the data manager keeps the meshes it is given and asks them for attachment points.
#pragma once

#include <string>

#include "platform/kiv/base/pstring.h"

class MeshData {
public:
    virtual ~MeshData() = default;
    // True when the mesh has an attachment point of that name.
    virtual bool HasAttachmentPoint(const Kiv::PString& name) const = 0;
    // The path the mesh was loaded from.
    virtual std::string GetFilePath() const = 0;
};
