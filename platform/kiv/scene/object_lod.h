// Kiv::ObjectLOD: the engine's level-of-detail base of drawable objects: start distances of the
// levels, the point of the object's bounding sphere that distances are measured to, and a
// multiplier and an offset on the measured distance. Our rules:
//
//   FindLOD: d = |camera - centre|, less the radius for the near side, plus it for the far side
//            (never below 0); the result is d * multiplier + offset, and is remembered.
//   FindLODIndex: the last level whose start distance is not above the distance (level 0 when
//            none is), never at or past the number of level records the caller keeps.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/kiv/scene/geometry.h"

namespace Kiv {

class ObjectLOD {
public:
    enum CalcPoint : uint32_t { kCentre = 0, kNear = 1, kFar = 2 };

    void Init(const std::vector<float>& distances, uint32_t calcPoint);
    // A copy's base takes the source's state.
    void InitInstance(const ObjectLOD& source) { *this = source; }

    float FindLOD(const Sphere& sphere, const Vector3& camera);
    // records: how many level records the caller keeps (at least one).
    uint32_t FindLODIndex(float distance, uint32_t records) const;

    void SetMultiplier(float m) { multiplier_ = m; }
    void SetOffset(float o) { offset_ = o; }
    float GetMultiplier() const { return multiplier_; }
    float GetOffset() const { return offset_; }
    uint32_t GetNumLevels() const { return static_cast<uint32_t>(distances_.size()); }
    float GetLastDistance() const { return lastDistance_; }
    uint32_t GetCalcPoint() const { return calcPoint_; }

private:
    std::vector<float> distances_;
    uint32_t calcPoint_ = kCentre;
    float multiplier_ = 1, offset_ = 0;
    float lastDistance_ = 0;
};

}  // namespace Kiv
