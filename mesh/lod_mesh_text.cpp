// The LOD mesh text form (".lm.txt"): the meshes of each level and their start distances, the
// named special meshes and the view settings, in the engine's configuration syntax
// (platform/kiv/base/config_parser.h):
//
//   version 1.00
//   mesh {
//     0     { name "near.im" }              a key of digits and '.' is a start distance
//     50.5  { name "far.imtxt" }            (the empty key too, as distance 0)
//     collision { name "hull.im" animated false }   any other key names a mesh
//   }
//   offset 0  multiplier 1  animationCutOff 0  renderCutOff 0  attachmentCutOff 0
//   calcPoint center                        center, near or far (any letter case)
//
// Mesh files are found relative to the text's folder. Keys the form does not know are passed
// over.
#include <cstdlib>

#include "mesh/lod_mesh_definition.h"
#include "platform/kiv/base/path.h"

namespace {

bool IsDistanceKey(std::string_view key) {
    return key.find_first_not_of("1234567890.") == std::string_view::npos;
}

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The mesh file an entry names, as the resource system finds it: '\' as '/', relative to the
// folder of the text.
std::string ConvertResourceName(std::string_view folder, std::string_view name) {
    Kiv::File::Path path(name);
    path.Normalize();
    if (Kiv::File::Path::IsAbsolute(path.view()) || folder.empty()) return path.str();
    Kiv::File::Path full(folder);
    full.AddPath(path.view());
    return full.str();
}

}  // namespace

uint32_t HalvexIndexedMeshLODDefinition::LoadText(std::string_view path, Kiv::Display* display,
                                                  Kiv::MaterialManager* materials,
                                                  const MeshLoadArgs& args) {
    if (uint32_t r = TakeOwner(display, materials, args)) return r;
    lodHardwareAnimation_ = displaySkinning_;
    name_ = Kiv::PString(path);

    Kiv::ConfigParser parser;
    if (parser.Parse(path) != Kiv::ConfigParser::kOk) return RES_FILE_OPEN_ERROR;
    if (static_cast<int>(parser.GetVersion() * 100.0f) != 100) return RES_FILE_VERSION_ERROR;
    const Kiv::ConfigData& tree = parser.GetData();
    const Kiv::ConfigData* meshes = tree.Find("mesh");
    if (meshes == nullptr || !meshes->IsGroup() || meshes->GetNumChildren() == 0)
        return RES_FILE_FORMAT_ERROR;

    records_.clear();
    distances_.clear();
    namedMeshes_.clear();
    bones_.clear();
    std::string folder(Kiv::File::Path(path).GetFolder());
    auto loadMesh = [&](const Kiv::ConfigData& entry, bool first) -> uint32_t {
        HalvexIndexedMeshDefinition mesh(config_);
        std::string file = ConvertResourceName(folder, entry.GetString("name"));
        uint32_t r;
        if (Kiv::File::Path(file).IsExt("imtxt")) {
            r = mesh.LoadConfigFile(file, display, materials, args);
        } else {
            r = mesh.OpenFile(file) ? mesh.Load(display, materials, args) : RES_FILE_OPEN_ERROR;
        }
        return r != kMeshOk ? r : AppendMesh(mesh, first);
    };

    // First the distance-selected levels, in the text's order, distances rising.
    for (const Kiv::ConfigData& entry : meshes->GetChildren()) {
        if (!IsDistanceKey(entry.GetKey())) continue;
        float distance = static_cast<float>(std::strtod(entry.GetKey().c_str(), nullptr));
        if (!distances_.empty() && !(distance > distances_.back())) return RES_FILE_FORMAT_ERROR;
        if (uint32_t r = loadMesh(entry, records_.empty())) return r;
        distances_.push_back(distance);
    }
    // A LOD mesh holds at least one distance-selected mesh: its binary file could not be read
    // back without one.
    if (distances_.empty()) return RES_FILE_FORMAT_ERROR;
    // Then the named meshes, after them.
    for (const Kiv::ConfigData& entry : meshes->GetChildren()) {
        if (IsDistanceKey(entry.GetKey())) continue;
        uint32_t index = static_cast<uint32_t>(records_.size());
        if (uint32_t r = loadMesh(entry, records_.empty())) return r;
        namedMeshes_.push_back(
            {Kiv::PString(LowerAscii(entry.GetKey())), index, entry.GetBool("animated", false)});
    }

    offset_ = tree.GetFloat("offset", 0.0f);
    multiplier_ = tree.GetFloat("multiplier", 1.0f);
    animationCutOff_ = tree.GetFloat("animationCutOff", 0.0f);
    renderCutOff_ = tree.GetFloat("renderCutOff", 0.0f);
    attachmentCutOff_ = tree.GetFloat("attachmentCutOff", 0.0f);
    std::string point = LowerAscii(tree.GetString("calcPoint", "center"));
    calcPoint_ = point == "near" ? kNear : point == "far" ? kFar : kCentre;

    AdoptLastLevel();
    SortCullAttachments();
    return kMeshOk;
}
