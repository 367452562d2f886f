// Writes the seed corpora of the mesh fuzz targets (fuzz/corpus/mesh_*) from the fixture
// writers: run by hand when the formats grow, its output committed.
//
//   write_mesh_seeds <fuzz/corpus folder>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/tbuffer.h"
#include "mesh/testing/idxm_writer.h"
#include "mesh/testing/lod_writer.h"
#include "mesh/world_list.h"

using namespace meshtesting;

namespace {

bool Save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// An item that saves and loads two words.
class Pair : public WorldListItem {
public:
    uint32_t GetTypeCode() const override { return kSavedType; }
    void Save(TStream& s) override {
        s.WriteU32(1u);
        s.WriteU32(2u);
    }
    void WriteState(TStream& s) override { Save(s); }
    void WriteSecond(TStream& s) override { s.WriteU32(3u); }
};

std::vector<uint8_t> BytesOf(const TBuffer& b) {
    return std::vector<uint8_t>(b.GetData(), b.GetData() + b.GetDataLength());
}

IdxmFile Quad(uint32_t info = 102, uint32_t geom = 201) {
    IdxmFile f;
    f.infoVersion = info;
    f.subMeshes.push_back(QuadSubMesh(geom));
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_mesh_seeds <corpus folder>\n");
        return 2;
    }
    std::string root = argv[1];
    bool ok = true;
    auto idxm = [&](const std::string& name, const IdxmFile& f) {
        ok &= Save(root + "/mesh_idxm/" + name, WriteIdxm(f));
        ok &= Save(root + "/mesh_instances/idxm_" + name, WriteIdxm(f));
    };
    for (uint32_t v : {100u, 101u, 102u, 103u, 104u})
        idxm("info_" + std::to_string(v), Quad(v));
    for (uint32_t v : {101u, 102u, 103u, 104u, 150u, 200u, 201u})
        idxm("geom_" + std::to_string(v), Quad(102, v));
    {
        IdxmFile f = Quad();
        f.subMeshes[0].material.version = 102;
        f.subMeshes[0].material.properties = {{"shine", "yes"}};
        f.subMeshes[0].neighbours = std::vector<uint32_t>{1, 0, 0, 0, 1, 1};
        f.subMeshes.push_back(QuadSubMesh(201, 2));
        f.attachments = std::vector<MeshAttachmentPoint>(1);
        (*f.attachments)[0].name = Kiv::PString("a.light");
        idxm("matl102_ninf_atch", f);
    }
    {
        IdxmFile f = Quad();
        f.skinWeights = f.skinBones = 2;
        f.subMeshes[0].geometry.weights = 2;
        MeshInfluence a, b;
        a.name = "root";
        a.groups = {{0, {{0, 1.0f, {}}, {1, 0.5f, {}}}}};
        b.name = "arm";
        b.parentName = "root";
        b.groups = {{0, {{1, 0.5f, {}}}}};
        f.influences = std::vector<MeshInfluence>{a, b};
        idxm("infl", f);
        std::string text = WriteImtxt(f);
        ok &= Save(root + "/mesh_lod_text/imtxt_skinned",
                   std::vector<uint8_t>(text.begin(), text.end()));
        f.skinWeights = 1;
        f.subMeshes[0].geometry.weights = 1;
        idxm("infl_one_weight", f);
    }
    {
        IdxmFile f = Quad();
        f.skeleton = IdxmBone{"root", {}, {}, {{"arm", {1, 0, 0}, {}, {{"hand", {}, {}, {}}}}}};
        idxm("skel", f);
    }
    idxm("grid", GridMesh(6));
    {
        // A small quad far along x: its collision tree's boxes cannot hold it on the shared
        // scale, so queries walk every node.
        IdxmFile f = Quad();
        std::vector<float>& v = f.subMeshes[0].geometry.vertices;
        for (size_t i = 0; i + 2 < v.size(); i += 5) {
            v[i] = 1000 + v[i] * 0.001f;
            v[i + 1] = 0.015f + v[i + 1] * 0.001f;
        }
        idxm("far_small", f);
    }

    auto pm = [&](const std::string& name, std::optional<IdxmProgressive> tables) {
        IdxmFile f = Quad();
        f.attachments = std::vector<MeshAttachmentPoint>(1);
        (*f.attachments)[0].name = Kiv::PString("a.lamp");
        f.progressive = std::move(tables);
        ok &= Save(root + "/mesh_progressive/" + name, WriteIdxm(f));
        ok &= Save(root + "/mesh_instances/pm_" + name, WriteIdxm(f));
    };
    pm("tables", SampleProgressive());
    pm("empty_tables", IdxmProgressive{});
    pm("no_pmin", std::nullopt);
    {
        IdxmProgressive past = SampleProgressive();
        past.level1 = {3};
        past.level3[2][3] = 4;
        pm("runs_past", past);
    }

    auto lodm = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        ok &= !bytes.empty() && Save(root + "/mesh_lodm/" + name, bytes) &&
              Save(root + "/mesh_instances/lodm_" + name, bytes);
    };
    lodm("plain", WriteLodm(SampleLod(false)));
    lodm("skinned", WriteLodm(SampleLod(true)));
    {
        auto levels = SampleLod(false);
        for (auto& l : levels)
            l.mesh.skeleton = IdxmBone{"root", {}, {}, {{"arm", {1, 0, 0}, {}, {}}}};
        lodm("bone_tree", WriteLodm(levels));
        levels.resize(1);
        lodm("one_level", WriteLodm(levels));
    }
    {
        WorldList list;
        Pair a, b, c;
        list.Add(&a);
        list.Add(&b);
        list.Put(&c, 9);
        list.SetListValue(77);
        TBuffer saved, selective, empty;
        list.Save(saved);
        list.SelectiveSave(selective, 0, 0);
        WorldList().Save(empty);
        ok &= Save(root + "/world_list/saved", BytesOf(saved));
        ok &= Save(root + "/world_list/selective", BytesOf(selective));
        ok &= Save(root + "/world_list/empty", BytesOf(empty));
        list.Remove(&a);
        list.Remove(&b);
        list.Remove(&c);
    }
    return ok ? 0 : 1;
}
