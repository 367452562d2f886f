#include "mesh/testing/idxm_writer.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "platform/kiv/geom/mesh_file_support.h"

namespace meshtesting {

using Kiv::MeshFileSupport;
using Kiv::MeshOutput;

namespace {

bool SetsWritten(uint32_t version) {
    return version >= 103 && version <= 199;
}
bool ColoursWritten(uint32_t version) {
    return version >= 104 && version <= 199;
}

size_t BeginChunk(MeshOutput& out, const char* id, uint32_t version) {
    out.WriteId(id);
    size_t mark = MeshFileSupport::MarkSizePos(out);
    out.WriteU32(version);
    return mark;
}

void EndChunk(MeshOutput& out, size_t mark) {
    MeshFileSupport::WriteSizeAtMark(out, mark);
}

void WriteMatrix(MeshOutput& out, const Kiv::Matrix3& m) {
    out.Write(m.m.data(), 36);
}
void WriteVector(MeshOutput& out, const Kiv::Vector3& v) {
    out.WriteF32(v.x);
    out.WriteF32(v.y);
    out.WriteF32(v.z);
}

void WriteMaterial(MeshOutput& out, const IdxmMaterial& m) {
    size_t mark = BeginChunk(out, "MATL", m.version);
    MeshFileSupport::WritePaddedString(out, m.typeName);
    out.WriteU32(static_cast<uint32_t>(m.properties.size()));
    for (const auto& [k, v] : m.properties) {
        MeshFileSupport::WritePaddedString(out, k);
        MeshFileSupport::WritePaddedString(out, v);
    }
    out.WriteU32(m.flag);
    out.WriteF32(m.value);
    for (const auto& c : m.colors)
        out.Write(c.data(), 12);
    out.WriteF32(m.power);
    out.WriteU32(static_cast<uint32_t>(m.textures.size()));
    for (const IdxmTexture& t : m.textures) {
        out.WriteU32(t.slot);
        MeshFileSupport::WritePaddedString(out, t.name);
        out.WriteF32(t.value);
    }
    EndChunk(out, mark);
}

void WriteGeometry(MeshOutput& out, const IdxmGeometry& g) {
    size_t mark = BeginChunk(out, "GEOM", g.version);
    out.WriteU32(g.flags);
    if (g.version == 201) out.WriteU32(g.further);
    out.WriteF32(g.headerValue);
    out.WriteU32(g.VertexCount());
    out.WriteU32(g.fourth);
    out.WriteU32(static_cast<uint32_t>(g.indices.size()));
    out.WriteU32(g.faceCount);
    if (SetsWritten(g.version)) out.WriteU32(g.texSets);
    if (g.version >= 102) out.WriteU32(g.weights);
    if (g.version >= 200) MeshFileSupport::WritePaddedString(out, g.vertexType);
    out.Write(g.vertices.data(), g.vertices.size() * 4);
    out.Write(g.indices.data(), g.indices.size() * 2);
    if (ColoursWritten(g.version)) out.Write(g.colours.data(), g.colours.size() * 4);
    out.Write(g.faceNormals.data(), g.faceNormals.size() * 4);
    EndChunk(out, mark);
}

void WriteBone(MeshOutput& out, const IdxmBone& b, uint32_t version) {
    size_t mark = BeginChunk(out, "BONE", version);
    MeshFileSupport::WritePaddedString(out, b.name);
    WriteVector(out, b.position);
    out.WriteF32(b.rotation.x);
    out.WriteF32(b.rotation.y);
    out.WriteF32(b.rotation.z);
    out.WriteF32(b.rotation.w);
    out.WriteU32(static_cast<uint32_t>(b.children.size()));
    for (const IdxmBone& c : b.children)
        WriteBone(out, c, version);  // inside the parent
    EndChunk(out, mark);
}

IdxmBone BoneFrom(const Kiv::Particle& p) {
    IdxmBone b;
    b.name = p.GetName().str();
    b.position = p.GetPosition();
    b.rotation = p.GetRotation();
    for (const auto& c : p.GetChildren())
        b.children.push_back(BoneFrom(*c));
    return b;
}

}  // namespace

uint32_t IdxmGeometry::VertexCount() const {
    if (vertexCount) return *vertexCount;
    uint32_t sets = SetsWritten(version) ? texSets : 1;
    return static_cast<uint32_t>(vertices.size() / (3 + 2 * sets));
}

std::vector<uint8_t> WriteIdxm(const IdxmFile& f) {
    MeshOutput out;
    out.WriteId("JIRF");
    size_t size = MeshFileSupport::MarkSizePos(out);
    out.WriteId("IDXM");

    size_t info = BeginChunk(out, "INFO", f.infoVersion);
    WriteVector(out, f.position);
    out.WriteF32(f.orientation.x);
    out.WriteF32(f.orientation.y);
    out.WriteF32(f.orientation.z);
    out.WriteF32(f.orientation.w);
    out.WriteU32(static_cast<uint32_t>(f.subMeshes.size()));
    if (f.infoVersion >= 102) {
        out.WriteU32(f.skinWeights);
        out.WriteU32(f.skinBones);
    }
    if (f.infoVersion == 104) out.Write(f.ignored.data(), 24);
    EndChunk(out, info);

    for (const IdxmSubMesh& s : f.subMeshes) {
        size_t chunk = BeginChunk(out, "CHNK", 100);
        out.WriteU32(s.unused);
        WriteMaterial(out, s.material);
        WriteGeometry(out, s.geometry);
        if (s.neighbours) {
            size_t ninf = BeginChunk(out, "NINF", 100);
            out.Write(s.neighbours->data(), s.neighbours->size() * 4);
            EndChunk(out, ninf);
        }
        EndChunk(out, chunk);
    }

    if (f.influences) {
        size_t infl = BeginChunk(out, "INFL", 100);
        out.WriteU32(static_cast<uint32_t>(f.influences->size()));
        for (const MeshInfluence& inf : *f.influences) {
            MeshFileSupport::WritePaddedString(out, inf.name);
            MeshFileSupport::WritePaddedString(out, inf.parentName);
            WriteVector(out, inf.position);
            WriteMatrix(out, inf.orientation);
            out.WriteU32(static_cast<uint32_t>(inf.groups.size()));
            for (const InfluenceGroup& g : inf.groups) {
                out.WriteU32(g.subMesh);
                out.WriteU32(static_cast<uint32_t>(g.entries.size()));
                out.Write(g.entries.data(), g.entries.size() * sizeof(InfluenceEntry));
            }
        }
        EndChunk(out, infl);
    } else if (f.skeleton) {
        size_t skel = BeginChunk(out, "SKEL", 100);
        WriteBone(out, *f.skeleton, f.boneVersion);
        EndChunk(out, skel);
    }

    if (f.attachments) {
        size_t atch = BeginChunk(out, "ATCH", 100);
        out.WriteU32(static_cast<uint32_t>(f.attachments->size()));
        for (const MeshAttachmentPoint& a : *f.attachments) {
            MeshFileSupport::WritePaddedString(out, a.name.view());
            WriteMatrix(out, a.orientation);
            WriteVector(out, a.position);
        }
        EndChunk(out, atch);
    }

    if (f.progressive) {
        const IdxmProgressive& p = *f.progressive;
        size_t pmin = BeginChunk(out, "PMIN", p.version);
        const std::array<uint32_t, 4> counts = p.counts.value_or(std::array<uint32_t, 4>{
            static_cast<uint32_t>(p.words.size()), static_cast<uint32_t>(p.level3.size()),
            static_cast<uint32_t>(p.level2.size()), static_cast<uint32_t>(p.level1.size())});
        for (uint32_t c : counts)
            out.WriteU32(c);
        out.Write(p.words.data(), p.words.size() * 4);
        out.Write(p.level3.data(), p.level3.size() * 16);
        out.Write(p.level2.data(), p.level2.size() * 8);
        out.Write(p.level1.data(), p.level1.size() * 4);
        EndChunk(out, pmin);
    }
    MeshFileSupport::WriteSizeAtMark(out, size);
    return out.Take();
}

IdxmProgressive SampleProgressive() {
    IdxmProgressive p;
    p.words = {1, 2, 3, 4, 5, 6};
    p.level3 = {{0, 0, 0, 1}, {0, 0, 0, 2}, {0, 0, 0, 3}};
    p.level2 = {{0, 1}, {0, 2}};
    p.level1 = {2};
    return p;
}

IdxmFile IdxmFromDefinition(const HalvexIndexedMeshDefinition& def, const IdxmFile& like) {
    IdxmFile f;
    f.infoVersion = like.infoVersion;
    f.position = def.GetPosition();
    f.orientation = def.GetOrientation();
    f.skinWeights = def.GetMaxWeightsPerVertex();
    f.skinBones = def.GetMaxBonesPerSubMesh();
    f.ignored = like.ignored;
    f.boneVersion = like.boneVersion;
    for (uint32_t i = 0; i < def.GetNumSubMeshes(); ++i) {
        const IdxmSubMesh* model = i < like.subMeshes.size() ? &like.subMeshes[i] : nullptr;
        IdxmSubMesh s;
        const Kiv::Material& m = *def.GetMaterial(i);
        const Kiv::GeometryChunk& c = *def.GetChunk(i);
        s.unused = model ? model->unused : 0;
        s.material.version = model ? model->material.version : 103;
        s.material.typeName = m.GetTypeName().str();
        s.material.properties = m.GetDescription().properties;
        s.material.flag = m.GetFlag() ? 1 : 0;
        s.material.value = m.GetValue();
        const Kiv::DisplayMaterial& d = m.GetDisplayMaterial();
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 3; ++j)
                s.material.colors[k][j] = d.colors[k][j] * (k == 3 ? 2 : 1);
        s.material.power = d.power;
        for (const Kiv::TextureRequest& t : m.GetTextureRequests())
            s.material.textures.push_back({t.slot, t.name.str(), t.value});

        IdxmGeometry& g = s.geometry;
        g.version = model ? model->geometry.version : 201;
        g.flags = c.GetFlags() & ~Kiv::GeometryChunk::kFlagSoftwareSkinning;
        g.further = model ? model->geometry.further : 0;
        g.headerValue = c.GetHint().headerValue;
        g.fourth = c.GetFourthCount();
        g.texSets = model ? model->geometry.texSets : 1;
        g.weights = model ? model->geometry.weights : 0;
        g.vertexType = def.GetVertexTypeName(i).str();
        uint32_t sets = SetsWritten(g.version) ? g.texSets : 1;
        const float* pos = reinterpret_cast<const float*>(c.GetItem(Kiv::kItemPositions));
        for (uint32_t v = 0; v < c.GetVertexCount(); ++v) {
            g.vertices.insert(g.vertices.end(), pos + 3 * v, pos + 3 * v + 3);
            for (uint32_t k = 0; k < sets; ++k) {
                const uint8_t* set = c.GetItem(Kiv::kItemTexCoord0 + static_cast<int>(k));
                float uv[2] = {0, 0};
                if (set) std::memcpy(uv, set + size_t{v} * 8, 8);
                g.vertices.insert(g.vertices.end(), uv, uv + 2);
            }
        }
        g.indices.assign(c.GetIndexArray(), c.GetIndexArray() + c.GetIndexCount());
        if (ColoursWritten(g.version)) {
            g.colours.resize(c.GetVertexCount());
            std::memcpy(g.colours.data(), c.GetItem(Kiv::kItemColor1), g.colours.size() * 4);
            Kiv::Display::ConvertColorArray(g.colours.data(),
                                            c.GetVertexCount());  // its own inverse
        }
        g.faceCount = c.GetFaceCount();
        g.faceNormals.assign(c.GetFaceNormalArray(), c.GetFaceNormalArray() + 3 * c.GetFaceCount());
        if (model && model->neighbours)
            s.neighbours = std::vector<uint32_t>(
                c.GetFaceNeighborArray(), c.GetFaceNeighborArray() + 3 * c.GetNumFaceNeighbors());
        f.subMeshes.push_back(std::move(s));
    }
    if (like.influences) f.influences = def.GetInfluences();
    if (like.skeleton && def.GetSkeleton()) f.skeleton = BoneFrom(*def.GetSkeleton());
    if (like.attachments) f.attachments = def.GetAttachments();
    return f;
}

namespace {

template <typename T>
std::string Numbers(const T* values, size_t n) {
    std::string out = "\"";
    for (size_t k = 0; k < n; ++k) {
        if (k) out += ' ';
        char buffer[32];
        if constexpr (std::is_floating_point_v<T>)
            std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(values[k]));
        else
            std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(values[k]));
        out += buffer;
    }
    return out + "\"";
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string WriteImtxt(const IdxmFile& f) {
    std::string t = "version 1.00\n";
    const float q[4] = {f.orientation.x, f.orientation.y, f.orientation.z, f.orientation.w};
    t += "position " + Numbers(&f.position.x, 3) + "\norientation " + Numbers(q, 4) + "\n";
    t += "weights " + std::to_string(f.skinWeights) + "\nbones " + std::to_string(f.skinBones) +
         "\n";
    for (const IdxmSubMesh& s : f.subMeshes) {
        const IdxmMaterial& m = s.material;
        const IdxmGeometry& g = s.geometry;
        t += "chunk {\n  material {\n    type " + Quoted(m.typeName) + "\n";
        t += "    flag " + std::to_string(m.flag) + "\n    value " + Numbers(&m.value, 1) + "\n";
        const char* names[4] = {"diffuse", "ambient", "specular", "emissive"};
        for (int k = 0; k < 4; ++k) {
            float c[4] = {m.colors[k][0], m.colors[k][1], m.colors[k][2], 1};
            t += std::string("    ") + names[k] + " " + Numbers(c, 4) + "\n";
        }
        t += "    power " + Numbers(&m.power, 1) + "\n";
        for (const auto& [k, v] : m.properties)
            t += "    property { key " + Quoted(k) + " value " + Quoted(v) + " }\n";
        for (const IdxmTexture& tex : m.textures)
            t += "    texture { slot " + std::to_string(tex.slot) + " name " + Quoted(tex.name) +
                 " value " + Numbers(&tex.value, 1) + " }\n";
        t += "  }\n  primitive " + std::to_string(g.flags & 31) + "\n";
        uint32_t n = g.VertexCount(), sets = SetsWritten(g.version) ? g.texSets : 1;
        std::vector<float> pos, uv;
        for (uint32_t v = 0; v < n; ++v) {
            const float* rec = g.vertices.data() + v * (3 + 2 * sets);
            pos.insert(pos.end(), rec, rec + 3);
            uv.insert(uv.end(), rec + 3, rec + 5);
        }
        t += "  positions " + Numbers(pos.data(), pos.size()) + "\n";
        t += "  texcoords " + Numbers(uv.data(), uv.size()) + "\n";
        if (ColoursWritten(g.version))
            t += "  color1 " + Numbers(g.colours.data(), g.colours.size()) + "\n";
        t += "  weightspervertex " + std::to_string(g.weights) + "\n";
        t += "  indices " + Numbers(g.indices.data(), g.indices.size()) + "\n";
        t += "  facenormals " + Numbers(g.faceNormals.data(), g.faceNormals.size()) + "\n}\n";
    }
    if (f.influences)
        for (const MeshInfluence& inf : *f.influences) {
            t += "influence {\n  name " + Quoted(inf.name) + "\n  parent " +
                 Quoted(inf.parentName) + "\n";
            t += "  position " + Numbers(&inf.position.x, 3) + "\n  orientation " +
                 Numbers(inf.orientation.m.data(), 9) + "\n";
            for (const InfluenceGroup& g : inf.groups) {
                std::vector<float> e;
                for (const InfluenceEntry& x : g.entries)
                    e.insert(e.end(), {static_cast<float>(x.vertex), x.weight, x.extra[0],
                                       x.extra[1], x.extra[2]});
                t += "  group { submesh " + std::to_string(g.subMesh) + " entries " +
                     Numbers(e.data(), e.size()) + " }\n";
            }
            t += "}\n";
        }
    if (f.attachments)
        for (const MeshAttachmentPoint& a : *f.attachments) {
            Kiv::Quaternion r = Kiv::Quaternion::FromMatrix(a.orientation);
            const float rq[4] = {r.x, r.y, r.z, r.w};
            t += "attachment { name " + Quoted(a.name.view()) + " position " +
                 Numbers(&a.position.x, 3) + " orientation " + Numbers(rq, 4) + " }\n";
        }
    return t;
}

IdxmSubMesh QuadSubMesh(uint32_t geomVersion, float size) {
    IdxmSubMesh s;
    s.geometry.version = geomVersion;
    s.material.textures.push_back({0, "body.texture", 1.0f});
    s.material.colors = {{{1, 1, 1}, {0.5f, 0.5f, 0.5f}, {0.2f, 0.2f, 0.2f}, {0, 0, 0}}};
    const float quad[4][5] = {
        {0, 0, 0, 0, 0}, {size, 0, 0, 1, 0}, {size, size, 0, 1, 1}, {0, size, 0, 0, 1}};
    for (const auto& v : quad)
        s.geometry.vertices.insert(s.geometry.vertices.end(), v, v + 5);
    s.geometry.indices = {0, 1, 2, 0, 2, 3};
    s.geometry.faceCount = 2;
    s.geometry.faceNormals = {0, 0, 1, 0, 0, 1};
    if (ColoursWritten(geomVersion))
        s.geometry.colours = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0};
    return s;
}

IdxmFile GridMesh(uint32_t n) {
    IdxmFile f;
    // Rows of quads, as many rows a sub-mesh as keep its vertices under 65536 and its
    // triangles within the 32768 a collision tree addresses in one chunk.
    uint32_t rowsPer = std::max<uint32_t>(
        1, std::min(65535 / (2 * (n + 1)) - 1, 32768 / std::max<uint32_t>(1, 2 * n)));
    for (uint32_t row0 = 0; row0 < n; row0 += rowsPer) {
        uint32_t rows = std::min(rowsPer, n - row0);
        IdxmSubMesh s;
        s.material.textures.push_back({0, "grid.texture", 1.0f});
        IdxmGeometry& g = s.geometry;
        g.vertices.reserve(size_t{rows + 1} * (n + 1) * 5);
        for (uint32_t r = 0; r <= rows; ++r)
            for (uint32_t c = 0; c <= n; ++c) {
                float x = static_cast<float>(c), y = static_cast<float>(row0 + r);
                float v[5] = {x, y, 0, x / n, y / n};
                g.vertices.insert(g.vertices.end(), v, v + 5);
            }
        g.indices.reserve(size_t{rows} * n * 6);
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < n; ++c) {
                uint16_t a = static_cast<uint16_t>(r * (n + 1) + c);
                uint16_t b = static_cast<uint16_t>(a + 1), d = static_cast<uint16_t>(a + n + 1),
                         e = static_cast<uint16_t>(a + n + 2);
                uint16_t tri[6] = {a, b, e, a, e, d};
                g.indices.insert(g.indices.end(), tri, tri + 6);
            }
        g.faceCount = static_cast<uint32_t>(g.indices.size() / 3);
        g.faceNormals.assign(size_t{g.faceCount} * 3, 0.0f);
        for (uint32_t k = 0; k < g.faceCount; ++k)
            g.faceNormals[3 * k + 2] = 1;
        f.subMeshes.push_back(std::move(s));
    }
    return f;
}

}  // namespace meshtesting
