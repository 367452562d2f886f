// LOD mesh files for tests, fuzz seeds and benchmarks, made by the program's own LOD writer
// from indexed fixture meshes: each level is an "IDXM" file loaded and appended as the text
// form appends its meshes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mesh/lod_mesh_definition.h"
#include "mesh/testing/idxm_writer.h"

namespace meshtesting {

struct LodLevel {
    IdxmFile mesh;
    float distance = 0;  // for a distance-selected level
    std::string name;    // non-empty: a named mesh ("collision")
    bool animated = false;
};

// Builds the definition into `out` (levels in order: distance-selected ones first). Attachment
// names holding ":Cull" become cull attachments. A result code.
uint32_t BuildLod(const std::vector<LodLevel>& levels, HalvexIndexedMeshLODDefinition& out,
                  Kiv::Display* display = nullptr, Kiv::MaterialManager* materials = nullptr);

// The ".lm" bytes of the levels; empty when a level does not load.
std::vector<uint8_t> WriteLodm(const std::vector<LodLevel>& levels);

// The ".lm.txt" text naming each level's mesh file (files[k] for levels[k]; distance levels by
// their distance, named meshes by their name and "animated" flag).
std::string WriteLodText(const std::vector<LodLevel>& levels,
                         const std::vector<std::string>& files);

// Writes the levels into a folder as "level<k>.im" and "<name>.lm.txt" naming them; the text's
// path, or empty when a file cannot be written.
std::string WriteLodTextFolder(const std::string& folder, const std::string& name,
                               const std::vector<LodLevel>& levels);

// Two levels (a quad and a smaller quad) and a "collision" mesh, with attachments ("a.lamp"
// a cull attachment) and, when skinned, two bones weighting the quads.
std::vector<LodLevel> SampleLod(bool skinned);

}  // namespace meshtesting
