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

// Two levels (a quad and a smaller quad) and a "collision" mesh, with attachments ("a.lamp"
// a cull attachment) and, when skinned, two bones weighting the quads.
std::vector<LodLevel> SampleLod(bool skinned);

}  // namespace meshtesting
