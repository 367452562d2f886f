// The four container rules a template attaches to a container under "validation": unique names
// inside the container, a texture file in an accepted form, and, on the asset's root only, a
// "shadow" mesh and a visible mesh in its mesh table.
#include <string>
#include <unordered_map>

#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/file.h"
#include "validation/asset_paths.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"
#include "validation/tag.h"
#include "validation/tag_vocabulary.h"

namespace DUVLib {

namespace {

const Kiv::PString& NameOf(const Container* c) {
    return c->GetName();
}
const Kiv::PString& NameOf(const Tag* t) {
    return t->name;
}

// Reports every later holder of a name already held, ordered as pairs (first holder, later
// one) are met: by the first holder, then by the later one. A holder met by two earlier ones
// gets one finding, as the error handler keeps one text per owner.
template <typename Item, typename Report>
bool UniqueNames(const std::vector<Item*>& items, Report report) {
    std::unordered_map<Kiv::PString, std::vector<size_t>, Kiv::PStringHash> byName;
    std::vector<Kiv::PString> order;
    for (size_t i = 0; i < items.size(); ++i) {
        const Kiv::PString& name = NameOf(items[i]);
        auto [it, made] = byName.try_emplace(name);
        if (made) order.push_back(name);
        it->second.push_back(i);
    }
    bool result = true;
    for (const Kiv::PString& name : order) {
        const std::vector<size_t>& at = byName[name];
        for (size_t k = 1; k < at.size(); ++k) {
            report(items[at[k]], name);
            result = false;
        }
    }
    return result;
}

bool UniqueNamesRule(Container* container, TDBTagRef*) {
    ErrorHandler* h = ErrorHandler::Instance();
    const bool subs = UniqueNames(container->GetSubContainers(), [&](Container* c,
                                                                     const Kiv::PString& name) {
        if (h)
            h->Error(FindingText("$duv_val_duplicatecontainername", {name, container->GetName()}),
                     c);
    });
    const bool tags = UniqueNames(container->GetTags(), [&](Tag* t, const Kiv::PString& name) {
        if (h) h->Error(FindingText("$duv_val_duplicatetagname", {name, container->GetName()}), t);
    });
    return subs && tags;
}

bool HasValidTextureFile(Container* container, TDBTagRef*) {
    ErrorHandler* h = ErrorHandler::Instance();
    DataManager& manager = DataManager::Instance();
    const std::string dataFolder = LocationDataFolder(manager.GetAssetLocation());
    if (!dataFolder.empty()) {
        Kiv::File::Path marked(dataFolder);
        marked.RemoveTrailingSeparator();
        marked.SetExt("ja");
        if (Kiv::File::IsPresent(marked.view())) return true;
    }
    Tag* texture = nullptr;
    for (Tag* t : container->GetTags())
        if (t->name == Voc(TagWord::kTexture) || t->name == Voc(TagWord::kAssetFilename)) {
            texture = t;
            break;
        }
    if (texture == nullptr) {
        if (h) h->Error(LocalisedText("$duv_val_texturefilenotspecified"));
        return false;
    }
    const Kiv::PString lower = texture->value.ToLower();
    const bool inside = StaysInsideAsset(lower.view());
    Kiv::File::Path path = AssetFolderPath();
    path.AddPath(lower.view());
    if (path.IsExt("tga") || path.IsExt("bmp") || path.IsExt("jpg")) {
        const Kiv::PString text = FindingText("$duv_val_texturefilewrongformat", {texture->value});
        if (manager.GetBuild() < 3.49f && inside && Kiv::File::IsPresent(path.view())) {
            if (h) h->Warning(text, texture);
            return true;
        }
        if (h) h->Error(text, texture);
        return false;
    }
    if (inside) {
        path.SetExt("texture");
        if (Kiv::File::IsPresent(path.view())) return true;
        path.SetExt("texture.txt");
        if (Kiv::File::IsPresent(path.view())) return true;
    }
    if (h) h->Error(FindingText("$duv_val_texturefiledne", {texture->value}), texture);
    return false;
}

const Container* MeshTable(const Container* container) {
    for (const Container* sub : container->GetSubContainers())
        if (sub->GetName() == Voc(TagWord::kMeshTable)) return sub;
    return nullptr;
}

bool MeshTableHasShadow(Container* container, TDBTagRef*) {
    if (!container->IsRoot()) return true;
    const Container* table = MeshTable(container);
    if (table == nullptr) return true;
    for (const Container* mesh : table->GetSubContainers())
        if (mesh->GetName() == Voc(TagWord::kShadow)) return true;
    if (ErrorHandler* h = ErrorHandler::Instance())
        h->Warning(LocalisedText("$duv_val_shadow_missing"), container);
    return false;
}

bool MeshTableHasVisibleMesh(Container* container, TDBTagRef*) {
    if (!container->IsRoot()) return true;
    const Container* table = MeshTable(container);
    if (table == nullptr) return true;
    for (const Container* mesh : table->GetSubContainers())
        for (const Tag* t : mesh->GetTags())
            if (t->name == Voc(TagWord::kAutoCreate)) {
                if (t->value != Voc(TagWord::kZero)) return true;
                break;
            }
    if (ErrorHandler* h = ErrorHandler::Instance())
        h->Warning(LocalisedText("$duv_val_no_visible_mesh"), container);
    return false;
}

}  // namespace

const std::vector<ContainerRuleRow>& ContainerRuleTable() {
    static const std::vector<ContainerRuleRow> table = {
        {Kiv::PString("uniquenames"), UniqueNamesRule},
        {Kiv::PString("hasvalidtexturefile"), HasValidTextureFile},
        {Kiv::PString("meshtablehasshadow"), MeshTableHasShadow},
        {Kiv::PString("meshtablehasvisiblemesh"), MeshTableHasVisibleMesh},
    };
    return table;
}

[[maybe_unused]] static const std::vector<ContainerRuleRow>& gContainerRulesBeforeMain =
    ContainerRuleTable();

}  // namespace DUVLib
