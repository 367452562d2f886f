// What instances and resources ask of an indexed mesh definition, sub-mesh by sub-mesh.
#include <cstring>

#include "mesh/indexed_mesh_definition.h"

namespace {

void CopyStrided(const uint8_t* src, uint32_t count, uint32_t size, StridedOutput out) {
    if (src == nullptr || out.pointer == nullptr) return;
    auto* dst = static_cast<uint8_t*>(out.pointer);
    uint32_t stride = out.stride ? out.stride : size;
    for (uint32_t v = 0; v < count; ++v)
        std::memcpy(dst + size_t{v} * stride, src + size_t{v} * size, size);
}

}  // namespace

#define CHUNK_OR(value)                                   \
    if (i >= chunks_.size() || !chunks_[i]) return value; \
    const Kiv::GeometryChunk& c = *chunks_[i]
#define MATERIAL_OR(value)                                      \
    if (i >= materials_.size() || !materials_[i]) return value; \
    const Kiv::Material& m = *materials_[i]

uint32_t HalvexIndexedMeshDefinition::GetVertexCount(uint32_t i) const {
    CHUNK_OR(0);
    return c.GetVertexCount();
}

uint32_t HalvexIndexedMeshDefinition::GetIndexCount(uint32_t i) const {
    CHUNK_OR(0);
    return c.GetIndexCount();
}

uint32_t HalvexIndexedMeshDefinition::GetFourthCount(uint32_t i) const {
    CHUNK_OR(0);
    return c.GetFourthCount();
}

uint32_t HalvexIndexedMeshDefinition::GetNumTexCoordSets(uint32_t i) const {
    CHUNK_OR(0);
    return c.GetNumTexCoordSets();
}

uint32_t HalvexIndexedMeshDefinition::GetMaxVertexInfluences(uint32_t i) const {
    CHUNK_OR(0);
    std::vector<uint32_t> perVertex(c.GetVertexCount(), 0);
    uint32_t largest = 0;
    for (const MeshInfluence& inf : influences_)
        for (const InfluenceGroup& g : inf.groups) {
            if (g.subMesh != i) continue;
            for (const InfluenceEntry& e : g.entries)
                if (e.vertex < perVertex.size()) largest = std::max(largest, ++perVertex[e.vertex]);
        }
    return largest;
}

void HalvexIndexedMeshDefinition::CopyPositions(uint32_t i, StridedOutput out) const {
    CHUNK_OR();
    CopyStrided(c.GetItem(Kiv::kItemPositions), c.GetVertexCount(), 12, out);
}

void HalvexIndexedMeshDefinition::CopyTexCoords(uint32_t i, uint32_t set, StridedOutput out) const {
    CHUNK_OR();
    uint32_t seen = 0;
    for (int item = Kiv::kItemTexCoord0; item <= Kiv::kItemTexCoord7; ++item) {
        if (!c.HasItem(item)) continue;
        if (seen++ == set) {
            CopyStrided(c.GetItem(item), c.GetVertexCount(), 8, out);
            return;
        }
    }
}

void HalvexIndexedMeshDefinition::CopyIndices(uint32_t i, uint16_t* out) const {
    CHUNK_OR();
    if (out && c.GetIndexArray())
        std::memcpy(out, c.GetIndexArray(), size_t{c.GetIndexCount()} * 2);
}

void HalvexIndexedMeshDefinition::CopyNormals(uint32_t i, StridedOutput out) const {
    CHUNK_OR();
    CopyStrided(c.GetItem(Kiv::kItemNormals), c.GetVertexCount(), 12, out);
}

void HalvexIndexedMeshDefinition::CopyColors(uint32_t i, bool first, uint32_t defaultColour,
                                             StridedOutput out) const {
    CHUNK_OR();
    const uint8_t* src = c.GetItem(first ? Kiv::kItemColor1 : Kiv::kItemColor2);
    if (src) {
        CopyStrided(src, c.GetVertexCount(), 4, out);
        return;
    }
    if (out.pointer == nullptr) return;
    uint32_t stride = out.stride ? out.stride : 4;
    for (uint32_t v = 0; v < c.GetVertexCount(); ++v)
        std::memcpy(static_cast<uint8_t*>(out.pointer) + size_t{v} * stride, &defaultColour, 4);
}

void HalvexIndexedMeshDefinition::CopyFaceNormals(uint32_t i, float* out) const {
    CHUNK_OR();
    if (out) std::memcpy(out, c.GetFaceNormalArray(), size_t{c.GetFaceCount()} * 12);
}

const Kiv::DisplayMaterial* HalvexIndexedMeshDefinition::GetMaterialDisplayAddress(
    uint32_t i) const {
    MATERIAL_OR(nullptr);
    return &m.GetDisplayMaterial();
}

const std::vector<Kiv::TextureRequest>* HalvexIndexedMeshDefinition::GetMaterialTexturesAddress(
    uint32_t i) const {
    MATERIAL_OR(nullptr);
    return &m.GetTextureRequests();
}

bool HalvexIndexedMeshDefinition::GetMaterialFlag(uint32_t i) const {
    MATERIAL_OR(false);
    return m.GetFlag();
}

float HalvexIndexedMeshDefinition::GetMaterialValue(uint32_t i) const {
    MATERIAL_OR(0.0f);
    return m.GetValue();
}

bool HalvexIndexedMeshDefinition::CopyDisplayMaterial(uint32_t i, Kiv::DisplayMaterial& out) const {
    MATERIAL_OR(false);
    out = m.GetDisplayMaterial();
    return true;
}

uint32_t HalvexIndexedMeshDefinition::GetNumMaterialProperties(uint32_t i) const {
    MATERIAL_OR(0);
    return m.GetNumProperties();
}

std::unique_ptr<char[]> HalvexIndexedMeshDefinition::GetMaterialPropertyText(
    uint32_t i, const Kiv::PString& key, bool value) const {
    MATERIAL_OR(nullptr);
    const auto* p = m.FindProperty(key.view());
    if (p == nullptr) return nullptr;
    const std::string& text = value ? p->second : p->first;
    if (text.empty()) return nullptr;
    auto out = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(out.get(), text.c_str(), text.size() + 1);
    return out;
}

#define INFLUENCE_OR(value)                    \
    if (i >= influences_.size()) return value; \
    const MeshInfluence& inf = influences_[i]

Kiv::PString HalvexIndexedMeshDefinition::GetInfluenceName(uint32_t i) const {
    INFLUENCE_OR({});
    return Kiv::PString(inf.name);
}

Kiv::PString HalvexIndexedMeshDefinition::GetInfluenceParentName(uint32_t i) const {
    INFLUENCE_OR({});
    return Kiv::PString(inf.parentName);
}

Kiv::Vector3 HalvexIndexedMeshDefinition::GetInfluencePosition(uint32_t i) const {
    INFLUENCE_OR({});
    return inf.position;
}

Kiv::Quaternion HalvexIndexedMeshDefinition::GetInfluenceOrientation(uint32_t i) const {
    INFLUENCE_OR({});
    return Kiv::Quaternion::FromMatrix(inf.orientation);
}

uint32_t HalvexIndexedMeshDefinition::GetInfluenceGroupCount(uint32_t i) const {
    INFLUENCE_OR(0);
    return static_cast<uint32_t>(inf.groups.size());
}

uint32_t HalvexIndexedMeshDefinition::GetInfluenceGroupSubMesh(uint32_t i, uint32_t j) const {
    INFLUENCE_OR(0);
    return j < inf.groups.size() ? inf.groups[j].subMesh : 0;
}

uint32_t HalvexIndexedMeshDefinition::GetInfluenceGroupEntryCount(uint32_t i, uint32_t j) const {
    INFLUENCE_OR(0);
    return j < inf.groups.size() ? static_cast<uint32_t>(inf.groups[j].entries.size()) : 0;
}

void HalvexIndexedMeshDefinition::CopyInfluenceGroupEntries(uint32_t i, uint32_t j,
                                                            InfluenceEntry* out) const {
    INFLUENCE_OR();
    if (j < inf.groups.size() && out)
        std::memcpy(out, inf.groups[j].entries.data(),
                    inf.groups[j].entries.size() * sizeof(InfluenceEntry));
}

Kiv::PString HalvexIndexedMeshDefinition::GetAttachmentName(uint32_t i) const {
    return i < attachments_.size() ? attachments_[i].name : Kiv::PString();
}

Kiv::Quaternion HalvexIndexedMeshDefinition::GetAttachmentOrientation(uint32_t i) const {
    return i < attachments_.size() ? Kiv::Quaternion::FromMatrix(attachments_[i].orientation)
                                   : Kiv::Quaternion{};
}

Kiv::Vector3 HalvexIndexedMeshDefinition::GetAttachmentPosition(uint32_t i) const {
    return i < attachments_.size() ? attachments_[i].position : Kiv::Vector3{};
}
