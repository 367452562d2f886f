#include "platform/kiv/scene/object_lod.h"

#include <algorithm>
#include <cmath>

namespace Kiv {

void ObjectLOD::Init(const std::vector<float>& distances, uint32_t calcPoint) {
    distances_ = distances;
    calcPoint_ = calcPoint;
}

float ObjectLOD::FindLOD(const Sphere& sphere, const Vector3& camera) {
    float d = (camera - sphere.centre).Length();
    if (calcPoint_ == kNear)
        d = std::max(0.0f, d - sphere.radius);
    else if (calcPoint_ == kFar)
        d += sphere.radius;
    lastDistance_ = d * multiplier_ + offset_;
    return lastDistance_;
}

uint32_t ObjectLOD::FindLODIndex(float distance, uint32_t records) const {
    uint32_t index = 0;
    for (uint32_t k = 0; k < distances_.size(); ++k)
        if (distances_[k] <= distance) index = k;
    uint32_t last = records == 0 ? 0 : records - 1;
    return std::min(index, last);
}

}  // namespace Kiv
