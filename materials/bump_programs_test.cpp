// The bump family's program texts, run on the display's evaluator, against the lighting they
// must compute, written out here directly for a table of lights, surfaces and maps.
#include "materials/bump_programs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/kiv/display/display.h"
#include "platform/kiv/display/program_managers.h"

namespace {

using Kiv::Vec4;
namespace bp = Kiv::bump_programs;

Vec4 Sub(Vec4 a, Vec4 b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2], 0};
}
Vec4 Scale(Vec4 a, float s) {
    return {a[0] * s, a[1] * s, a[2] * s, 0};
}
float Dot(Vec4 a, Vec4 b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec4 Norm(Vec4 a) {
    return Scale(a, 1 / std::sqrt(Dot(a, a)));
}
Vec4 Cross(Vec4 a, Vec4 b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0], 0};
}
Vec4 To01(Vec4 a) {
    return {a[0] * 0.5f + 0.5f, a[1] * 0.5f + 0.5f, a[2] * 0.5f + 0.5f, 0};
}
float Dot4(Vec4 a, Vec4 b) {
    return Dot(a, b) + a[3] * b[3];
}
float Sat(float x) {
    return std::clamp(x, 0.0f, 1.0f);
}
float Lerp(float s, float a, float b) {
    return s * a + (1 - s) * b;
}
float Expand(float x) {
    return x * 2 - 1;
}

void ExpectNear3(const Vec4& got, const Vec4& want, const std::string& what) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got[i], want[i], 2e-4) << what << " [" << i << "]";
}

Kiv::Matrix4 Rotation(float angle, Vec4 translation) {
    const float c = std::cos(angle), s = std::sin(angle);
    return {{{c, 0, s, translation[0]},
             {0, 1, 0, translation[1]},
             {-s, 0, c, translation[2]},
             {0, 0, 0, 1}}};
}

class BumpPrograms : public ::testing::Test {
protected:
    void SetUp() override { bp::RegisterAll(); }
    Kiv::Display display_;
};

struct Light {
    const char* what;
    bool spot;
    Vec4 direction;  // normalised, object space
    Vec4 position;
    float cosAngle, inverseRadius;
};

TEST_F(BumpPrograms, VertexEntriesLightTheSurfaceAsTheFormulasSay) {
    const Light lights[] = {
        {"parallel, from above", false, Norm({0.2f, -1, 0.1f, 0}), {}, 0, 0},
        {"parallel, grazing", false, Norm({1, -0.05f, 0.3f, 0}), {}, 0, 0},
        {"parallel, from behind", false, Norm({0, 1, 0, 0}), {}, 0, 0},
        {"spot inside its cone", true, Norm({0, -1, 0, 0}), {0.3f, 5, 0.2f, 1}, 0.8f, 0.1f},
        {"spot outside its cone", true, Norm({1, 0, 0, 0}), {0.3f, 5, 0.2f, 1}, 0.8f, 0.1f},
        {"spot beyond its radius", true, Norm({0, -1, 0, 0}), {0, 20, 0, 1}, 0.5f, 0.1f},
        {"spot near and wide", true, Norm({0.1f, -1, 0, 0}), {0.5f, 2, -0.5f, 1}, 0.2f, 0.3f},
    };
    const struct Surface {
        Vec4 position, normal, tangent, tex;
    } surfaces[] = {
        {{0, 0, 0, 1}, {0, 1, 0, 0}, {1, 0, 0, 0}, {0.25f, 0.75f, 0, 1}},
        {{1, 0.5f, -2, 1}, Norm({0.3f, 1, 0.2f, 0}), Norm({1, -0.3f, 0, 0}), {2, -1, 0, 1}},
    };
    const Vec4 camera{0.5f, 3, 4, 1};
    const struct {
        std::string_view entry;
        bool spot;
        int map;  // 0 none, 1 sphere, 2 cube
    } entries[] = {{bp::kBumpParallel, false, 0},  {bp::kBumpSpot, true, 0},
                   {bp::kGlossParallel, false, 1}, {bp::kGlossSpot, true, 1},
                   {bp::kEnvParallel, false, 2},   {bp::kEnvSpot, true, 2}};
    std::string error;
    for (const auto& e : entries) {
        Kiv::VertexProgram* program = display_.GetVertexProgramManager().GetProgram(
            bp::kVertexText, e.entry, bp::kVertexFlags, &error);
        ASSERT_NE(program, nullptr) << error;
        for (const Light& light : lights) {
            if (light.spot != e.spot) continue;
            for (const Surface& s : surfaces) {
                const std::string what = std::string(e.entry) + ", " + light.what;
                Kiv::VertexProgramInputs in;
                in.position = s.position;
                in.normal = s.normal;
                in.tangent = s.tangent;
                in.texCoord0 = s.tex;
                in.modelViewProjection = Rotation(0.3f, {0, 0, -5, 0});
                in.modelView = Rotation(0.7f, {1, -2, -6, 0});
                in.textureMatrix1 = Rotation(-0.4f, {0, 0, 0, 0});
                in.constants[5] = light.position;
                in.constants[6] = {light.cosAngle, light.inverseRadius, 0, 0};
                in.constants[7] = light.direction;
                in.constants[13] = camera;
                const Kiv::VertexProgramOutputs out = program->Evaluate(in);

                Vec4 pos;
                for (int i = 0; i < 4; ++i)
                    pos[i] = Dot4(in.modelViewProjection[i], s.position);
                for (int i = 0; i < 4; ++i)
                    EXPECT_NEAR(out.position[i], pos[i], 1e-4) << what;

                const Vec4 T = s.tangent, N = s.normal, B = Cross(T, N);
                const Vec4 V = Norm(Sub(camera, s.position));
                const Vec4 H = Norm(Sub(V, light.direction));
                Vec4 L;
                float factor = 1;
                if (!light.spot) {
                    L = Scale(light.direction, -1);
                } else {
                    Vec4 D = Sub(light.position, s.position);
                    const Vec4 r = Scale(D, light.inverseRadius);
                    const float a = std::max(1 - Dot(r, r), 0.0f);
                    D = Norm(D);
                    const float c = Dot(D, Scale(light.direction, -1));
                    const float k = c >= light.cosAngle ? 1.0f : 0.0f;
                    factor = c * k * a;
                    L = Scale(D, factor);
                }
                ExpectNear3(out.primary, To01({Dot(L, T), Dot(L, B), Dot(L, N), 0}),
                            what + ": primary");
                ExpectNear3(out.texCoords[2],
                            To01(Scale({Dot(H, T), Dot(H, B), Dot(H, N), 0}, factor)),
                            what + ": half angle");
                const float specular = std::pow(std::max(factor * Dot(H, N), 0.0f), 32.0f);
                EXPECT_NEAR(out.secondary[0], specular, 1e-4) << what;
                EXPECT_EQ(out.texCoords[0], s.tex) << what;
                EXPECT_EQ(out.texCoords[1], s.tex) << what;

                const Kiv::Matrix4& mv = in.modelView;
                Vec4 eye;
                for (int i = 0; i < 3; ++i)
                    eye[i] = Dot4(mv[i], s.position);
                eye[3] = 0;
                EXPECT_NEAR(out.fog, std::sqrt(Dot(eye, eye)), 1e-4) << what;
                if (e.map == 1) {
                    const Vec4 n = To01({Dot(mv[0], N), -Dot(mv[1], N), Dot(mv[2], N), 0});
                    ExpectNear3(out.texCoords[3],
                                {s.tex[0] * 0.05f + n[0], s.tex[1] * 0.05f + n[1],
                                 s.tex[2] * 0.05f + n[2], 0},
                                what + ": sphere map");
                    EXPECT_EQ(out.texCoords[3][3], 1.0f);
                } else if (e.map == 2) {
                    const Vec4 n{Dot(mv[0], N), Dot(mv[1], N), Dot(mv[2], N), 0};
                    const Vec4 v = Norm(Scale(eye, -1));
                    Vec4 r = Sub(Scale(n, 2 * Dot(n, v)), v);
                    r[3] = 1;
                    Vec4 want;
                    for (int i = 0; i < 4; ++i)
                        want[i] = Dot4(in.textureMatrix1[i], r);
                    for (int i = 0; i < 4; ++i)
                        EXPECT_NEAR(out.texCoords[3][i], want[i], 2e-4) << what << ": cube map";
                } else {
                    EXPECT_EQ(out.texCoords[3], (Vec4{})) << what;
                }
            }
        }
        program->ReleaseReference();
    }
}

TEST_F(BumpPrograms, PixelProgramsCombineBitmapBumpAndSpecularAsTheFormulasSay) {
    const struct {
        const char* what;
        Vec4 t0, t1, t2, t3, primary, secondary;
    } pixels[] = {
        {"normal straight out, glossy",
         {0.8f, 0.6f, 0.4f, 1},
         {0.5f, 0.5f, 1, 1},
         {0.55f, 0.5f, 0.98f, 0},
         {0.1f, 0.2f, 0.9f, 1},
         {0.6f, 0.5f, 0.9f, 1},
         {0.7f, 0.7f, 0.7f, 1}},
        {"tilted normal, matt",
         {0.3f, 0.9f, 0.2f, 0.5f},
         {0.8f, 0.4f, 0.7f, 0.1f},
         {0.7f, 0.45f, 0.8f, 0},
         {0.9f, 0.9f, 0.1f, 1},
         {0.8f, 0.4f, 0.6f, 1},
         {0.2f, 0.2f, 0.2f, 1}},
        {"half glossy, rusty bitmap",
         {0.5f, 0.5f, 0.5f, 0.2f},
         {0.55f, 0.45f, 0.95f, 0.5f},
         {0.5f, 0.5f, 1, 0},
         {0.4f, 0.1f, 0.1f, 1},
         {0.5f, 0.5f, 1, 1},
         {0.9f, 0.9f, 0.9f, 1}},
        {"light from behind",
         {1, 1, 1, 1},
         {0.5f, 0.5f, 1, 0.8f},
         {0.5f, 0.5f, 0, 0},
         {0, 0, 0, 1},
         {0.5f, 0.5f, 0, 1},
         {0, 0, 0, 1}},
    };
    const Vec4 lightDiff{0.9f, 0.8f, 0.7f, 0.6f}, lightAmb{0.1f, 0.15f, 0.2f, 1};
    const Vec4 specular{0.9f, 0.9f, 0.9f, 0.75f}, lerp{0.2f, 0.3f, 0.4f, 1},
        rust{0.6f, 0.3f, 0.1f, 0.9f};
    const std::string_view programs[] = {bp::kBumpPixel,        bp::kGlossPixelParallel,
                                         bp::kGlossPixelSpot,   bp::kRustPixel,
                                         bp::kEnvPixelParallel, bp::kEnvPixelSpot};
    std::string error;
    for (std::string_view name : programs) {
        Kiv::TextureCombiner* program =
            display_.GetTextureCombinerManager().GetProgram(name, &error);
        ASSERT_NE(program, nullptr) << error;
        for (const auto& p : pixels) {
            const std::string what = std::string(name) + ", " + p.what;
            Kiv::PixelProgramInputs in;
            in.textures = {p.t0, p.t1, p.t2, p.t3};
            in.primary = p.primary;
            in.secondary = p.secondary;
            const Vec4 got = program->Evaluate(in, {{"LightDiff", lightDiff},
                                                    {"LightAmb", lightAmb},
                                                    {"Specular", specular},
                                                    {"Lerp", lerp},
                                                    {"RustColor", rust}});

            const Vec4 n{Expand(p.t1[0]), Expand(p.t1[1]), Expand(p.t1[2]), 0};
            const float nh = Sat(Dot(n, {Expand(p.t2[0]), Expand(p.t2[1]), Expand(p.t2[2]), 0}));
            const float nl =
                Sat(Dot(n, {Expand(p.primary[0]), Expand(p.primary[1]), Expand(p.primary[2]), 0}));
            const bool bump = name == bp::kBumpPixel, isRust = name == bp::kRustPixel;
            const float b = bump ? specular[3] : Lerp(p.t1[3], specular[3], lightAmb[3]);
            const float q = Sat(4 * (std::pow(nh, 4.0f) - b));
            const float w = Sat(4 * (n[2] - b));
            const float f = Lerp(w, p.secondary[2], q);
            const float r = Sat((1 - p.t0[3]) * rust[3]);
            Vec4 want{};
            for (int i = 0; i < 3; ++i) {
                const float base = isRust ? Lerp(r, rust[i], p.t0[i]) : p.t0[i];
                const float d = Sat(nl * lightDiff[i] + lightAmb[i]) * base * 2;
                if (bump)
                    want[i] = d + f * specular[i] * p.t1[3];
                else if (name == bp::kGlossPixelParallel)
                    want[i] = Lerp(lerp[i], p.t3[i], d) + f * specular[i];
                else if (name == bp::kEnvPixelParallel)
                    want[i] = Lerp(p.t0[3], p.t3[i], d) + f * specular[i];
                else if (isRust)
                    want[i] = d + f * specular[i] * (1 - r);
                else
                    want[i] = d + f * specular[i];
            }
            want[3] = bump ? p.t0[3] * lightDiff[3] : lightDiff[3];
            ExpectNear3(got, want, what);
            EXPECT_NEAR(got[3], want[3], 1e-5) << what;
        }
        program->ReleaseReference();
    }
}

TEST_F(BumpPrograms, CarryTheirConstantRegistersWithTheirDefaults) {
    const struct {
        std::string_view program;
        std::vector<std::pair<std::string, Vec4>> constants;
    } cases[] = {
        {bp::kBumpPixel,
         {{"LightDiff", {0, 0, 0, 1}},
          {"LightAmb", {0, 0, 0, 1}},
          {"Specular", {.9f, .9f, .9f, .75f}}}},
        {bp::kGlossPixelParallel,
         {{"LightDiff", {0, 0, 0, 1}},
          {"LightAmb", {0, 0, 0, 1}},
          {"Lerp", {0, 0, 1, 1}},
          {"Specular", {.9f, .9f, .9f, .75f}}}},
        {bp::kGlossPixelSpot,
         {{"LightDiff", {0, 0, 0, 1}},
          {"LightAmb", {0, 0, 0, 1}},
          {"Lerp", {0, 0, 1, 1}},
          {"Specular", {.9f, .9f, .9f, .75f}}}},
        {bp::kRustPixel,
         {{"LightDiff", {0, 0, 0, 1}},
          {"LightAmb", {0, 0, 0, 1}},
          {"RustColor", {0, 0, 1, 1}},
          {"Specular", {.9f, .9f, .9f, .75f}}}},
        {bp::kEnvPixelParallel,
         {{"LightDiff", {0, 0, 0, 1}},
          {"LightAmb", {0, 0, 0, 1}},
          {"Specular", {.9f, .9f, .9f, .75f}}}},
        {bp::kEnvPixelSpot,
         {{"LightDiff", {0, 0, 0, 1}},
          {"LightAmb", {0, 0, 0, 1}},
          {"Specular", {.9f, .9f, .9f, .75f}}}},
    };
    std::string error;
    for (const auto& c : cases) {
        // Plain ASCII with CRLF line ends.
        const std::string_view text = bp::Text(c.program);
        ASSERT_FALSE(text.empty());
        EXPECT_TRUE(text.starts_with("version 1.1\r\n")) << c.program;
        EXPECT_TRUE(
            std::all_of(text.begin(), text.end(), [](char ch) { return ch > 0 && ch < 127; }));
        Kiv::TextureCombiner* program =
            display_.GetTextureCombinerManager().GetProgram(c.program, &error);
        ASSERT_NE(program, nullptr) << error;
        const Kiv::ProgramCode& code = program->GetCode();
        ASSERT_EQ(code.GetConstants().size(), c.constants.size()) << c.program;
        for (size_t i = 0; i < c.constants.size(); ++i) {
            EXPECT_EQ(code.GetConstants()[i].index, i) << c.program;
            EXPECT_EQ(code.GetConstants()[i].name, c.constants[i].first) << c.program;
            EXPECT_EQ(code.GetConstants()[i].value, c.constants[i].second) << c.program;
        }
        program->ReleaseReference();
    }
    EXPECT_TRUE(bp::Text(bp::kVertexText).starts_with("version 2.0\r\n"));
}

}  // namespace
