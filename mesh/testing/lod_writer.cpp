#include "mesh/testing/lod_writer.h"

namespace meshtesting {

namespace {

struct DefaultEnv {
    Kiv::Display display;
    Kiv::MaterialManager materials;
    DefaultEnv() { materials.RegisterType("m.onetex"); }
};

MeshInfluence Bone(std::string name, std::string parent, std::vector<InfluenceGroup> groups) {
    MeshInfluence inf;
    inf.name = std::move(name);
    inf.parentName = std::move(parent);
    inf.position = {0, 1, 0};
    inf.groups = std::move(groups);
    return inf;
}

}  // namespace

uint32_t BuildLod(const std::vector<LodLevel>& levels, HalvexIndexedMeshLODDefinition& out,
                  Kiv::Display* display, Kiv::MaterialManager* materials) {
    DefaultEnv env;
    if (display == nullptr) display = &env.display;
    if (materials == nullptr) materials = &env.materials;
    uint32_t lod = 0;
    for (size_t k = 0; k < levels.size(); ++k) {
        HalvexIndexedMeshDefinition mesh;
        mesh.OpenBytes(WriteIdxm(levels[k].mesh), "meshes/level.im");
        if (uint32_t r = mesh.Load(display, materials)) return r;
        if (uint32_t r = out.AppendMesh(mesh, k == 0)) return r;
        if (levels[k].name.empty())
            out.SetDistance(lod++, levels[k].distance);
        else
            out.AddNamedMesh(Kiv::PString(levels[k].name), static_cast<uint32_t>(k),
                             levels[k].animated);
    }
    out.SortCullAttachments();
    out.AdoptLastLevel();
    return kMeshOk;
}

std::vector<uint8_t> WriteLodm(const std::vector<LodLevel>& levels) {
    HalvexIndexedMeshLODDefinition def;
    if (BuildLod(levels, def) != kMeshOk) return {};
    Kiv::MeshOutput out;
    if (def.Write(out) != kMeshOk) return {};
    return out.Take();
}

std::vector<LodLevel> SampleLod(bool skinned) {
    std::vector<LodLevel> levels(3);
    float sizes[3] = {2.0f, 1.0f, 3.0f};
    for (size_t k = 0; k < 3; ++k) {
        IdxmFile& f = levels[k].mesh;
        f.subMeshes.push_back(QuadSubMesh(201, sizes[k]));
        f.subMeshes[0].neighbours =
            std::vector<uint32_t>{1, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0xFFFFFFFF};
        f.attachments = std::vector<MeshAttachmentPoint>(2);
        (*f.attachments)[0].name = Kiv::PString("a.lamp:Cull");
        (*f.attachments)[0].position = {1, 2, 3};
        (*f.attachments)[1].name = Kiv::PString("p.coupler");
        if (skinned) {
            f.skinWeights = 2;
            f.skinBones = 2;
            f.subMeshes[0].geometry.weights = 2;
            f.influences = std::vector<MeshInfluence>{
                Bone("root", "", {{0, {{0, 1.0f, {}}, {1, 0.5f, {1, 2, 3}}, {2, 0.25f, {}}}}}),
                Bone("arm", "root", {{0, {{1, 0.5f, {}}, {3, 1.0f, {}}}}})};
        }
    }
    levels[0].distance = 0;
    levels[1].distance = 50;
    levels[2].name = "collision";
    return levels;
}

}  // namespace meshtesting
