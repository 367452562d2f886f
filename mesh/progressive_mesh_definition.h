// HalvexProgressiveMeshDefinition: a progressive mesh (".pm"). Its file is an indexed mesh file
// (see indexed_mesh_definition.h) with one more chunk after the attachments:
//
//   PMIN (101)  u32 A words, u32 B level-3 records, u32 C level-2 records, u32 D level-1
//               records; A x u32 words; B x 4 u32; C x 2 u32; D x u32
//
// The records form a tree by runs: level-1 record k owns the next field-0 level-2 records,
// level-2 record j the next field-1 level-3 records, level-3 record i the next field-3 words.
// Nothing in this program uses the tables: they are read, their runs checked against the tables'
// ends, and let go. A missing or misread "PMIN" shows as a wrong end of the container.
#pragma once

#include <string_view>
#include <vector>

#include "mesh/indexed_mesh_definition.h"

class HalvexProgressiveMeshDefinition : public HalvexIndexedMeshDefinition {
public:
    using HalvexIndexedMeshDefinition::HalvexIndexedMeshDefinition;

    // Opens the file itself (RES_FILE_OPEN_ERROR when it cannot), loads it as an indexed mesh
    // with its progressive tables, and on success takes the file's name without its folder.
    uint32_t LoadFile(std::string_view path, Kiv::Display* display, Kiv::MaterialManager* materials,
                      const MeshLoadArgs& args = {});

    // Reads "PMIN" at the file's position: RES_FILE_FORMAT_ERROR for a wrong id, a table that
    // does not fit the bytes left or a run past its table's end; RES_FILE_VERSION_ERROR for a
    // version other than 101.
    uint32_t ReadProgressiveInfo();

    // The result of the last progressive read (kept for inspection: a load does not test it).
    uint32_t GetProgressiveResult() const { return progressiveResult_; }

protected:
    void ReadFurtherChunks() override;

private:
    // count records from the file's position, within the container; false when they are not
    // all there.
    template <typename Record>
    bool ReadTable(uint32_t count, std::vector<Record>* out);

    uint32_t progressiveResult_ = kMeshOk;
};
