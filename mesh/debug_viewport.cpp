#include "mesh/debug_viewport.h"

#include "foundation/statics.h"

HXDebugVp::HXDebugVp() {
    labels_.reserve(1000);
}

HXDebugVp::~HXDebugVp() = default;

void HXDebugVp::DrawPrimitive(uint32_t, const Kiv::Vector3*, const uint16_t*, uint32_t, uint32_t,
                              uint32_t) {}

void HXDebugVp::DrawLine(const Kiv::Vector3& from, const Kiv::Vector3& to, uint32_t colour) {
    const Kiv::Vector3 vertices[2] = {from, to};
    static constexpr uint16_t kIndices[2] = {0, 1};
    DrawPrimitive(0, vertices, kIndices, 2, 2, colour);
}

HXDebugVp& HXDebugVp::Instance() {
    static ProcessStatic<HXDebugVp> viewport("debug viewport");
    return viewport.Get();
}

namespace {

// Built before main, as the program's other process-wide objects.
[[maybe_unused]] const bool kBuilt = [] {
    HXDebugVp::Instance();
    return true;
}();

}  // namespace
