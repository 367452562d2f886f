#include "mesh/progressive_mesh_definition.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/kiv/base/path.h"

namespace {

// Walks a table of records whose field gives the length of its run in the next table: false
// when a run would pass that table's end.
template <typename Record, typename Field>
bool RunsStayInside(const std::vector<Record>& records, Field field, uint64_t nextCount) {
    uint64_t cursor = 0;
    for (const Record& r : records) {
        cursor += field(r);
        if (cursor > nextCount) return false;
    }
    return true;
}

}  // namespace

uint32_t HalvexProgressiveMeshDefinition::LoadFile(std::string_view path, Kiv::Display* display,
                                                   Kiv::MaterialManager* materials,
                                                   const MeshLoadArgs& args) {
    if (!OpenFile(path)) return RES_FILE_OPEN_ERROR;
    if (uint32_t r = Load(display, materials, args)) return r;
    name_ = Kiv::PString(Kiv::File::Path(path).GetFileName());
    return kMeshOk;
}

void HalvexProgressiveMeshDefinition::ReadFurtherChunks() {
    if (file_.Tell() < containerEnd_) progressiveResult_ = ReadProgressiveInfo();
}

template <typename Record>
bool HalvexProgressiveMeshDefinition::ReadTable(uint32_t count, std::vector<Record>* out) {
    const uint64_t bytes = uint64_t{count} * sizeof(Record);
    if (!CountFits(count, sizeof(Record), containerEnd_)) return false;
    const uint8_t* at = file_.Peek(static_cast<size_t>(bytes));
    if (at == nullptr) return false;
    out->resize(count);
    if (bytes != 0) std::memcpy(out->data(), at, static_cast<size_t>(bytes));
    file_.Seek(file_.Tell() + static_cast<size_t>(bytes));
    return true;
}

uint32_t HalvexProgressiveMeshDefinition::ReadProgressiveInfo() {
    uint32_t version = 0;
    if (uint32_t r = ReadChunkHeader("PMIN", containerEnd_, &version, nullptr)) return r;
    if (version != 101) return RES_FILE_VERSION_ERROR;
    uint32_t a = 0, b = 0, c = 0, d = 0;
    if (!file_.Read(a) || !file_.Read(b) || !file_.Read(c) || !file_.Read(d))
        return RES_FILE_FORMAT_ERROR;
    // Each table is copied from bytes that are there, or not at all.
    std::vector<uint32_t> words;
    std::vector<std::array<uint32_t, 4>> level3;
    std::vector<std::array<uint32_t, 2>> level2;
    std::vector<uint32_t> level1;
    if (!ReadTable(a, &words) || !ReadTable(b, &level3) || !ReadTable(c, &level2) ||
        !ReadTable(d, &level1))
        return RES_FILE_FORMAT_ERROR;

    const bool inside = RunsStayInside(
                            level1, [](uint32_t r) { return r; }, c) &&
                        RunsStayInside(
                            level2, [](const std::array<uint32_t, 2>& r) { return r[1]; }, b) &&
                        RunsStayInside(
                            level3, [](const std::array<uint32_t, 4>& r) { return r[3]; }, a);
    return inside ? kMeshOk : RES_FILE_FORMAT_ERROR;
}
