#include "mesh/debug_viewport.h"

#include <gtest/gtest.h>

namespace {

class Recording : public HXDebugVp {
public:
    void DrawPrimitive(uint32_t primitive, const Kiv::Vector3* vertices, const uint16_t* indices,
                       uint32_t vertexCount, uint32_t indexCount, uint32_t colour) override {
        this->primitive = primitive;
        this->vertices.assign(vertices, vertices + vertexCount);
        this->indices.assign(indices, indices + indexCount);
        this->colour = colour;
    }
    uint32_t primitive = 99, colour = 0;
    std::vector<Kiv::Vector3> vertices;
    std::vector<uint16_t> indices;
};

TEST(DebugViewport, ALineIsATwoVertexPrimitive) {
    Recording vp;
    for (const auto& [from, to] : std::vector<std::pair<Kiv::Vector3, Kiv::Vector3>>{
             {{1, 2, 3}, {4, 5, 6}}, {{1, 1, 1}, {1, 1, 1}}}) {
        vp.DrawLine(from, to, 0xff123456);
        EXPECT_EQ(vp.primitive, 0u);
        EXPECT_EQ(vp.vertices, (std::vector<Kiv::Vector3>{from, to}));
        EXPECT_EQ(vp.indices, (std::vector<uint16_t>{0, 1}));
        EXPECT_EQ(vp.colour, 0xff123456u);
    }
}

TEST(DebugViewport, TheProcessHasOneActiveViewport) {
    HXDebugVp& vp = HXDebugVp::Instance();
    EXPECT_EQ(&vp, &HXDebugVp::Instance());
    EXPECT_TRUE(vp.IsActive());
    EXPECT_TRUE(vp.IsEnabled());
    EXPECT_EQ(vp.GetColour(0), 0xff0000ffu);
    EXPECT_EQ(vp.GetDefaultColour(3), 0xffff00ffu);
    vp.DrawLine({0, 0, 0}, {1, 0, 0}, 0);  // draws nothing, and does not fail
}

}  // namespace
