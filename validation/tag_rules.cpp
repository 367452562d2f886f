// The thirteen tag rules a template attaches to a tag under "validation": checks of the value's
// numbers, of its neighbours in the same container, of the asset's kind, of files in the asset
// folder, and of the meshes and lights of enclosing containers. Each reports its own findings
// and answers pass or fail.
//
// Numbers that are not finite ("nan", "inf", "1e999") fail the number rules: a comparison with
// NaN is false either way, so it would otherwise pass every bound.
#include <cmath>
#include <cstdlib>
#include <string>

#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/file.h"
#include "validation/asset_paths.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"
#include "validation/mesh_data.h"
#include "validation/tag.h"
#include "validation/tag_vocabulary.h"

namespace DUVLib {

namespace {

void ErrorOn(Tag* tag, const Kiv::PString& text) {
    if (ErrorHandler* h = ErrorHandler::Instance()) h->Error(text, tag);
}

const std::vector<Tag*>& Siblings(const Tag* tag) {
    static const std::vector<Tag*> none;
    return tag->container != nullptr ? tag->container->GetTags() : none;
}

const Tag* FirstSibling(const Tag* tag, const Kiv::PString& name) {
    for (const Tag* t : Siblings(tag))
        if (t->name == name) return t;
    return nullptr;
}

Kiv::PString Parameter(const TDBTagRef* parameters, TagWord word) {
    return parameters != nullptr ? TDBContainerTag::GetString(*parameters, Voc(word))
                                 : Voc(TagWord::kEmpty);
}

// The container two levels above the tag's owner; null nearer the root.
const Container* Grandparent(const Tag* tag) {
    const Container* owner = tag->container;
    if (owner == nullptr || owner->GetParent() == nullptr) return nullptr;
    return owner->GetParent()->GetParent();
}

bool DataFolderMarked() {
    const std::string folder = LocationDataFolder(DataManager::Instance().GetAssetLocation());
    if (folder.empty()) return false;
    Kiv::File::Path marked(folder);
    marked.RemoveTrailingSeparator();
    marked.SetExt("ja");
    return Kiv::File::IsPresent(marked.view());
}

bool IsTracksideType(Tag* tag, TDBTagRef*) {
    const Tag* type = FirstSibling(tag, Voc(TagWord::kType));
    if (type == nullptr) {
        ErrorOn(tag, FindingText("$duv_val_notype", {tag->name, "type", "trackside"}));
        return false;
    }
    if (type->value == Voc(TagWord::kTrackside)) return true;
    ErrorOn(const_cast<Tag*>(type),
            FindingText("$duv_val_wrongtype", {"type", "trackside", tag->name}));
    return false;
}

bool IsNotTraincar(Tag* tag, TDBTagRef*) {
    const TDBTagRef soup = tag->container != nullptr ? tag->container->GetSoup() : TDBTagRef();
    if (TDBContainerTag::GetString(soup, Voc(TagWord::kKind)) != Voc(TagWord::kTraincar))
        return true;
    if (ErrorHandler* h = ErrorHandler::Instance())
        h->Error(FindingText("$duv_val_not_type", {tag->name, "traincar"}));
    return false;
}

bool NeedCollateMeshes(Tag* tag, TDBTagRef*) {
    if (FirstSibling(tag, Voc(TagWord::kCollateMeshes)) != nullptr) return true;
    ErrorOn(tag, FindingText("$duv_val_nocollatemeshes", {tag->name, "collate-meshes"}));
    return false;
}

bool IsPositive(Tag* tag, TDBTagRef*) {
    if (tag->value.IsEmpty()) return false;
    for (const float n : ParseFloatList(tag->value.view()))
        if (!std::isfinite(n) || n < 0.0f) {
            ErrorOn(tag, FindingText("$duv_val_notpositive", {tag->name}));
            return false;
        }
    return true;
}

bool IsNotZero(Tag* tag, TDBTagRef*) {
    if (tag->value.IsEmpty()) return false;
    for (const float n : ParseFloatList(tag->value.view()))
        if (!std::isfinite(n) || n == 0.0f) {
            ErrorOn(tag, FindingText("$duv_val_notzero", {tag->name}));
            return false;
        }
    return true;
}

bool ScriptFileExists(Tag* tag, TDBTagRef*) {
    if (tag->value.IsEmpty()) return false;
    if (tag->value.view().front() == '/') return true;
    if (DataFolderMarked()) return true;
    const Kiv::PString lower = tag->value.ToLower();
    if (StaysInsideAsset(lower.view())) {
        Kiv::File::Path script = AssetFolderPath();
        script.AddPath(lower.view());
        script.SetExt("gse");
        if (Kiv::File::IsRegularFile(script.view())) return true;
        script.SetExt("gs");
        if (Kiv::File::IsRegularFile(script.view())) return true;
    }
    ErrorOn(tag, FindingText("$duv_val_scriptfiledne", {lower}));
    return false;
}

bool FileExists(Tag* tag, TDBTagRef*) {
    if (tag->value.IsEmpty()) return false;
    DataManager& manager = DataManager::Instance();
    Kiv::File::Path path = AssetFolderPath();
    const Container* owner = tag->container;
    if (owner != nullptr && owner->GetName() == Voc(TagWord::kSound)) {
        // A map's sounds lie in its "sound" folder; the map is told by the asset's own "type".
        const Container* root = owner;
        while (root->GetParent() != nullptr)
            root = root->GetParent();
        if (TDBContainerTag::GetString(root->GetSoup(), Voc(TagWord::kType)) == Voc(TagWord::kMap))
            path.AddPath("sound");
    }
    const Kiv::PString lower = tag->value.ToLower();
    path.AddPath(lower.view());
    if (StaysInsideAsset(lower.view()) && Kiv::File::IsPresent(path.view())) return true;
    const Kiv::PString text = FindingText("$duv_val_file_dne", {tag->value});
    if (ErrorHandler* h = ErrorHandler::Instance()) {
        if (manager.GetBuild() >= 3.4f)
            h->Error(text, tag);
        else
            h->Warning(text, tag);
    }
    return false;
}

bool Range(Tag* tag, TDBTagRef* parameters) {
    if (tag->value.IsEmpty()) return false;
    const double min = std::atof(Parameter(parameters, TagWord::kMin).c_str());
    const double max = std::atof(Parameter(parameters, TagWord::kMax).c_str());
    for (const float n : ParseFloatList(tag->value.view()))
        if (!std::isfinite(n) || n < min || n > max) {
            ErrorOn(tag, FindingText("$duv_val_notwithinrange", {tag->name, min, max}));
            return false;
        }
    return true;
}

bool ArraySize(Tag* tag, TDBTagRef* parameters) {
    if (parameters == nullptr || !TDBContainerTag::HasTag(*parameters, Voc(TagWord::kSize)))
        return false;
    const long size = std::strtol(Parameter(parameters, TagWord::kSize).c_str(), nullptr, 10);
    const int count = size > INT32_MAX   ? INT32_MAX
                      : size < INT32_MIN ? INT32_MIN
                                         : static_cast<int>(size);
    return CheckArraySize(tag, count);
}

bool NotOwnParent(Tag* tag, TDBTagRef*) {
    if (tag->container == nullptr || tag->name != tag->container->GetName()) return true;
    ErrorOn(tag, LocalisedText("$duv_val_notownparent"));
    return false;
}

bool MustBeOwnParent(Tag* tag, TDBTagRef*) {
    const Container* above = Grandparent(tag);
    if (above == nullptr) return false;
    DataManager& manager = DataManager::Instance();
    // Looked up without adding an entry: the registries and the purge walk the map.
    const MeshData* mesh = manager.MeshOf(above);
    if (mesh == nullptr) return false;
    if (mesh->HasAttachmentPoint(tag->value)) return true;
    std::string path = mesh->GetFilePath();
    const size_t prefix = manager.GetAssetFolder().Length();
    if (prefix != 0 && prefix <= path.size()) path.erase(0, prefix);
    ErrorOn(tag, FindingText("$duv_val_mustbeownparent", {tag->value, path}));
    return false;
}

bool MustBeInLightContainer(Tag* tag, TDBTagRef*) {
    std::vector<int> numbers;
    std::string token;
    for (const char c : tag->value.view()) {
        if (c == ' ' || c == ',') {
            numbers.push_back(std::atoi(token.c_str()));
            token.clear();
        } else {
            token += c;
        }
    }
    numbers.push_back(std::atoi(token.c_str()));

    const Container* lights = nullptr;
    if (const Container* above = Grandparent(tag))
        for (const Container* sub : above->GetSubContainers())
            if (sub->GetName() == Voc(TagWord::kLights)) {
                lights = sub;
                break;
            }
    if (lights == nullptr) {
        ErrorOn(tag, LocalisedText("$duv_val_musthavealightcontainer"));
        return false;
    }
    bool result = true;
    for (const int n : numbers) {
        const Kiv::PString name = Kiv::PString::Printf("%d", n);
        bool found = false;
        for (const Container* light : lights->GetSubContainers())
            if (light->GetName() == name) found = true;
        if (!found) {
            ErrorOn(tag, FindingText("$duv_val_mustbeinlightcontainer", {n}));
            result = false;
        }
    }
    return result;
}

bool MustBePaired(Tag* tag, TDBTagRef* parameters) {
    if (tag->name == Voc(TagWord::kInitialCount) && tag->value == Voc(TagWord::kZero)) return true;
    const Kiv::PString first = Parameter(parameters, TagWord::kZero);
    const Kiv::PString second = Parameter(parameters, TagWord::kOne);
    bool foundFirst = false, foundSecond = false;
    for (const Tag* t : Siblings(tag)) {
        if (t->name == first)
            foundFirst = true;
        else if (t->name == second)
            foundSecond = true;
    }
    if (!foundFirst) ErrorOn(tag, FindingText("$duv_val_mustbepaired", {second, first}));
    if (!foundSecond) ErrorOn(tag, FindingText("$duv_val_mustbepaired", {first, second}));
    return foundFirst && foundSecond;
}

}  // namespace

const std::vector<TagRuleRow>& TagRuleTable() {
    static const std::vector<TagRuleRow> table = {
        {Kiv::PString("istracksidetype"), IsTracksideType},
        {Kiv::PString("isnottraincar"), IsNotTraincar},
        {Kiv::PString("needcollatemeshes"), NeedCollateMeshes},
        {Kiv::PString("ispositive"), IsPositive},
        {Kiv::PString("isnotzero"), IsNotZero},
        {Kiv::PString("scriptfileexists"), ScriptFileExists},
        {Kiv::PString("fileexists"), FileExists},
        {Kiv::PString("range"), Range},
        {Kiv::PString("arraysize"), ArraySize},
        {Kiv::PString("notownparent"), NotOwnParent},
        {Kiv::PString("mustbeownparent"), MustBeOwnParent},
        {Kiv::PString("mustbeinlightcontainer"), MustBeInLightContainer},
        {Kiv::PString("mustbepaired"), MustBePaired},
    };
    return table;
}

// Made before main(), as the other constant tables.
[[maybe_unused]] static const std::vector<TagRuleRow>& gTagRulesBeforeMain = TagRuleTable();

}  // namespace DUVLib
