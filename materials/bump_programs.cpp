#include "materials/bump_programs.h"

#include <map>
#include <string>

#include "platform/kiv/display/program_managers.h"

namespace Kiv::bump_programs {

namespace {

constexpr const char* kVertex = R"(version 2.0
entry HalvexBump_ParallelLight PNTA ParallelLight OneTex Fog
entry HalvexBump_SpotLight PNTA SpotLight OneTex Fog
entry HalvexBumpGloss_ParallelLight PNTA ParallelLight OneTex SphereMap Fog
entry HalvexBumpGloss_SpotLight PNTA SpotLight OneTex SphereMap Fog
entry HalvexBumpEnv_ParallelLight PNTA ParallelLight OneTex cubeMap Fog
entry HalvexBumpEnv_SpotLight PNTA SpotLight OneTex cubeMap Fog
dp4 oPos.x, mvp0, vPos
dp4 oPos.y, mvp1, vPos
dp4 oPos.z, mvp2, vPos
dp4 oPos.w, mvp3, vPos
; r0: binormal B = T x N
xpd r0, vTangent, vNormal
; r2: V = normalise(camera - position)
sub r2, c13, vPos
dp3 r2.w, r2, r2
rsq r2.w, r2.w
mul r2.xyz, r2, r2.w
; r3: H = normalise(V - light direction), r8: H in tangent space
sub r3, r2, c7
dp3 r3.w, r3, r3
rsq r3.w, r3.w
mul r3.xyz, r3, r3.w
dp3 r8.x, r3, vTangent
dp3 r8.y, r3, r0
dp3 r8.z, r3, vNormal
if ParallelLight
; r1: L = -light direction in tangent space; r7.z: the light factor s, 1
dp3 r1.x, -c7, vTangent
dp3 r1.y, -c7, r0
dp3 r1.z, -c7, vNormal
mov r7.z, 1
endif
if SpotLight
; r6: D = light position - position; r5.w: attenuation max(1 - |D x inverse radius|^2, 0)
sub r6, c5, vPos
mul r5.xyz, r6, c6.y
dp3 r5.w, r5, r5
sub r5.w, 1, r5.w
max r5.w, r5.w, 0
dp3 r6.w, r6, r6
rsq r6.w, r6.w
mul r6.xyz, r6, r6.w
; r7.x: c = D . -direction; r7.y: inside the cone; r7.z: s = c k a
dp3 r7.x, r6, -c7
sge r7.y, r7.x, c6.x
mul r7.z, r7.x, r7.y
mul r7.z, r7.z, r5.w
dp3 r1.x, r6, vTangent
dp3 r1.y, r6, r0
dp3 r1.z, r6, vNormal
mul r1.xyz, r1, r7.z
endif
mul r8.xyz, r8, r7.z
mad oD0.xyz, r1, 0.5, 0.5
mov oD0.w, 1
mad oT2.xyz, r8, 0.5, 0.5
mov oT2.w, 1
; specular max(s H.N, 0)^32: squared five times
max r4, r8.z, 0
mul r4, r4, r4
mul r4, r4, r4
mul r4, r4, r4
mul r4, r4, r4
mul r4, r4, r4
mov oD1, r4
if OneTex
mov oT0, vTex0
mov oT1, vTex0
endif
if SphereMap
dp3 r9.x, mv0, vNormal
dp3 r9.y, mv1, vNormal
dp3 r9.z, mv2, vNormal
mov r9.y, -r9.y
mad r9.xyz, r9, 0.5, 0.5
mad oT3.xyz, vTex0, 0.05, r9
mov oT3.w, 1
endif
if cubeMap
; r10: eye-space position, r11: eye-space normal, r12: v = normalise(-p)
dp4 r10.x, mv0, vPos
dp4 r10.y, mv1, vPos
dp4 r10.z, mv2, vPos
dp3 r11.x, mv0, vNormal
dp3 r11.y, mv1, vNormal
dp3 r11.z, mv2, vNormal
dp3 r10.w, r10, r10
rsq r10.w, r10.w
mul r12.xyz, -r10, r10.w
; r13: the reflection 2 n (n.v) - v
dp3 r12.w, r11, r12
mul r13.xyz, r11, r12.w
mad r13.xyz, r13, 2, -r12
mov r13.w, 1
dp4 oT3.x, tm0, r13
dp4 oT3.y, tm1, r13
dp4 oT3.z, tm2, r13
dp4 oT3.w, tm3, r13
endif
if Fog
dp4 r10.x, mv0, vPos
dp4 r10.y, mv1, vPos
dp4 r10.z, mv2, vPos
dp3 r10.w, r10, r10
rsq r10.w, r10.w
rcp oFog.x, r10.w
endif
)";

// What every pixel program shares: the normal (r0), the half angle, the light factor. Leaves
// r2.x = f (the blended specular factor) and r3 = d (the lit bitmap), given the bias in r4.w.
constexpr const char* kPixelLighting = R"(texture 0 bitmap
texture 1 bump
texture 2 halfangle
mad r0, t1, 2, -1
mad r1, t2, 2, -1
dp3_sat r2.x, r0, r1
mad r1, v0, 2, -1
dp3_sat r2.y, r0, r1
mad_sat r3, r2.y, c0, c1
)";

constexpr const char* kPixelSpecular = R"(mul r2.z, r2.x, r2.x
mul r2.z, r2.z, r2.z
sub r2.z, r2.z, r4.w
mul_sat r2.z, r2.z, 4
sub r2.w, r0.z, r4.w
mul_sat r2.w, r2.w, 4
lrp r2.x, r2.w, v1.z, r2.z
)";

constexpr const char* kLightConstants = R"(const 0 LightDiff 0 0 0 1
const 1 LightAmb 0 0 0 1
)";

// A pixel program: its constants after LightDiff and LightAmb, where the lit colour's bitmap
// factor comes from, how the bias is formed, and how the result is made.
std::string Pixel(std::string_view constants, std::string_view base, std::string_view bias,
                  std::string_view tail) {
    std::string s = "version 1.1\n";
    s += kLightConstants;
    s += constants;
    s += kPixelLighting;
    s += base;
    s += bias;
    s += kPixelSpecular;
    s += tail;
    return s;
}

std::string Crlf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

const std::map<std::string, std::string, std::less<>>& Texts() {
    static const std::map<std::string, std::string, std::less<>> texts = [] {
        constexpr const char* kSpecular2 = "const 2 Specular 0.9 0.9 0.9 0.75\n";
        constexpr const char* kGloss = "const 2 Lerp 0 0 1 1\nconst 3 Specular 0.9 0.9 0.9 0.75\n";
        constexpr const char* kRust =
            "const 2 RustColor 0 0 1 1\nconst 3 Specular 0.9 0.9 0.9 0.75\n";
        constexpr const char* kBitmap = "mul r3, r3, t0\nmul r3, r3, 2\n";
        // The gloss weights the bias between Specular.a and LightAmb.a.
        constexpr const char* kGlossBias2 = "lrp r4.w, t1.w, c2.w, c1.w\n";
        constexpr const char* kGlossBias3 = "lrp r4.w, t1.w, c3.w, c1.w\n";
        constexpr const char* kAlpha = "mov oC.w, c0.w\n";
        std::map<std::string, std::string, std::less<>> t;
        t[std::string(kVertexText)] = kVertex;
        t[std::string(kBumpPixel)] = Pixel(kSpecular2, kBitmap, "mov r4.w, c2.w\n",
                                           "mul r1, c2, t1.w\n"
                                           "mad oC.xyz, r1, r2.x, r3\n"
                                           "mul oC.w, t0.w, c0.w\n");
        t[std::string(kGlossPixelParallel)] =
            Pixel(kGloss, kBitmap, kGlossBias3,
                  std::string("lrp r3, c2, t3, r3\nmad oC.xyz, c3, r2.x, r3\n") + kAlpha);
        t[std::string(kGlossPixelSpot)] =
            Pixel(kGloss, kBitmap, kGlossBias3, std::string("mad oC.xyz, c3, r2.x, r3\n") + kAlpha);
        // Rust r = sat((1 - t0.a) RustColor.a) in r5.w; the bitmap gives way to RustColor by r.
        t[std::string(kRustPixel)] =
            Pixel(kRust,
                  "sub r5.w, 1, t0.w\nmul_sat r5.w, r5.w, c2.w\nlrp r6, r5.w, c2, t0\n"
                  "mul r3, r3, r6\nmul r3, r3, 2\n",
                  kGlossBias3,
                  std::string("sub r5.x, 1, r5.w\nmul r1, c3, r5.x\nmad oC.xyz, r1, r2.x, r3\n") +
                      kAlpha);
        t[std::string(kEnvPixelParallel)] =
            Pixel(kSpecular2, kBitmap, kGlossBias2,
                  std::string("lrp r3, t0.w, t3, r3\nmad oC.xyz, c2, r2.x, r3\n") + kAlpha);
        t[std::string(kEnvPixelSpot)] = Pixel(kSpecular2, kBitmap, kGlossBias2,
                                              std::string("mad oC.xyz, c2, r2.x, r3\n") + kAlpha);
        for (auto& [name, text] : t)
            text = Crlf(text);
        return t;
    }();
    return texts;
}

}  // namespace

std::string_view Text(std::string_view name) {
    auto it = Texts().find(name);
    return it == Texts().end() ? std::string_view() : std::string_view(it->second);
}

void RegisterAll() {
    for (const auto& [name, text] : Texts()) {
        if (name == kVertexText)
            VertexProgramManager::RegisterBuiltInPrograms(name, text);
        else
            TextureCombinerManager::RegisterBuiltInPrograms(name, text);
    }
}

}  // namespace Kiv::bump_programs
