// Reading an "IDXM" file into an indexed mesh definition (the layout is in the header).
#include "mesh/indexed_mesh_definition.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "mesh/mesh_collision.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/path.h"

namespace {

std::atomic<bool> gHardwareAnimationOverride{false};

// The folder of a path, without the file name and its slash.
std::string FolderOf(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Smallest bytes of the records that counts in the file stand for.
constexpr uint64_t kMinChunk = 12;  // id, size, version
constexpr uint64_t kMinString = 4;  // a padded empty string
constexpr uint64_t kMinAttachment = kMinString + 36 + 12;
constexpr uint64_t kMinInfluence = 2 * kMinString + 12 + 36 + 4;

}  // namespace

HalvexIndexedMeshDefinition::HalvexIndexedMeshDefinition(const MeshMaterialConfig& config)
    : config_(config), collision_(std::make_unique<MeshCollision>(*this)) {}

HalvexIndexedMeshDefinition::~HalvexIndexedMeshDefinition() {
    collision_.reset();  // a build in the background ends before the chunks it reads
}

void HalvexIndexedMeshDefinition::SetHardwareAnimationOverride(bool on) {
    gHardwareAnimationOverride = on;
}

bool HalvexIndexedMeshDefinition::OpenFile(std::string_view path) {
    name_ = Kiv::PString(path);
    Kiv::File file;
    if (!file.Open(path, Kiv::File::kModeRead)) return false;
    bool ok = file_.Open(file, false, 0);
    file.Close();
    return ok;
}

void HalvexIndexedMeshDefinition::OpenBytes(std::span<const uint8_t> bytes, std::string_view name) {
    if (!name.empty()) name_ = Kiv::PString(name);
    file_.OpenBytes(bytes, std::string(name));
}

bool HalvexIndexedMeshDefinition::CountFits(uint64_t count, uint64_t recordSize,
                                            size_t limit) const {
    size_t pos = file_.Tell();
    if (limit < pos) return false;
    return count * recordSize <= limit - pos;  // both factors fit 32 bits: no overflow
}

bool HalvexIndexedMeshDefinition::ReadVector(Kiv::Vector3& v) {
    float f[3];
    if (!file_.Read(f, sizeof f)) return false;
    v = {f[0], f[1], f[2]};
    return true;
}

bool HalvexIndexedMeshDefinition::ReadMatrix(Kiv::Matrix3& m) {
    return file_.Read(m.m.data(), 36);
}

uint32_t HalvexIndexedMeshDefinition::ReadChunkHeader(const char* id, size_t limit,
                                                      uint32_t* version, size_t* end) {
    char got[4];
    if (!ReadId(file_, got) || !IdIs(got, id)) return RES_FILE_FORMAT_ERROR;
    uint32_t size = 0;
    if (!file_.Read(size)) return RES_FILE_FORMAT_ERROR;
    size_t chunkEnd = file_.Tell() + size_t{size};
    if (chunkEnd > limit) return RES_FILE_FORMAT_ERROR;
    if (!file_.Read(*version)) return RES_FILE_FORMAT_ERROR;
    if (end) *end = chunkEnd;
    return kMeshOk;
}

void HalvexIndexedMeshDefinition::ClearSubMeshes() {
    chunks_.clear();
    materials_.clear();
    vertexTypes_.clear();
}

uint32_t HalvexIndexedMeshDefinition::TakeOwner(Kiv::Display* display,
                                                Kiv::MaterialManager* materials,
                                                const MeshLoadArgs& args) {
    if (materials == nullptr) return RES_NO_MATERIAL_MANAGER;
    display_ = display;
    materialManager_ = materials;
    args_ = args;
    displaySkinning_ = display != nullptr &&
                       display->SupportsCapability(Kiv::Display::kCapabilityHardwareSkinning);
    if (displaySkinning_) bonesLimit_ = kMaxBonesPerSubMesh - 1;
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::BeginLoad(Kiv::Display* display,
                                                Kiv::MaterialManager* materials,
                                                const MeshLoadArgs& args, const char* type) {
    if (uint32_t r = TakeOwner(display, materials, args)) return r;
    if (!file_.HasData()) return RES_FILE_OPEN_ERROR;

    file_.Seek(0);
    char id[4];
    if (!ReadId(file_, id) || !IdIs(id, "JIRF")) return RES_FILE_FORMAT_ERROR;
    uint32_t size = 0;
    if (!file_.Read(size)) return RES_FILE_FORMAT_ERROR;
    containerEnd_ = file_.Tell() + size_t{size};
    if (containerEnd_ > file_.GetSize()) return RES_FILE_FORMAT_ERROR;
    if (!ReadId(file_, id) || !IdIs(id, type)) return RES_FILE_FORMAT_ERROR;
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::Load(Kiv::Display* display, Kiv::MaterialManager* materials,
                                           const MeshLoadArgs& args) {
    if (uint32_t r = BeginLoad(display, materials, args, "IDXM")) return r;

    if (uint32_t r = ReadInfo()) return r;
    uint32_t count = static_cast<uint32_t>(chunks_.size());
    for (uint32_t i = 0; i < count;) {
        if (uint32_t r = ReadChunk(i)) return r;
        const auto& c = chunks_[i];
        if (c && c->GetVertexCount() && c->GetIndexCount() && c->GetFaceCount()) {
            ++i;
            continue;
        }
        // An incomplete sub-mesh is dropped; the next CHNK is read into its place.
        chunks_.erase(chunks_.begin() + i);
        materials_.erase(materials_.begin() + i);
        vertexTypes_.erase(vertexTypes_.begin() + i);
        --count;
    }

    // The skin and the attachments are optional; a fault in them shows at the end test.
    if (file_.Tell() < containerEnd_) ReadSkin();
    if (file_.Tell() < containerEnd_) ReadAttachments();
    ReadFurtherChunks();
    TotalCounts();
    if (file_.Tell() != containerEnd_) return RES_FILE_FORMAT_ERROR;

    BuildSkeletonFromInfluences();
    PrepareSkinPalette();
    ComputeBounds();
    ComputeTexelScale();
    ComputeOrientedBox();
    file_.Close();
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::ReadInfo() {
    uint32_t version = 0;
    if (uint32_t r = ReadChunkHeader("INFO", containerEnd_, &version, nullptr)) return r;
    if (version < 100 || version > 104) return RES_FILE_VERSION_ERROR;
    float q[4];
    uint32_t count = 0;
    if (!ReadVector(position_) || !file_.Read(q, sizeof q) || !file_.Read(count))
        return RES_FILE_FORMAT_ERROR;
    orientation_ = {q[0], q[1], q[2], q[3]};
    if (version >= 102 && (!file_.Read(skinWeights_) || !file_.Read(skinBones_)))
        return RES_FILE_FORMAT_ERROR;
    if (version == 104) {
        float ignored[6];
        if (!file_.Read(ignored, sizeof ignored)) return RES_FILE_FORMAT_ERROR;
    }
    if (!CountFits(count, kMinChunk, containerEnd_)) return RES_FILE_FORMAT_ERROR;
    ClearSubMeshes();
    chunks_.resize(count);
    materials_.resize(count);
    vertexTypes_.resize(count);
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::ReadChunk(uint32_t i) {
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("CHNK", containerEnd_, &version, &end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    uint32_t unused = 0;
    if (!file_.Read(unused)) return RES_FILE_FORMAT_ERROR;
    if (uint32_t r = ReadMaterial(i, end)) return r;
    if (uint32_t r = ReadGeometry(i, end)) return r;
    char id[4];
    if (file_.Tell() < end && PeekId(file_, id) && IdIs(id, "NINF"))
        return ReadNeighbourInfo(i, end);
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::ReadMaterial(uint32_t i, size_t limit) {
    if (i >= materials_.size()) return RES_UNKNOWN;
    return ReadMaterialChunk(limit, 102, &materials_[i]);
}

uint32_t HalvexIndexedMeshDefinition::ReadMaterialChunk(size_t limit, uint32_t lowestVersion,
                                                        std::shared_ptr<Kiv::Material>* out) {
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("MATL", limit, &version, &end)) return r;
    if (version < lowestVersion || version > 103) return RES_FILE_VERSION_ERROR;
    Kiv::MaterialDescription d;
    if (!ReadPaddedString(file_, end, d.typeName)) return RES_FILE_FORMAT_ERROR;
    d.requestName = d.typeName;
    d.folder = Kiv::PString(FolderOf(args_.ownerName));
    uint32_t n = 0;
    if (!file_.Read(n) || !CountFits(n, 2 * kMinString, end)) return RES_FILE_FORMAT_ERROR;
    d.properties.reserve(n);
    for (uint32_t k = 0; k < n; ++k) {
        std::string key, value;
        if (!ReadPaddedString(file_, end, key) || !ReadPaddedString(file_, end, value))
            return RES_FILE_FORMAT_ERROR;
        d.properties.emplace_back(std::move(key), std::move(value));
    }
    uint32_t flag = 0;
    if (!file_.Read(flag) || !file_.Read(d.value)) return RES_FILE_FORMAT_ERROR;
    d.flag = flag != 0;
    for (auto& colour : d.display.colors) {
        colour = {0, 0, 0, 1};
        if (!file_.Read(colour.data(), 12)) return RES_FILE_FORMAT_ERROR;
    }
    if (!file_.Read(d.display.power)) return RES_FILE_FORMAT_ERROR;
    for (float& c : d.display.colors[3])
        c *= 0.5f;
    if (version == 103) {
        d.display.power = std::max(d.display.power, 10.0f);
    } else {
        d.display.colors[2] = {0, 0, 0, 0};
        d.display.power = 10.0f;
    }
    uint32_t m = 0;
    if (!file_.Read(m) || !CountFits(m, 4 + kMinString + 4, end)) return RES_FILE_FORMAT_ERROR;
    d.textures.reserve(m);
    for (uint32_t k = 0; k < m; ++k) {
        Kiv::TextureRequest t;
        std::string name;
        if (!file_.Read(t.slot) || !ReadPaddedString(file_, end, name) || !file_.Read(t.value))
            return RES_FILE_FORMAT_ERROR;
        t.name = Kiv::PString(LowerAscii(std::move(name)));
        d.textures.push_back(std::move(t));
    }
    if (file_.Tell() > end) return RES_FILE_FORMAT_ERROR;
    return CreateMaterialFromDescription(d, out);
}

uint32_t HalvexIndexedMeshDefinition::CreateMaterialFromDescription(
    Kiv::MaterialDescription& d, std::shared_ptr<Kiv::Material>* out) {
    if (materialManager_ == nullptr) return RES_NO_MATERIAL_MANAGER;
    int code = 0;
    std::shared_ptr<Kiv::Material> found = materialManager_->FindMaterial(d, &code);
    if (!found) {
        missingMaterials_.push_back(d.requestName);
        if (!args_.allowMissingMaterials)
            return code == Kiv::MaterialManager::kNotCreated ? RES_UNSUPPORTED_MATERIAL
                                                             : RES_UNKNOWN_MATERIAL;
        std::string base, hex, name;
        if (!Kiv::MaterialManager::SplitDecoratedMaterialName(d.requestName.view(), &base, &hex,
                                                              &name))
            name = d.requestName.str();
        auto null = materialManager_->CreateNullMaterial(Kiv::PString(name), d);
        if (!null) return RES_FAIL_CHUNK_CREATE;
        std::string type = d.typeName.str();
        if (type.rfind("m.", 0) != 0) type = "m." + type;
        null->SetCreationType(Kiv::PString(name + ":" + type));
        *out = std::move(null);
        return kMeshOk;
    }
    found->SetRequestName(d.requestName);
    found->SetDisplayMaterialProperties(d.display);
    *out = std::move(found);
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::ReadGeometry(uint32_t i, size_t limit) {
    if (i >= materials_.size() || !materials_[i]) return RES_FILE_FORMAT_ERROR;
    return ReadGeometryChunk(*materials_[i], limit, &chunks_[i], &vertexTypes_[i]);
}

uint32_t HalvexIndexedMeshDefinition::ReadGeometryChunk(Kiv::Material& material, size_t limit,
                                                        std::shared_ptr<Kiv::GeometryChunk>* out,
                                                        Kiv::PString* vertexTypeOut) {
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("GEOM", limit, &version, &end)) return r;
    if (version < 101 || version > 201) return RES_FILE_VERSION_ERROR;
    uint32_t flags = 0, further = 0;
    if (!file_.Read(flags)) return RES_FILE_FORMAT_ERROR;
    if (version == 201 && !file_.Read(further)) return RES_FILE_FORMAT_ERROR;
    uint32_t primitive = 0;
    if (!Kiv::PrimitiveCodeOfBits(flags & Kiv::kPrimitiveBitsMask, &primitive))
        return RES_FILE_FORMAT_ERROR;
    float headerValue = 0;
    uint32_t vertexCount = 0, fourth = 0, indexCount = 0, faceCount = 0, sets = 1, weights = 0;
    if (!file_.Read(headerValue) || !file_.Read(vertexCount) || !file_.Read(fourth) ||
        !file_.Read(indexCount) || !file_.Read(faceCount))
        return RES_FILE_FORMAT_ERROR;
    if (version >= 103 && version <= 199 && !file_.Read(sets)) return RES_FILE_FORMAT_ERROR;
    if (version >= 102 && !file_.Read(weights)) return RES_FILE_FORMAT_ERROR;
    Kiv::PString vertexType;
    if (version >= 200 && !ReadPaddedString(file_, end, vertexType)) return RES_FILE_FORMAT_ERROR;
    *vertexTypeOut = vertexType;

    // Everything the counts stand for must be in the chunk before anything is made.
    uint64_t recordSize = 12 + 8 * uint64_t{sets};
    bool colours = version >= 104 && version <= 199;
    uint64_t needed = vertexCount * recordSize + 2 * uint64_t{indexCount} +
                      12 * uint64_t{faceCount} + (colours ? 4 * uint64_t{vertexCount} : 0);
    if (needed > end - std::min(end, file_.Tell())) return RES_FILE_FORMAT_ERROR;

    Kiv::StandardChunkHint hint = MakeChunkHint(weights, sets, headerValue, vertexType);
    bool floatWeights = config_.hardwareAnimationFloatPrecision.IsSet();

    auto chunk =
        material.CreateGeometryChunk(vertexCount, fourth, indexCount, faceCount, primitive, hint);
    if (!chunk) return RES_FILE_FORMAT_ERROR;
    chunk->SetFlags(chunk->GetFlags() | flags);
    *out = chunk;

    if (hardwareAnimation_ && weights >= 1 && weights <= 4) {
        int weightItem = floatWeights ? Kiv::kItemWeights1 + static_cast<int>(hint.maxWeights) - 1
                                      : Kiv::kItemPackedWeights;
        uint8_t* w = chunk->GetItem(weightItem);
        uint8_t* b = chunk->GetItem(Kiv::kItemBoneIndices);
        if (w == nullptr || b == nullptr) return RES_FAIL_CHUNK_CREATE;
        if (weights == 1) {
            // One weight a vertex: every vertex belongs wholly to bone index 0.
            uint32_t full = floatWeights ? 0x3F800000u /* 1.0f */ : 0xFF000000u;
            for (uint32_t v = 0; v < vertexCount; ++v) {
                std::memcpy(w + size_t{v} * 4 * (floatWeights ? hint.maxWeights : 1), &full, 4);
                std::memset(b + size_t{v} * 4, 0, 4);
            }
        }
    }

    // The vertex block, copied record by record into the items.
    const uint8_t* block = file_.Peek(vertexCount * recordSize);
    if (block == nullptr) return RES_FILE_FORMAT_ERROR;
    uint8_t* positions = chunk->GetItem(Kiv::kItemPositions);
    uint8_t* setItems[8] = {};
    for (uint32_t k = 0; k < sets && k < 8; ++k)
        setItems[k] = chunk->GetItem(Kiv::kItemTexCoord0 + static_cast<int>(k));
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const uint8_t* rec = block + v * recordSize;
        if (positions) std::memcpy(positions + size_t{v} * 12, rec, 12);
        for (uint32_t k = 0; k < sets && k < 8; ++k)
            if (setItems[k]) std::memcpy(setItems[k] + size_t{v} * 8, rec + 12 + 8 * k, 8);
    }
    file_.Seek(file_.Tell() + vertexCount * recordSize);
    if (uint8_t* colour = chunk->GetItem(Kiv::kItemColor1))
        for (uint32_t v = 0; v < vertexCount; ++v)
            std::memcpy(colour + size_t{v} * 4, &args_.vertexColour, 4);

    uint16_t* indices = chunk->GetIndexArray();
    if (indices == nullptr) return RES_FAIL_CHUNK_CREATE;
    if (!file_.Read(indices, size_t{indexCount} * 2)) return RES_FILE_FORMAT_ERROR;
    for (uint32_t k = 0; k < indexCount; ++k)
        if (indices[k] >= vertexCount) return RES_FILE_FORMAT_ERROR;
    if (colours) {
        std::vector<uint32_t> block32(vertexCount);
        if (!file_.Read(block32.data(), size_t{vertexCount} * 4)) return RES_FILE_FORMAT_ERROR;
        Kiv::Display::ConvertColorArray(block32.data(), vertexCount);
        if (uint8_t* colour = chunk->GetItem(Kiv::kItemColor1))
            std::memcpy(colour, block32.data(), size_t{vertexCount} * 4);
    }
    if (faceCount != 0 && !file_.Read(chunk->GetFaceNormalArray(), size_t{faceCount} * 12))
        return RES_FILE_FORMAT_ERROR;
    file_.Seek(end);
    return kMeshOk;
}

Kiv::StandardChunkHint HalvexIndexedMeshDefinition::MakeChunkHint(uint32_t weights, uint32_t sets,
                                                                  float headerValue,
                                                                  const Kiv::PString& vertexType) {
    const MeshMaterialConfig& c = config_;
    bool override = gHardwareAnimationOverride.load();
    hardwareAnimation_ = skinWeights_ > 0 && skinWeights_ <= weightsLimit_ &&
                         (skinBones_ <= bonesLimit_ || override) &&
                         (displaySkinning_ || override) && !c.softwareAnimation.IsSet();

    Kiv::StandardChunkHint hint(2, 0);
    hint.vertexUsage = c.dynamicVertex.present ? c.dynamicVertex.value : 2;
    hint.indexUsage = c.dynamicIndex.present ? c.dynamicIndex.value : 2;
    if (c.softwareLighting.IsSet()) hint.flags |= Kiv::StandardChunkHint::kSoftwareLighting;
    bool floatWeights = c.hardwareAnimationFloatPrecision.IsSet();
    if (weights > 0) {
        hint.flags |= Kiv::StandardChunkHint::kSkinned;
        if (hardwareAnimation_) {
            hint.maxWeights = std::min(weights, kMaxWeightsPerVertex);
            hint.bonesLimit = bonesLimit_;
            if (floatWeights) hint.flags |= Kiv::StandardChunkHint::kFloatWeights;
        } else {
            hint.flags |= Kiv::StandardChunkHint::kSoftwareSkinning;
        }
    }
    hint.texCoordSets = sets;
    hint.ownerValue = args_.ownerValue;
    hint.headerValue = headerValue;
    hint.vertexType = vertexType;
    hint.weightsPerVertex = weights;
    return hint;
}

uint32_t HalvexIndexedMeshDefinition::ReadNeighbourInfo(uint32_t i, size_t limit) {
    if (i >= chunks_.size() || !chunks_[i]) return RES_FILE_FORMAT_ERROR;
    return ReadNeighbourChunk(*chunks_[i], limit);
}

uint32_t HalvexIndexedMeshDefinition::ReadNeighbourChunk(Kiv::GeometryChunk& chunk, size_t limit) {
    uint32_t version = 0;
    if (uint32_t r = ReadChunkHeader("NINF", limit, &version, nullptr)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    uint32_t faces = chunk.GetFaceCount();
    if (faces == 0) return kMeshOk;
    if (!CountFits(faces, 12, limit)) return RES_FILE_FORMAT_ERROR;
    std::vector<uint32_t> neighbours(size_t{faces} * 3);
    file_.Read(neighbours.data(), neighbours.size() * 4);
    chunk.SetFaceNeighborArray(std::move(neighbours));
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::ReadAttachments() {
    char id[4];
    // Optional: anything but "ATCH" leaves the position where it was.
    if (!PeekId(file_, id) || !IdIs(id, "ATCH")) return kMeshOk;
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("ATCH", containerEnd_, &version, &end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    uint32_t count = 0;
    if (!file_.Read(count) || !CountFits(count, kMinAttachment, end)) return RES_FILE_FORMAT_ERROR;
    attachments_.clear();
    attachments_.reserve(count);
    for (uint32_t k = 0; k < count; ++k) {
        MeshAttachmentPoint a;
        if (!ReadPaddedString(file_, end, a.name) || !ReadMatrix(a.orientation) ||
            !ReadVector(a.position))
            return RES_FILE_FORMAT_ERROR;
        attachments_.push_back(std::move(a));
    }
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::ReadSkin() {
    char id[4];
    if (!PeekId(file_, id)) return kMeshOk;
    size_t start = file_.Tell();
    uint32_t version = 0;
    size_t end = 0;
    if (IdIs(id, "INFL")) {
        if (uint32_t r = ReadChunkHeader("INFL", containerEnd_, &version, &end)) return r;
        if (version != 100) {
            file_.Seek(start);  // not ours to read: the end test sees it
            return kMeshOk;
        }
        uint32_t count = 0;
        if (!file_.Read(count)) return RES_FILE_FORMAT_ERROR;
        if (count > kMaxFileInfluences) count = 0;
        if (!CountFits(count, kMinInfluence, end)) return RES_FILE_FORMAT_ERROR;
        influences_.clear();
        influences_.reserve(count);
        for (uint32_t k = 0; k < count; ++k) {
            MeshInfluence inf;
            uint32_t groups = 0;
            if (!ReadPaddedString(file_, end, inf.name) ||
                !ReadPaddedString(file_, end, inf.parentName) || !ReadVector(inf.position) ||
                !ReadMatrix(inf.orientation) || !file_.Read(groups) || !CountFits(groups, 8, end))
                return RES_FILE_FORMAT_ERROR;
            for (uint32_t g = 0; g < groups; ++g) {
                InfluenceGroup group;
                uint32_t entries = 0;
                if (!file_.Read(group.subMesh) || !file_.Read(entries) ||
                    !CountFits(entries, sizeof(InfluenceEntry), end))
                    return RES_FILE_FORMAT_ERROR;
                if (entries == 0) continue;  // an empty group is not kept
                group.entries.resize(entries);
                file_.Read(group.entries.data(), size_t{entries} * sizeof(InfluenceEntry));
                inf.groups.push_back(std::move(group));
            }
            influences_.push_back(std::move(inf));
        }
        return file_.Tell() == end ? kMeshOk : RES_FILE_FORMAT_ERROR;
    }
    if (IdIs(id, "SKEL")) {
        if (uint32_t r = ReadChunkHeader("SKEL", containerEnd_, &version, &end)) return r;
        if (version != 100) {
            file_.Seek(start);
            return kMeshOk;
        }
        return ReadBone(nullptr, 0, end);
    }
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::ReadBone(Kiv::Particle* parent, int depth, size_t limit) {
    if (depth >= kMaxBoneDepth) return RES_FILE_FORMAT_ERROR;
    uint32_t version = 0;
    size_t end = 0;
    if (uint32_t r = ReadChunkHeader("BONE", limit, &version, &end)) return r;
    if (version != 1 && version != 20 && version != 50 && version != 100 && version != 102)
        return RES_FILE_VERSION_ERROR;
    Kiv::PString name;
    Kiv::Vector3 position;
    float q[4];
    uint32_t children = 0;
    if (!ReadPaddedString(file_, end, name) || !ReadVector(position) || !file_.Read(q, sizeof q) ||
        !file_.Read(children) || !CountFits(children, kMinChunk, end))
        return RES_FILE_FORMAT_ERROR;
    auto bone = std::make_unique<Kiv::ParticleBone>(name);
    bone->SetFrame(position, {q[0], q[1], q[2], q[3]});
    bone->SetVisibleBox(Kiv::ParticleBone::SmallBox());
    Kiv::Particle* self;
    if (parent) {
        self = parent->AddChild(std::move(bone));
    } else {
        skeleton_ = std::move(bone);
        self = skeleton_.get();
    }
    for (uint32_t k = 0; k < children; ++k)
        if (uint32_t r = ReadBone(self, depth + 1, end)) return r;
    return kMeshOk;
}
