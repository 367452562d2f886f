// HXDebugVp: the debug viewport through which mesh and collision code may draw debug lines and
// labels. The program has exactly one, built before main and kept for the life of the process;
// it accepts what it is given and draws nothing, so debug drawing costs nothing here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/kiv/scene/geometry.h"

class HXDebugVp {
public:
    // 0xAARRGGBB: blue, green, red, magenta.
    static constexpr std::array<uint32_t, 4> kDefaultColours = {0xff0000ff, 0xff00ff00, 0xffff0000,
                                                                0xffff00ff};

    HXDebugVp();
    virtual ~HXDebugVp();
    HXDebugVp(const HXDebugVp&) = delete;
    HXDebugVp& operator=(const HXDebugVp&) = delete;

    virtual bool IsActive() const { return true; }
    // Draws nothing in this program; a drawing viewport would draw the primitive here.
    virtual void DrawPrimitive(uint32_t primitive, const Kiv::Vector3* vertices,
                               const uint16_t* indices, uint32_t vertexCount, uint32_t indexCount,
                               uint32_t colour);
    // A line as a two-vertex primitive of type 0 with the indices 0 and 1.
    virtual void DrawLine(const Kiv::Vector3& from, const Kiv::Vector3& to, uint32_t colour);

    uint32_t GetColour(int slot) const { return colours_[slot & 3]; }
    uint32_t GetDefaultColour(int slot) const { return defaults_[slot & 3]; }
    bool IsEnabled() const { return enabled_; }

    // The process's one viewport.
    static HXDebugVp& Instance();

private:
    struct Label {
        float position[3] = {0, 0, 0};
        uint32_t colour = 0;
        std::string text;
    };
    std::array<uint32_t, 4> colours_ = kDefaultColours, defaults_ = kDefaultColours;
    std::array<std::vector<Kiv::Vector3>, 4> lists_[2];
    std::vector<Label> labels_;
    bool enabled_ = true;
};
