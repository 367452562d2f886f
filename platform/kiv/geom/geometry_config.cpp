#include "platform/kiv/geom/geometry_config.h"

namespace Kiv {

namespace {

// An optional list of exactly n floats (absent: the default stays).
bool ReadFixed(const ConfigData& node, std::string_view key, size_t n, float* out) {
    if (node.Find(key) == nullptr) return true;
    std::vector<float> v;
    if (!node.GetFloats(key, &v) || v.size() != n) return false;
    std::copy(v.begin(), v.end(), out);
    return true;
}

bool ReadUInt(const ConfigData& node, std::string_view key, uint32_t fallback, uint32_t* out) {
    if (node.Find(key) == nullptr) {
        *out = fallback;
        return true;
    }
    std::vector<uint32_t> v;
    if (!node.GetUInts(key, &v) || v.size() != 1) return false;
    *out = v[0];
    return true;
}

}  // namespace

bool ReadMaterialConfigEntry(const ConfigData& node, MaterialConfigEntry* out) {
    out->type = node.GetString("type");
    out->name = node.GetString("name");
    out->flag = node.GetBool("flag", false);
    out->value = node.GetFloat("value", 0);
    out->power = node.GetFloat("power", 0);
    const char* colours[4] = {"diffuse", "ambient", "specular", "emissive"};
    for (int k = 0; k < 4; ++k) {
        out->colors[k] = {0, 0, 0, 1};
        if (!ReadFixed(node, colours[k], 4, out->colors[k].data())) return false;
    }
    for (const ConfigData* p : node.FindAll("property")) {
        if (!p->IsGroup()) return false;
        out->properties.emplace_back(p->GetString("key"), p->GetString("value"));
    }
    for (const ConfigData* t : node.FindAll("texture")) {
        if (!t->IsGroup()) return false;
        MaterialConfigEntry::Texture tex;
        if (!ReadUInt(*t, "slot", 0, &tex.slot)) return false;
        tex.name = t->GetString("name");
        tex.value = t->GetFloat("value", 0);
        out->textures.push_back(std::move(tex));
    }
    return !out->type.empty();
}

bool GeometryConfigData::Fail(std::string why) {
    error_ = std::move(why);
    return false;
}

uint32_t GeometryConfigData::GetMaxVertices() const {
    uint32_t most = 0;
    for (const GeometryConfigChunk& c : chunks_)
        most = std::max(most, c.vertexCount);
    return most;
}

bool GeometryConfigData::ReadChunk(const ConfigData& node, GeometryConfigChunk& c) {
    const ConfigData* material = node.Find("material");
    if (material == nullptr || !material->IsGroup() ||
        !ReadMaterialConfigEntry(*material, &c.material))
        return Fail("a chunk without a usable material");
    if (!ReadUInt(node, "primitive", 4, &c.primitiveBits) ||
        !ReadUInt(node, "fourth", 0, &c.fourth))
        return Fail("a bad primitive or fourth count");
    if (!node.GetFloats("positions", &c.positions) || c.positions.size() % 3 != 0)
        return Fail("positions are not three numbers a vertex");
    if (c.positions.size() / 3 > 0xFFFFFFFFu) return Fail("too many vertices");
    c.vertexCount = static_cast<uint32_t>(c.positions.size() / 3);
    size_t v = c.vertexCount;
    if (node.Find("normals") &&
        (!node.GetFloats("normals", &c.normals) || c.normals.size() != 3 * v))
        return Fail("normals are not three numbers a vertex");
    if (node.Find("color1") && (!node.GetUInts("color1", &c.color1) || c.color1.size() != v))
        return Fail("color1 is not one colour a vertex");
    if (node.Find("color2") && (!node.GetUInts("color2", &c.color2) || c.color2.size() != v))
        return Fail("color2 is not one colour a vertex");
    for (const ConfigData* t : node.FindAll("texcoords")) {
        std::vector<float> set;
        if (t->IsGroup() || !ConfigData::ParseFloats(t->GetValue(), &set) || set.size() != 2 * v)
            return Fail("a texture set is not two numbers a vertex");
        if (c.texCoords.size() == 8) return Fail("more than eight texture sets");
        c.texCoords.push_back(std::move(set));
    }
    if (!ReadUInt(node, "weightspervertex", 0, &c.weightsPerVertex) || c.weightsPerVertex > 4)
        return Fail("weights per vertex above 4");
    if (node.Find("blendweights") && (!node.GetFloats("blendweights", &c.blendWeights) ||
                                      c.blendWeights.size() != v * c.weightsPerVertex))
        return Fail("blend weights do not match the weights per vertex");
    if (node.Find("blendindices") &&
        (!node.GetUInts("blendindices", &c.blendIndices) || c.blendIndices.size() != v))
        return Fail("blend indices are not one word a vertex");
    if (!node.GetUInts("indices", &c.indices)) return Fail("no indices");
    for (uint32_t i : c.indices)
        if (i >= v || i > 0xFFFF) return Fail("an index past the vertices");
    if (node.Find("facenormals")) {
        if (!node.GetFloats("facenormals", &c.faceNormals) || c.faceNormals.size() % 3 != 0)
            return Fail("face normals are not three numbers a face");
        c.faceCount = static_cast<uint32_t>(c.faceNormals.size() / 3);
    } else {
        c.faceCount = static_cast<uint32_t>(c.indices.size() / 3);
        c.faceNormals.assign(size_t{c.faceCount} * 3, 0.0f);
    }
    return true;
}

bool GeometryConfigData::LoadConfigData(const ConfigData& tree, bool materials, bool influences,
                                        bool attachments, std::string_view name) {
    (void)materials;
    (void)name;
    *this = GeometryConfigData();
    float q[4] = {0, 0, 0, 1};
    if (!ReadFixed(tree, "position", 3, &position_.x) || !ReadFixed(tree, "orientation", 4, q))
        return Fail("a bad position or orientation");
    orientation_ = {q[0], q[1], q[2], q[3]};
    if (!ReadUInt(tree, "weights", 0, &weights_) || !ReadUInt(tree, "bones", 0, &bones_))
        return Fail("bad skinning counts");
    for (const ConfigData* c : tree.FindAll("chunk")) {
        if (!c->IsGroup()) return Fail("a chunk that is not a group");
        if (!ReadChunk(*c, chunks_.emplace_back())) return false;
    }
    if (influences)
        for (const ConfigData* n : tree.FindAll("influence")) {
            if (!n->IsGroup()) return Fail("an influence that is not a group");
            InfluenceDefinition inf;
            inf.name = n->GetString("name");
            inf.parent = n->GetString("parent");
            if (!ReadFixed(*n, "position", 3, &inf.position.x) ||
                !ReadFixed(*n, "orientation", 9, inf.orientation.m.data()))
                return Fail("a bad influence frame");
            for (const ConfigData* g : n->FindAll("group")) {
                InfluenceDefinition::Group group;
                std::vector<float> entries;
                if (!g->IsGroup() || !ReadUInt(*g, "submesh", 0, &group.subMesh) ||
                    !g->GetFloats("entries", &entries) || entries.size() % 5 != 0)
                    return Fail("a bad influence group");
                for (size_t k = 0; k < entries.size(); k += 5) {
                    if (!(entries[k] >= 0 && entries[k] < 4294967296.0f))
                        return Fail("a bad influence vertex");
                    group.entries.push_back({static_cast<uint32_t>(entries[k]),
                                             entries[k + 1],
                                             {entries[k + 2], entries[k + 3], entries[k + 4]}});
                }
                inf.groups.push_back(std::move(group));
            }
            influences_.push_back(std::move(inf));
        }
    if (attachments)
        for (const ConfigData* n : tree.FindAll("attachment")) {
            if (!n->IsGroup()) return Fail("an attachment that is not a group");
            AttachmentConfig a;
            a.name = n->GetString("name");
            float aq[4] = {0, 0, 0, 1};
            if (!ReadFixed(*n, "position", 3, &a.position.x) ||
                !ReadFixed(*n, "orientation", 4, aq))
                return Fail("a bad attachment frame");
            a.orientation = {aq[0], aq[1], aq[2], aq[3]};
            attachments_.push_back(std::move(a));
        }
    return true;
}

}  // namespace Kiv
