// The bump family's programs: one vertex text, "HalvexBumpMaterial_Vtx", with six entries
// (parallel or spot light, each plain, with a sphere map for gloss or a cube map for
// environment reflection), and six pixel programs that light the bitmap per pixel from the
// tangent-space normal map (alpha: gloss) and the half angle the vertex program hands on. The
// texts are in the display's program language and registered with its program managers the
// first time a plug-in of the family creates a material.
//
// Vertex constants: c4 light colour x material colour, c5 light position, c6 spot (x cosine of
// the spot angle, y inverse light radius), c7 light direction (normalised), c8 light ambient x
// material ambient, c9-c11 basis, c12 global ambient, c13 camera position; all in object space.
// Outputs: oD0 the light vector and oT2 the half angle in tangent space (0..1 form), oD1 the
// per-vertex specular (the 32nd power), oT0 = oT1 the texture coordinate, oT3 the sphere-map or
// cube-map coordinate, oFog the eye distance.
#pragma once

#include <cstdint>
#include <string_view>

namespace Kiv::bump_programs {

inline constexpr std::string_view kVertexText = "HalvexBumpMaterial_Vtx";
// Vertex programs are asked for with these flags.
inline constexpr uint32_t kVertexFlags = 99;

inline constexpr std::string_view kBumpParallel = "HalvexBump_ParallelLight";
inline constexpr std::string_view kBumpSpot = "HalvexBump_SpotLight";
inline constexpr std::string_view kGlossParallel = "HalvexBumpGloss_ParallelLight";
inline constexpr std::string_view kGlossSpot = "HalvexBumpGloss_SpotLight";
inline constexpr std::string_view kEnvParallel = "HalvexBumpEnv_ParallelLight";
inline constexpr std::string_view kEnvSpot = "HalvexBumpEnv_SpotLight";

inline constexpr std::string_view kBumpPixel = "HalvexBumpMat_ParallelLight";
inline constexpr std::string_view kGlossPixelParallel = "HalvexBumpGlossMat_ParallelLight";
inline constexpr std::string_view kGlossPixelSpot = "HalvexBumpGlossMat_SpotLight";
inline constexpr std::string_view kRustPixel = "HalvexBumpRustMat_ParallelLight";
inline constexpr std::string_view kEnvPixelParallel = "HalvexBumpEnvMat_ParallelLight";
inline constexpr std::string_view kEnvPixelSpot = "HalvexBumpEnvMat_SpotLight";

// The text of the vertex program or of a pixel program by its name; empty for another name.
std::string_view Text(std::string_view name);

// Registers the vertex text and the six pixel texts (again is harmless).
void RegisterAll();

}  // namespace Kiv::bump_programs
