#include "mesh/testing/lod_writer.h"

#include <cstdio>
#include <fstream>

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

std::string WriteLodText(const std::vector<LodLevel>& levels,
                         const std::vector<std::string>& files) {
    std::string text = "version 1.00\nmesh {\n";
    for (size_t k = 0; k < levels.size() && k < files.size(); ++k) {
        const LodLevel& l = levels[k];
        if (l.name.empty()) {
            char distance[32];
            std::snprintf(distance, sizeof distance, "%g", static_cast<double>(l.distance));
            text += std::string("  ") + distance + " { name \"" + files[k] + "\" }\n";
        } else {
            text += "  " + l.name + " { name \"" + files[k] + "\" animated " +
                    (l.animated ? "true" : "false") + " }\n";
        }
    }
    return text + "}\n";
}

std::string WriteLodTextFolder(const std::string& folder, const std::string& name,
                               const std::vector<LodLevel>& levels) {
    std::vector<std::string> files;
    for (size_t k = 0; k < levels.size(); ++k) {
        files.push_back("level" + std::to_string(k) + ".im");
        std::vector<uint8_t> bytes = WriteIdxm(levels[k].mesh);
        std::ofstream out(folder + "/" + files.back(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) return {};
    }
    std::string path = folder + "/" + name + ".lm.txt";
    std::ofstream out(path, std::ios::binary);
    out << WriteLodText(levels, files);
    return out ? path : std::string();
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
