// Writing a LOD mesh definition as a "LODM" file (the layout is in lod_mesh_definition.h). Every
// size field is marked before what it covers is written and filled afterwards.
#include <algorithm>
#include <cstring>
#include <functional>

#include "mesh/lod_mesh_definition.h"
#include "platform/kiv/base/file.h"

namespace {

using Kiv::MeshFileSupport;
using Kiv::MeshOutput;

constexpr uint32_t kNoMaterial = 0xFFFFFFFF;
constexpr std::string_view kCullSuffix = ":Cull";

size_t BeginChunk(MeshOutput& out, const char* id, uint32_t version) {
    out.WriteId(id);
    size_t mark = MeshFileSupport::MarkSizePos(out);
    out.WriteU32(version);
    return mark;
}

void WriteVector(MeshOutput& out, const Kiv::Vector3& v) {
    out.WriteF32(v.x);
    out.WriteF32(v.y);
    out.WriteF32(v.z);
}

void WriteMatrix(MeshOutput& out, const Kiv::Matrix3& m) {
    out.Write(m.m.data(), 36);
}

// One record of a bone table or a bone tree.
void WriteBoneRecord(MeshOutput& out, std::string_view name, std::string_view parent,
                     const Kiv::Vector3& position, const Kiv::Matrix3& orientation) {
    MeshFileSupport::WritePaddedString(out, name);
    MeshFileSupport::WritePaddedString(out, parent);
    WriteVector(out, position);
    WriteMatrix(out, orientation);
}

}  // namespace

uint32_t HalvexIndexedMeshLODDefinition::WriteFile(Kiv::File& file) {
    MeshOutput out;
    if (uint32_t r = Write(out)) return r;
    return out.SaveTo(file) ? kMeshOk : RES_FILE_OPEN_ERROR;
}

uint32_t HalvexIndexedMeshLODDefinition::Write(MeshOutput& out) {
    if (records_.empty()) return RES_UNKNOWN;
    out.WriteId("JIRF");
    size_t size = MeshFileSupport::MarkSizePos(out);
    out.WriteId("LODM");
    WriteInfo(out);

    // The material table: every distinct material in order of first use.
    std::vector<std::shared_ptr<Kiv::Material>> table;
    for (const LodRecord& record : records_)
        for (const auto& m : record.materials)
            if (m && std::find(table.begin(), table.end(), m) == table.end()) table.push_back(m);
    size_t matt = BeginChunk(out, "MATT", 100);
    out.WriteU32(static_cast<uint32_t>(table.size()));
    for (const auto& m : table)
        WriteMaterial(out, *m);
    MeshFileSupport::WriteSizeAtMark(out, matt);
    materialTable_ = table;

    if (!bones_.empty())
        WriteBones(out);
    else if (skeleton_)
        WriteBoneTree(out);
    if (!attachments_.empty()) WriteAttachments(out);
    for (uint32_t m = 0; m < records_.size(); ++m)
        WriteMesh(out, m, table);
    MeshFileSupport::WriteSizeAtMark(out, size);
    return kMeshOk;
}

void HalvexIndexedMeshLODDefinition::WriteInfo(MeshOutput& out) const {
    size_t mark = BeginChunk(out, "INFO", 100);
    WriteVector(out, position_);
    out.WriteF32(orientation_.x);
    out.WriteF32(orientation_.y);
    out.WriteF32(orientation_.z);
    out.WriteF32(orientation_.w);
    out.WriteU32(static_cast<uint32_t>(records_.size()));
    out.WriteU32(calcPoint_);
    out.WriteF32(offset_);
    out.WriteF32(multiplier_);
    out.WriteF32(animationCutOff_);
    out.WriteF32(renderCutOff_);
    out.WriteF32(attachmentCutOff_);
    out.WriteU32(static_cast<uint32_t>(namedMeshes_.size()));
    for (const LodNamedMesh& n : namedMeshes_) {
        out.WriteU32(n.mesh);
        MeshFileSupport::WritePaddedString(out, n.name.view());
        out.WriteU8(n.animated ? 1 : 0);
    }
    MeshFileSupport::WriteSizeAtMark(out, mark);
}

void HalvexIndexedMeshLODDefinition::WriteMaterial(MeshOutput& out,
                                                   const Kiv::Material& material) const {
    const Kiv::MaterialDescription& d = material.GetDescription();
    size_t mark = BeginChunk(out, "MATL", 103);
    MeshFileSupport::WritePaddedString(out, d.typeName.view());
    out.WriteU32(static_cast<uint32_t>(d.properties.size()));
    for (const auto& [key, value] : d.properties) {
        MeshFileSupport::WritePaddedString(out, key);
        MeshFileSupport::WritePaddedString(out, value);
    }
    out.WriteU32(d.flag ? 1 : 0);
    out.WriteF32(d.value);
    // The reader halves the fourth colour: it is written doubled so that a file read and
    // written again is the same file.
    const Kiv::DisplayMaterial& dm = material.GetDisplayMaterial();
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 3; ++k)
            out.WriteF32(c == 3 ? dm.colors[c][k] * 2 : dm.colors[c][k]);
    out.WriteF32(dm.power);
    out.WriteU32(static_cast<uint32_t>(d.textures.size()));
    for (const Kiv::TextureRequest& t : d.textures) {
        out.WriteU32(t.slot);
        MeshFileSupport::WritePaddedString(out, t.name.view());
        out.WriteF32(t.value);
    }
    MeshFileSupport::WriteSizeAtMark(out, mark);
}

void HalvexIndexedMeshLODDefinition::WriteBones(MeshOutput& out) const {
    size_t mark = BeginChunk(out, "BONT", 100);
    out.WriteU32(static_cast<uint32_t>(bones_.size()));
    for (const LodBone& b : bones_)
        WriteBoneRecord(out, b.name, b.parentName, b.position, b.orientation);
    MeshFileSupport::WriteSizeAtMark(out, mark);
}

void HalvexIndexedMeshLODDefinition::WriteBoneTree(MeshOutput& out) const {
    size_t mark = BeginChunk(out, "RBOT", 100);
    if (!treeNodes_.empty()) {
        // The tree as its file gave it, matrices as they were.
        out.WriteU32(static_cast<uint32_t>(treeNodes_.size()));
        for (const LodTreeNode& n : treeNodes_)
            WriteBoneRecord(out, n.name, n.parentName, n.position, n.orientation);
        MeshFileSupport::WriteSizeAtMark(out, mark);
        return;
    }
    // Bones reached through bones, depth first from the root; the count is of what is written.
    size_t countAt = out.Tell();
    out.WriteU32(0);
    uint32_t count = 0;
    std::function<void(const Kiv::Particle&, std::string_view)> write =
        [&](const Kiv::Particle& p, std::string_view parent) {
            if (!p.IsBone()) return;
            ++count;
            WriteBoneRecord(out, p.GetName().view(), parent, p.GetPosition(),
                            p.GetRotation().ToMatrix());
            for (const auto& child : p.GetChildren())
                write(*child, p.GetName().view());
        };
    write(*skeleton_, "");
    out.WriteU32At(countAt, count);
    MeshFileSupport::WriteSizeAtMark(out, mark);
}

void HalvexIndexedMeshLODDefinition::WriteAttachments(MeshOutput& out) const {
    size_t mark = BeginChunk(out, "ATCH", 100);
    out.WriteU32(static_cast<uint32_t>(attachments_.size()));
    for (const MeshAttachmentPoint& a : attachments_) {
        std::string name = a.name.str();
        if (std::find(cullAttachments_.begin(), cullAttachments_.end(), a.name) !=
            cullAttachments_.end())
            name += kCullSuffix;
        MeshFileSupport::WritePaddedString(out, name);
        WriteMatrix(out, a.orientation);
        WriteVector(out, a.position);
    }
    MeshFileSupport::WriteSizeAtMark(out, mark);
}

void HalvexIndexedMeshLODDefinition::WriteMesh(
    MeshOutput& out, uint32_t m, const std::vector<std::shared_ptr<Kiv::Material>>& table) const {
    const LodRecord& record = records_[m];
    // The two counts, from the bone weights of this mesh: the most weights naming one vertex of
    // one chunk, and the most bones (groups) naming one chunk.
    uint32_t perVertex = 0, perChunk = 0;
    {
        std::vector<std::vector<uint32_t>> vertexHits(record.chunks.size());
        std::vector<uint32_t> chunkHits(record.chunks.size(), 0);
        for (const LodBone& bone : bones_) {
            if (m >= bone.levels.size()) continue;
            for (const LodWeightGroup& g : bone.levels[m]) {
                if (g.chunk >= record.chunks.size()) continue;
                perChunk = std::max(perChunk, ++chunkHits[g.chunk]);
                auto& hits = vertexHits[g.chunk];
                hits.resize(record.chunks[g.chunk]->GetVertexCount(), 0);
                for (const LodBoneWeight& w : g.weights)
                    if (w.vertex < hits.size()) perVertex = std::max(perVertex, ++hits[w.vertex]);
            }
        }
    }
    size_t mark = BeginChunk(out, "MESH", 100);
    out.WriteU32(static_cast<uint32_t>(record.chunks.size()));
    out.WriteU32(perVertex);
    out.WriteU32(perChunk);
    out.WriteF32(m < distances_.size() ? distances_[m] : -1.0f);
    if (!bones_.empty()) {
        size_t lodb = BeginChunk(out, "LODB", 100);
        for (const LodBone& bone : bones_) {
            static const LodWeightTable kNone;
            const LodWeightTable& t = m < bone.levels.size() ? bone.levels[m] : kNone;
            out.WriteU32(static_cast<uint32_t>(t.size()));
            for (const LodWeightGroup& g : t) {
                out.WriteU32(g.chunk);
                out.WriteU32(static_cast<uint32_t>(g.weights.size()));
                out.Write(g.weights.data(), g.weights.size() * sizeof(LodBoneWeight));
            }
        }
        MeshFileSupport::WriteSizeAtMark(out, lodb);
    }
    for (uint32_t k = 0; k < record.chunks.size(); ++k) {
        const Kiv::GeometryChunk& chunk = *record.chunks[k];
        const auto& material = k < record.materials.size() ? record.materials[k] : nullptr;
        auto at = std::find(table.begin(), table.end(), material);
        size_t lchk = BeginChunk(out, "LCHK", 100);
        out.WriteU32(k);
        out.WriteU32(material && at != table.end() ? static_cast<uint32_t>(at - table.begin())
                                                   : kNoMaterial);
        WriteGeometry(out, chunk);
        if (chunk.GetNumFaceNeighbors() > 0) {
            size_t ninf = BeginChunk(out, "NINF", 100);
            out.Write(chunk.GetFaceNeighborArray(), size_t{chunk.GetNumFaceNeighbors()} * 12);
            MeshFileSupport::WriteSizeAtMark(out, ninf);
        }
        MeshFileSupport::WriteSizeAtMark(out, lchk);
    }
    MeshFileSupport::WriteSizeAtMark(out, mark);
}

void HalvexIndexedMeshLODDefinition::WriteGeometry(MeshOutput& out,
                                                   const Kiv::GeometryChunk& c) const {
    const Kiv::StandardChunkHint& hint = c.GetHint();
    size_t mark = BeginChunk(out, "GEOM", 201);
    // The software-skinning bit is the engine's own mark on a chunk it made, not the file's:
    // kept, it would force software skinning on every later reader of the file.
    out.WriteU32(c.GetFlags() & ~Kiv::GeometryChunk::kFlagSoftwareSkinning);
    out.WriteU32(0);
    out.WriteF32(hint.headerValue);
    uint32_t vertices = c.GetVertexCount();
    out.WriteU32(vertices);
    out.WriteU32(c.GetFourthCount());
    out.WriteU32(c.GetIndexCount());
    out.WriteU32(c.GetFaceCount());
    out.WriteU32(hint.weightsPerVertex);
    MeshFileSupport::WritePaddedString(out, hint.vertexType.view());
    // Version 201 carries one texture set: 20 bytes a vertex.
    const uint8_t* pos = c.GetItem(Kiv::kItemPositions);
    const uint8_t* uv = c.GetItem(Kiv::kItemTexCoord0);
    uint8_t* block = out.Extend(size_t{vertices} * 20);  // zero-filled
    for (uint32_t v = 0; v < vertices; ++v, block += 20) {
        if (pos) std::memcpy(block, pos + size_t{v} * 12, 12);
        if (uv) std::memcpy(block + 12, uv + size_t{v} * 8, 8);
    }
    uint8_t* indices = out.Extend(size_t{c.GetIndexCount()} * 2);
    if (const uint16_t* idx = c.GetIndexArray())
        std::memcpy(indices, idx, size_t{c.GetIndexCount()} * 2);
    out.Write(c.GetFaceNormalArray(), size_t{c.GetFaceCount()} * 12);
    MeshFileSupport::WriteSizeAtMark(out, mark);
}
