// An indexed mesh built from a geometry configuration (".imtxt", platform/kiv/geom/
// geometry_config.h) instead of a file, and the material configuration read for a mesh.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "mesh/indexed_mesh_definition.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/rand.h"

namespace {

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

uint32_t HalvexIndexedMeshDefinition::LoadConfigFile(std::string_view path, Kiv::Display* display,
                                                     Kiv::MaterialManager* materials,
                                                     const MeshLoadArgs& args) {
    name_ = Kiv::PString(Kiv::File::Path(path).Normalize().view());
    Kiv::ConfigParser parser;
    switch (parser.Parse(path)) {
        case Kiv::ConfigParser::kOk:
            break;
        case Kiv::ConfigParser::kOpenError:
            return RES_FILE_OPEN_ERROR;
        case Kiv::ConfigParser::kFormatError:
            return RES_FILE_FORMAT_ERROR;
        case Kiv::ConfigParser::kVersionError:
            return RES_FILE_VERSION_ERROR;
        default:
            return RES_UNKNOWN;
    }
    return LoadFromConfig(parser.GetData(), display, materials, args);
}

uint32_t HalvexIndexedMeshDefinition::LoadFromConfig(const Kiv::ConfigData& tree,
                                                     Kiv::Display* display,
                                                     Kiv::MaterialManager* materials,
                                                     const MeshLoadArgs& args) {
    if (uint32_t r = TakeOwner(display, materials, args)) return r;
    Kiv::GeometryConfigData config;
    if (!config.LoadConfigData(tree, true, true, true, name_.view()) ||
        config.GetMaxVertices() == 0)
        return RES_FILE_FORMAT_ERROR;
    position_ = config.GetPosition();
    orientation_ = config.GetOrientation();
    skinWeights_ = config.GetSkinWeights();
    skinBones_ = config.GetSkinBones();
    ClearSubMeshes();
    chunks_.resize(config.GetNumChunks());
    materials_.resize(config.GetNumChunks());
    vertexTypes_.resize(config.GetNumChunks());
    for (uint32_t i = 0; i < config.GetNumChunks(); ++i) {
        if (uint32_t r = CreateMaterial(config, i)) return r;
        if (uint32_t r = CreateGeometryFromConfig(config, i)) return r;
    }
    CreateInfluencesFromConfig(config);
    CreateAttachmentsFromConfig(config);
    TotalCounts();
    BuildSkeletonFromInfluences();
    PrepareSkinPalette();
    ComputeBounds();
    ComputeTexelScale();
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::CreateMaterial(const Kiv::GeometryConfigData& config,
                                                     uint32_t i) {
    const Kiv::MaterialConfigEntry& m = config.GetChunk(i).material;
    Kiv::MaterialDescription d;
    d.typeName = Kiv::PString(m.type);
    d.folder = Kiv::PString(Kiv::File::Path(args_.ownerName).GetFolder());
    d.properties = m.properties;
    d.flag = m.flag;
    d.value = m.value;
    d.display.colors = m.colors;
    d.display.power = m.power * 128;
    for (const auto& t : m.textures)
        d.textures.push_back({t.slot, Kiv::PString(LowerAscii(t.name)), t.value});
    std::string request = m.name;
    if (request.empty() || request.find('*') != std::string::npos) {
        // A material of no usable name of its own gets one no other mesh's material has.
        static Kiv::Rand rand;
        static std::mutex lock;
        uint32_t unique;
        {
            std::lock_guard hold(lock);
            unique = rand.Next();
        }
        Kiv::File::Path file(name_.view());
        std::string base(file.GetFileName());
        base = base.substr(0, base.find('.'));
        char decorated[512];
        std::snprintf(decorated, sizeof decorated, "*%s*%x*%s*", base.c_str(), unique,
                      m.name.empty() ? m.type.c_str() : "unnamed");
        request = decorated;
    }
    if (!Kiv::MaterialManager::VerifyDecoratedName(request)) return RES_UNKNOWN_MATERIAL;
    d.requestName = Kiv::PString(request);
    return CreateMaterialFromDescription(d, &materials_[i]);
}

uint32_t HalvexIndexedMeshDefinition::CreateGeometryFromConfig(
    const Kiv::GeometryConfigData& config, uint32_t i) {
    const Kiv::GeometryConfigChunk& g = config.GetChunk(i);
    uint32_t primitive = 0;
    if (!Kiv::PrimitiveCodeOfBits(g.primitiveBits, &primitive) || !materials_[i])
        return RES_FILE_FORMAT_ERROR;
    uint32_t sets = static_cast<uint32_t>(g.texCoords.size());
    Kiv::StandardChunkHint hint = MakeChunkHint(g.weightsPerVertex, sets, 0, Kiv::PString());
    uint32_t indexCount = static_cast<uint32_t>(g.indices.size());
    auto chunk = materials_[i]->CreateGeometryChunk(g.vertexCount, g.fourth, indexCount,
                                                    g.faceCount, primitive, hint);
    if (!chunk) return RES_FILE_FORMAT_ERROR;
    chunk->SetFlags(chunk->GetFlags() | g.primitiveBits);
    chunks_[i] = chunk;
    size_t v = g.vertexCount;

    auto fill = [&](int item, const void* src, size_t bytes) {
        if (uint8_t* dst = chunk->GetItem(item); dst && src && bytes) std::memcpy(dst, src, bytes);
    };
    fill(Kiv::kItemPositions, g.positions.data(), v * 12);
    if (!g.normals.empty()) fill(Kiv::kItemNormals, g.normals.data(), v * 12);
    std::vector<uint32_t> colour(v, args_.vertexColour);
    if (!g.color1.empty()) {
        colour = g.color1;
        Kiv::Display::ConvertColorArray(colour.data(), g.vertexCount);
    }
    fill(Kiv::kItemColor1, colour.data(), v * 4);
    if (!g.color2.empty()) {
        std::vector<uint32_t> second = g.color2;
        Kiv::Display::ConvertColorArray(second.data(), g.vertexCount);
        fill(Kiv::kItemColor2, second.data(), v * 4);
    }
    for (uint32_t k = 0; k < sets; ++k)
        fill(Kiv::kItemTexCoord0 + static_cast<int>(k), g.texCoords[k].data(), v * 8);

    if (hardwareAnimation_ && g.weightsPerVertex >= 1) {
        bool floatWeights = config_.hardwareAnimationFloatPrecision.IsSet();
        uint32_t n = hint.maxWeights;
        int weightItem =
            floatWeights ? Kiv::kItemWeights1 + static_cast<int>(n) - 1 : Kiv::kItemPackedWeights;
        uint8_t* w = chunk->GetItem(weightItem);
        uint8_t* b = chunk->GetItem(Kiv::kItemBoneIndices);
        if (w == nullptr || b == nullptr) return RES_FAIL_CHUNK_CREATE;
        for (size_t k = 0; k < v; ++k) {
            uint32_t indices = k < g.blendIndices.size() ? g.blendIndices[k] : 0;
            std::memcpy(b + 4 * k, &indices, 4);
            for (uint32_t j = 0; j < n && j < 4; ++j) {
                size_t at = k * g.weightsPerVertex + j;
                float weight = at < g.blendWeights.size() ? g.blendWeights[at]
                               : g.weightsPerVertex == 1  ? 1.0f
                                                          : 0.0f;
                if (floatWeights)
                    std::memcpy(w + (k * n + j) * 4, &weight, 4);
                else
                    w[k * 4 + (3 - j)] =
                        static_cast<uint8_t>(std::clamp(weight, 0.0f, 1.0f) * 255.0f + 0.5f);
            }
        }
    }

    uint16_t* indices = chunk->GetIndexArray();
    if (indices == nullptr) return RES_FAIL_CHUNK_CREATE;
    for (uint32_t k = 0; k < indexCount; ++k)
        indices[k] = static_cast<uint16_t>(g.indices[k]);  // each checked below 65536
    std::copy(g.faceNormals.begin(), g.faceNormals.end(), chunk->GetFaceNormalArray());
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::CreateInfluencesFromConfig(
    const Kiv::GeometryConfigData& config) {
    influences_.clear();
    for (const Kiv::InfluenceDefinition& d : config.GetInfluences()) {
        MeshInfluence inf;
        inf.name = d.name;
        inf.parentName = d.parent;
        inf.position = d.position;
        inf.orientation = d.orientation;
        for (const auto& g : d.groups) {
            InfluenceGroup group{g.subMesh, {}};
            for (const auto& e : g.entries)
                group.entries.push_back({e.vertex, e.weight, {e.extra[0], e.extra[1], e.extra[2]}});
            inf.groups.push_back(std::move(group));
        }
        influences_.push_back(std::move(inf));
    }
    return kMeshOk;
}

uint32_t HalvexIndexedMeshDefinition::CreateAttachmentsFromConfig(
    const Kiv::GeometryConfigData& config) {
    attachments_.clear();
    for (const Kiv::AttachmentConfig& a : config.GetAttachments())
        attachments_.push_back({a.orientation.ToMatrix(), a.position, Kiv::PString(a.name)});
    return kMeshOk;
}

bool ReadMaterialConfig(const Kiv::ConfigData& tree, const Kiv::Display& display,
                        MeshMaterialConfig* config, MaterialSpec* spec) {
    if (const Kiv::ConfigData* mesh = tree.Find("Mesh"); mesh && mesh->IsGroup()) {
        struct Key {
            const char* name;
            MeshMaterialConfig::Setting* setting;
        } keys[] = {{"SoftwareLighting", &config->softwareLighting},
                    {"SoftwareAnimation", &config->softwareAnimation},
                    {"DynamicVertex", &config->dynamicVertex},
                    {"DynamicIndex", &config->dynamicIndex},
                    {"HardwareAnimationFloatPrecision", &config->hardwareAnimationFloatPrecision}};
        for (const Key& k : keys) {
            const Kiv::ConfigData* entry = mesh->Find(k.name);
            if (entry == nullptr || entry->IsGroup()) continue;
            k.setting->value = static_cast<uint8_t>(mesh->GetInt(k.name, 0));
            k.setting->present = 1;
        }
    }
    for (const Kiv::ConfigData* m : tree.FindAll("Material")) {
        if (!m->IsGroup()) continue;
        bool usable = true;
        for (const Kiv::ConfigData* e : m->FindAll("Extension"))
            usable = usable && !e->IsGroup() && display.CheckExtensionString(e->GetValue());
        if (!usable) continue;
        Kiv::MaterialConfigEntry entry;
        entry.type = "m.any";
        Kiv::ReadMaterialConfigEntry(*m, &entry);
        spec->requestName = Kiv::PString(m->GetString("Name"));
        spec->display.colors = entry.colors;
        spec->display.power = entry.power;
        spec->found = true;
        return true;
    }
    return false;
}
