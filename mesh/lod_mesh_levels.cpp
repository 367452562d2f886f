// Building a LOD mesh level by level from loaded indexed meshes: what the text form does for
// every mesh it names, and what tools and tests use to make a LOD mesh to write.
#include "mesh/lod_mesh_definition.h"

uint32_t HalvexIndexedMeshLODDefinition::AppendMesh(const HalvexIndexedMeshDefinition& mesh,
                                                    bool first) {
    if (first) {
        position_ = mesh.GetPosition();
        orientation_ = mesh.GetOrientation();
        boundsMax_ = mesh.GetBoundsMax();
        boundsMin_ = mesh.GetBoundsMin();
        orientedBox_ = mesh.GetOrientedBox();
        attachments_ = mesh.GetAttachments();
        skeleton_ = mesh.GetSkeleton() ? mesh.GetSkeleton()->Copy() : nullptr;
        treeNodes_.clear();
        bones_.clear();
        for (const MeshInfluence& inf : mesh.GetInfluences())
            bones_.push_back({inf.name, inf.parentName, inf.position, inf.orientation, {}});
    } else if (mesh.GetNumAttachments() != attachments_.size() ||
               mesh.GetNumInfluences() != bones_.size()) {
        return RES_FILE_FORMAT_ERROR;
    }

    LodRecord record;
    record.chunkCount = mesh.GetNumSubMeshes();
    record.hardwareSkinning = mesh.IsHardwareAnimated();
    for (uint32_t i = 0; i < mesh.GetNumSubMeshes(); ++i) {
        record.chunks.push_back(mesh.GetChunk(i));
        record.materials.push_back(mesh.GetMaterial(i));
        record.totalVertices += mesh.GetChunk(i)->GetVertexCount();
        record.totalFaces += mesh.GetChunk(i)->GetFaceCount();
    }
    // An indexed mesh's chunks follow no single bone.
    record.chunkBones.assign(record.chunks.size(), Kiv::PString());

    // The longest diagonal gives the bounds; of two equal ones, the earlier.
    Kiv::Vector3 mine = boundsMax_ - boundsMin_;
    Kiv::Vector3 theirs = mesh.GetBoundsMax() - mesh.GetBoundsMin();
    if (theirs.LengthSquared() > mine.LengthSquared()) {
        boundsMax_ = mesh.GetBoundsMax();
        boundsMin_ = mesh.GetBoundsMin();
    }
    if (!bones_.empty()) AppendBoneWeightLevel(mesh.GetInfluences());
    records_.push_back(std::move(record));
    return kMeshOk;
}

void HalvexIndexedMeshLODDefinition::AppendBoneWeightLevel(
    const std::vector<MeshInfluence>& influences) {
    for (LodBone& bone : bones_) {
        LodWeightTable& table = bone.levels.emplace_back();
        // A bone the mesh has no influence of gets an empty table: the levels stay aligned.
        for (const MeshInfluence& inf : influences) {
            if (inf.name != bone.name) continue;
            for (const InfluenceGroup& g : inf.groups) {
                LodWeightGroup group{g.subMesh, {}};
                group.weights.reserve(g.entries.size());
                for (const InfluenceEntry& e : g.entries)
                    group.weights.push_back(
                        {e.vertex, {e.weight, e.extra[0], e.extra[1], e.extra[2]}});
                table.push_back(std::move(group));
            }
            break;
        }
    }
}
