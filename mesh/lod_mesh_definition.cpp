// Reading a "LODM" file into a LOD mesh definition (the layout is in the header), and the steps
// that finish it.
#include "mesh/lod_mesh_definition.h"

#include <algorithm>
#include <cstring>

#include "mesh/skin_placement.h"
#include "platform/kiv/display/display.h"

namespace {

constexpr uint64_t kMinChunk = 12;  // id, size, version
constexpr uint64_t kMinString = 4;  // a padded empty string
constexpr uint64_t kMinNamedMesh = 4 + kMinString + 1;
constexpr uint64_t kMinBone = 2 * kMinString + 12 + 36;
constexpr uint64_t kMinMesh = kMinChunk + 16;
constexpr uint32_t kNoMaterial = 0xFFFFFFFF;

std::string BaseName(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

HalvexIndexedMeshLODDefinition::HalvexIndexedMeshLODDefinition(const MeshMaterialConfig& config)
    : HalvexIndexedMeshDefinition(config) {}

HalvexIndexedMeshLODDefinition::~HalvexIndexedMeshLODDefinition() = default;

uint32_t HalvexIndexedMeshLODDefinition::Load(Kiv::Display* display,
                                              Kiv::MaterialManager* materials,
                                              const MeshLoadArgs& args) {
    return LoadBinary(display, materials, args);
}

uint32_t HalvexIndexedMeshLODDefinition::LoadBinary(Kiv::Display* display,
                                                    Kiv::MaterialManager* materials,
                                                    const MeshLoadArgs& args) {
    uint32_t opened = BeginLoad(display, materials, args, "LODM");
    lodHardwareAnimation_ = displaySkinning_;
    if (opened) return opened;
    char id[4];

    uint32_t meshCount = 0;
    if (uint32_t r = ReadLodInfo(&meshCount)) return r;
    if (uint32_t r = ReadMaterialTable()) return r;
    if (PeekId(file_, id) && IdIs(id, "BONT"))
        if (uint32_t r = ReadBoneTable()) return r;
    if (PeekId(file_, id) && IdIs(id, "RBOT"))
        if (uint32_t r = ReadBoneTree()) return r;
    if (uint32_t r = ReadAttachments()) return r;

    records_.clear();
    distances_.clear();
    records_.reserve(meshCount);
    for (uint32_t m = 0; m < meshCount; ++m)
        if (uint32_t r = ReadMesh(m)) return r;
    if (distances_.empty()) return RES_FILE_FORMAT_ERROR;

    for (LodRecord& record : records_) {
        record.totalVertices = record.totalFaces = 0;
        for (const auto& c : record.chunks) {
            record.totalVertices += c->GetVertexCount();
            record.totalFaces += c->GetFaceCount();
        }
    }
    if (file_.Tell() != containerEnd_) return RES_FILE_FORMAT_ERROR;
    name_ = Kiv::PString(BaseName(file_.GetName().empty() ? name_.view() : file_.GetName()));
    PlaceBoneWeights();
    if (!bones_.empty()) BuildSkeletonFromBones();
    ComputeLodBounds();
    ComputeLodOrientedBox();
    SortCullAttachments();
    AdoptLastLevel();
    file_.Close();
    return kMeshOk;
}

uint32_t HalvexIndexedMeshLODDefinition::ReadLodInfo(uint32_t* meshCount) {
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("INFO", containerEnd_, &version, &end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    float q[4];
    uint32_t named = 0;
    if (!ReadVector(position_) || !file_.Read(q, sizeof q) || !file_.Read(*meshCount) ||
        !file_.Read(calcPoint_) || !file_.Read(offset_) || !file_.Read(multiplier_) ||
        !file_.Read(animationCutOff_) || !file_.Read(renderCutOff_) ||
        !file_.Read(attachmentCutOff_) || !file_.Read(named))
        return RES_FILE_FORMAT_ERROR;
    orientation_ = {q[0], q[1], q[2], q[3]};
    if (!CountFits(*meshCount, kMinMesh, containerEnd_) || !CountFits(named, kMinNamedMesh, end))
        return RES_FILE_FORMAT_ERROR;
    namedMeshes_.clear();
    namedMeshes_.reserve(named);
    for (uint32_t k = 0; k < named; ++k) {
        LodNamedMesh n;
        uint8_t flag = 0;
        if (!file_.Read(n.mesh) || !ReadPaddedString(file_, end, n.name) || !file_.Read(flag))
            return RES_FILE_FORMAT_ERROR;
        // An instance looks a named mesh up by this index: it must name a mesh of the file.
        if (n.mesh >= *meshCount) return RES_FILE_FORMAT_ERROR;
        n.animated = flag != 0;
        namedMeshes_.push_back(std::move(n));
    }
    return file_.Tell() == end ? kMeshOk : RES_FILE_FORMAT_ERROR;
}

uint32_t HalvexIndexedMeshLODDefinition::ReadMaterialTable() {
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("MATT", containerEnd_, &version, &end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    uint32_t count = 0;
    if (!file_.Read(count) || !CountFits(count, kMinChunk, end)) return RES_FILE_FORMAT_ERROR;
    materialTable_.assign(count, nullptr);
    for (uint32_t k = 0; k < count; ++k)
        if (uint32_t r = ReadMaterialChunk(end, 103, &materialTable_[k])) return r;
    return file_.Tell() == end ? kMeshOk : RES_FILE_FORMAT_ERROR;
}

uint32_t HalvexIndexedMeshLODDefinition::ReadBoneTable() {
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("BONT", containerEnd_, &version, &end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    uint32_t count = 0;
    if (!file_.Read(count) || !CountFits(count, kMinBone, end)) return RES_FILE_FORMAT_ERROR;
    bones_.assign(count, {});
    for (LodBone& b : bones_)
        if (!ReadPaddedString(file_, end, b.name) || !ReadPaddedString(file_, end, b.parentName) ||
            !ReadVector(b.position) || !ReadMatrix(b.orientation))
            return RES_FILE_FORMAT_ERROR;
    return file_.Tell() == end ? kMeshOk : RES_FILE_FORMAT_ERROR;
}

uint32_t HalvexIndexedMeshLODDefinition::ReadBoneTree() {
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("RBOT", containerEnd_, &version, &end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    uint32_t count = 0;
    if (!file_.Read(count) || !CountFits(count, kMinBone, end)) return RES_FILE_FORMAT_ERROR;
    std::vector<LodTreeNode> nodes(count);
    std::unique_ptr<Kiv::Particle> root;
    for (LodTreeNode& n : nodes) {
        if (!ReadPaddedString(file_, end, n.name) || !ReadPaddedString(file_, end, n.parentName) ||
            !ReadVector(n.position) || !ReadMatrix(n.orientation))
            return RES_FILE_FORMAT_ERROR;
        auto bone = std::make_unique<Kiv::ParticleBone>(Kiv::PString(n.name));
        bone->SetFrame(n.position, Kiv::Quaternion::FromMatrix(n.orientation));
        bone->SetVisibleBox(Kiv::ParticleBone::SmallBox());
        if (n.parentName.empty()) {
            // One root a tree: a second would drop the first with everything under it.
            if (root) return RES_FILE_FORMAT_ERROR;
            root = std::move(bone);
            continue;
        }
        Kiv::Particle* parent = root ? root->FindByName(Kiv::PString(n.parentName)) : nullptr;
        if (parent == nullptr) return RES_FILE_FORMAT_ERROR;
        parent->AddChild(std::move(bone));
    }
    if (file_.Tell() != end) return RES_FILE_FORMAT_ERROR;
    if (root) {
        skeleton_ = std::move(root);
        treeNodes_ = std::move(nodes);
    }
    return kMeshOk;
}

uint32_t HalvexIndexedMeshLODDefinition::ReadMesh(uint32_t mesh) {
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("MESH", containerEnd_, &version, &end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    LodRecord& record = records_.emplace_back();
    float distance = 0;
    if (!file_.Read(record.chunkCount) || !file_.Read(skinWeights_) || !file_.Read(skinBones_) ||
        !file_.Read(distance))
        return RES_FILE_FORMAT_ERROR;
    record.hardwareSkinning =
        skinWeights_ > 0 && skinWeights_ <= weightsLimit_ && skinBones_ <= bonesLimit_ &&
        lodHardwareAnimation_ &&
        !(config_.softwareLighting.IsSet() && config_.softwareAnimation.IsSet());
    if (distance == -1.0f) {
        bool named = std::any_of(namedMeshes_.begin(), namedMeshes_.end(),
                                 [&](const LodNamedMesh& n) { return n.mesh == mesh; });
        if (!named) return RES_FILE_FORMAT_ERROR;
    } else {
        if (!distances_.empty() && distances_.back() > distance) return RES_FILE_FORMAT_ERROR;
        distances_.push_back(distance);
        if (mesh != distances_.size() - 1) return RES_FILE_FORMAT_ERROR;
    }
    if (!CountFits(record.chunkCount, 2 * kMinChunk + 8, end)) return RES_FILE_FORMAT_ERROR;
    record.chunks.reserve(record.chunkCount);
    record.materials.reserve(record.chunkCount);
    char id[4];
    if (PeekId(file_, id) && IdIs(id, "LODB"))
        if (uint32_t r = ReadBoneWeights(mesh, end)) return r;
    uint32_t original = record.chunkCount;
    for (uint32_t k = 0; k < original; ++k)
        if (uint32_t r = ReadLodChunk(record, original, end)) return r;
    record.chunkBones.assign(record.chunks.size(), Kiv::PString());
    return file_.Tell() == end ? kMeshOk : RES_FILE_FORMAT_ERROR;
}

uint32_t HalvexIndexedMeshLODDefinition::ReadBoneWeights(uint32_t mesh, size_t limit) {
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("LODB", limit, &version, &end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    for (LodBone& bone : bones_) {
        uint32_t groups = 0;
        if (!file_.Read(groups) || !CountFits(groups, 8, end)) return RES_FILE_FORMAT_ERROR;
        // The tables stay aligned with the meshes: level m is mesh m's.
        bone.levels.resize(mesh);
        LodWeightTable& table = bone.levels.emplace_back();
        for (uint32_t g = 0; g < groups; ++g) {
            LodWeightGroup group;
            uint32_t n = 0;
            if (!file_.Read(group.chunk) || !file_.Read(n) ||
                !CountFits(n, sizeof(LodBoneWeight), end))
                return RES_FILE_FORMAT_ERROR;
            if (n == 0) continue;  // an empty group is not kept
            group.weights.resize(n);
            file_.Read(group.weights.data(), size_t{n} * sizeof(LodBoneWeight));
            table.push_back(std::move(group));
        }
    }
    return file_.Tell() == end ? kMeshOk : RES_FILE_FORMAT_ERROR;
}

uint32_t HalvexIndexedMeshLODDefinition::ReadLodChunk(LodRecord& record, uint32_t originalCount,
                                                      size_t limit) {
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("LCHK", limit, &version, &end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    uint32_t chunkIndex = 0, materialIndex = 0;
    if (!file_.Read(chunkIndex) || !file_.Read(materialIndex)) return RES_FILE_FORMAT_ERROR;
    if (chunkIndex >= originalCount) return RES_FILE_FORMAT_ERROR;
    if (materialIndex != kNoMaterial && materialIndex >= materialTable_.size())
        return RES_FILE_FORMAT_ERROR;
    std::shared_ptr<Kiv::Material> material;
    if (materialIndex != kNoMaterial) material = materialTable_[materialIndex];
    // A chunk without a material of the table is still made, by a plain material, and keeps
    // no material.
    static Kiv::Material plain{Kiv::MaterialDescription{}};
    std::shared_ptr<Kiv::GeometryChunk> chunk;
    Kiv::PString vertexType;
    if (uint32_t r = ReadGeometryChunk(material ? *material : plain, end, &chunk, &vertexType))
        return r;
    if (file_.Tell() < end)
        if (uint32_t r = ReadNeighbourChunk(*chunk, end)) return r;
    if (file_.Tell() != end) return RES_FILE_FORMAT_ERROR;
    if (chunk->GetVertexCount() == 0 || chunk->GetIndexCount() == 0 || chunk->GetFaceCount() == 0) {
        --record.chunkCount;  // an empty chunk is dropped at once
        return kMeshOk;
    }
    record.chunks.push_back(std::move(chunk));
    record.materials.push_back(std::move(material));
    return kMeshOk;
}

void HalvexIndexedMeshLODDefinition::PlaceBoneWeights() {
    for (size_t b = 0; b < bones_.size(); ++b) {
        const LodBone& bone = bones_[b];
        for (size_t m = 0; m < records_.size() && m < bone.levels.size(); ++m) {
            LodRecord& record = records_[m];
            for (const LodWeightGroup& group : bone.levels[m]) {
                if (group.chunk >= record.chunks.size()) continue;
                Kiv::GeometryChunk& chunk = *record.chunks[group.chunk];
                if (chunk.GetFlags() & Kiv::GeometryChunk::kFlagSoftwareSkinning) continue;
                if (chunk.GetVertexCount() < group.weights.size()) continue;
                if (!ChunkHasSkinItems(chunk)) continue;
                uint32_t slot = chunk.AddInfluenceMatrix(static_cast<uint32_t>(b));
                for (const LodBoneWeight& w : group.weights)
                    PlaceInfluence(chunk, w.vertex, slot, w.values[0],
                                   PackedWeightRounding::kTruncate);
            }
        }
    }
}

void HalvexIndexedMeshLODDefinition::BuildSkeletonFromBones() {
    std::vector<BoneSpec> specs;
    specs.reserve(bones_.size());
    for (const LodBone& b : bones_)
        specs.push_back({b.name, b.parentName, b.position, b.orientation});
    std::vector<size_t> parents;
    if (auto root = BuildBoneTree(specs, &parents)) {
        skeleton_ = std::move(root);
        treeNodes_.clear();  // the tree is the bone table's now
    }
}

void HalvexIndexedMeshLODDefinition::ComputeLodBounds() {
    static const std::vector<std::shared_ptr<Kiv::GeometryChunk>> kNone;
    bool any = !distances_.empty() && distances_.size() <= records_.size();
    BoundsOf(any ? records_[distances_.size() - 1].chunks : kNone, &boundsMin_, &boundsMax_);
}

void HalvexIndexedMeshLODDefinition::ComputeLodOrientedBox() {
    std::vector<Kiv::Vector3> corners;
    for (const LodRecord& record : records_)
        AddBoxCorners(record.chunks, corners);
    orientedBox_.Fit(corners);  // no vertex: the zero box
}

void HalvexIndexedMeshLODDefinition::SortCullAttachments() {
    static constexpr std::string_view kCull = ":cull";
    cullAttachments_.clear();
    for (MeshAttachmentPoint& a : attachments_) {
        std::string name = a.name.str();
        bool cull = false;
        // Every mark goes, also one the cut itself makes (":Cu:Cullll"): the name kept never
        // holds one, so the writer's one mark is all a file read back carries.
        for (;;) {
            std::string lower = name;
            for (char& ch : lower)
                if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
            size_t at = lower.find(kCull);
            if (at == std::string::npos) break;
            name.erase(at, kCull.size());
            cull = true;
        }
        if (!cull) continue;
        a.name = Kiv::PString(name);
        cullAttachments_.push_back(a.name);
    }
}

void HalvexIndexedMeshLODDefinition::AdoptLastLevel() {
    ClearSubMeshes();
    if (distances_.empty() || distances_.size() > records_.size()) return;
    const LodRecord& last = records_[distances_.size() - 1];
    chunks_ = last.chunks;
    materials_ = last.materials;
    vertexTypes_.clear();
    for (const auto& c : chunks_)
        vertexTypes_.push_back(c->GetHint().vertexType);
    hardwareAnimation_ = last.hardwareSkinning;
    TotalCounts();
}

uint32_t HalvexIndexedMeshLODDefinition::CompleteLoad(Kiv::Display* display) {
    uint32_t result = kMeshOk;
    for (size_t r = 0; r < records_.size(); ++r)
        for (auto& material : records_[r].materials) {
            if (!material) continue;
            bool replaced = false;
            for (size_t e = 0; e < r && !replaced; ++e)
                for (const auto& earlier : records_[e].materials)
                    if (earlier && earlier != material &&
                        earlier->GetTypeName() == material->GetTypeName() &&
                        earlier->Compare(*material)) {
                        material = earlier;
                        replaced = true;
                        break;
                    }
        }
    Kiv::RenderKernel* kernel = display ? display->GetRenderKernel() : nullptr;
    for (LodRecord& record : records_)
        for (const auto& chunk : record.chunks)
            if (!chunk->PrepareForDisplay(kernel)) result = RES_FILE_DATA_ERROR;
    return result;
}

size_t HalvexIndexedMeshLODDefinition::GetLodSize() const {
    size_t size = 4 * (13 * attachments_.size() + 75 * bones_.size() + distances_.capacity()) +
                  12 * namedMeshes_.size() + 40 * records_.size();
    for (const LodRecord& record : records_)
        for (const auto& c : record.chunks)
            size +=
                size_t{c->GetVertexSize()} * c->GetVertexCount() + 2 * size_t{c->GetIndexCount()};
    // The bone weight tables, of every bone.
    for (const LodBone& bone : bones_) {
        size += 68 + 4 * bone.levels.size();
        for (const LodWeightTable& table : bone.levels) {
            size += 8;
            for (const LodWeightGroup& g : table)
                size += 12 + 20 * g.weights.size();
        }
    }
    return size;
}

void HalvexIndexedMeshLODDefinition::SetDistance(uint32_t level, float distance) {
    if (distances_.size() <= level) distances_.resize(level + 1, distance);
    distances_[level] = distance;
}

void HalvexIndexedMeshLODDefinition::AddNamedMesh(Kiv::PString name, uint32_t mesh, bool animated) {
    namedMeshes_.push_back({std::move(name), mesh, animated});
}

void HalvexIndexedMeshLODDefinition::SetViewSettings(uint32_t calcPoint, float offset,
                                                     float multiplier, float animation,
                                                     float render, float attachment) {
    calcPoint_ = calcPoint;
    offset_ = offset;
    multiplier_ = multiplier;
    animationCutOff_ = animation;
    renderCutOff_ = render;
    attachmentCutOff_ = attachment;
}
