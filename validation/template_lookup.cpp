#include "validation/template_lookup.h"

#include <algorithm>

#include "configdata/tdb_container_tag.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/tag_vocabulary.h"

namespace DUVLib {

namespace {

int Hundredths(float value) {
    return static_cast<int>(static_cast<double>(value) * 100.0 + 0.1);
}

TDBTagRef TopLevel(const Kiv::PString& name) {
    return TDBContainerTag::GetContainer(DataManager::Instance().GetTemplates(), name);
}

void MergeEntry(TDBTagRef& into, const Kiv::PString& name, const TDBTagRef& entry) {
    into.EnsureContainer();
    TDBContainerTag::RemoveTag(into, name);
    into->AddChild(name, entry.Copy());
}

void MergeAll(TDBTagRef& into, const TDBTagRef& from) {
    for (uint32_t i = 0, n = TDBContainerTag::CountChildren(from); i < n; ++i) {
        Kiv::PString name;
        TDBTagRef entry;
        if (!from->GetChildAt(i, name, entry) || !IsValidEntry(entry)) continue;
        MergeEntry(into, name, entry);
    }
}

bool OnPath(const std::vector<Kiv::PString>& path, const Kiv::PString& name) {
    return std::find(path.begin(), path.end(), name) != path.end();
}

}  // namespace

bool IsValidEntry(const TDBTagRef& entry) {
    return !entry.IsEmpty() && !entry.IsNullChunk();
}

bool IsBuildAtLeast(float version) {
    return Hundredths(DataManager::Instance().GetBuild()) >= Hundredths(version);
}

TDBTagRef FindKindDefinition(Kiv::PString kind) {
    kind = kind.ToLower();
    DataManager& manager = DataManager::Instance();
    TDBTagRef entry = TDBContainerTag::GetContainer(manager.GetTemplates(), kind);
    if (TDBContainerTag::GetInt(entry, Voc(TagWord::kTopLevel), 0) != 0) return entry;
    manager.LoadTemplates();
    entry = TDBContainerTag::GetContainer(manager.GetTemplates(), kind);
    if (TDBContainerTag::GetInt(entry, Voc(TagWord::kTopLevel), 0) != 0) return entry;
    return {};
}

TDBTagRef FindTagTemplate(const Kiv::PString& name, const TDBTagRef& definition,
                          const std::vector<TDBTagRef>& inherited, Container* check) {
    auto subs = [check](const TDBTagRef& d) {
        return check != nullptr ? check->Subpossibilities(d)
                                : TDBContainerTag::GetContainer(d, Voc(TagWord::kSubpossibilities));
    };
    TDBTagRef entry = TDBContainerTag::GetContainer(subs(definition), name);
    if (IsValidEntry(entry)) return entry;
    if (inherited.empty())
        return TDBContainerTag::GetContainer(definition, Voc(TagWord::kTagarray));
    for (const TDBTagRef& base : inherited) {
        entry = TDBContainerTag::GetContainer(subs(base), name);
        if (IsValidEntry(entry)) return entry;
        entry = TDBContainerTag::GetContainer(base, Voc(TagWord::kTagarray));
        if (IsValidEntry(entry)) return entry;
    }
    return TDBContainerTag::GetContainer(definition, Voc(TagWord::kTagarray));
}

TDBTagRef Container::GetDefinition(const Kiv::PString& typeName) {
    return TopLevel(typeName);
}

TDBTagRef Container::Subpossibilities(const TDBTagRef& definition) {
    auto it = subpossibilityOverlay_.find(definition.Get());
    if (it != subpossibilityOverlay_.end()) return it->second;
    return TDBContainerTag::GetContainer(definition, Voc(TagWord::kSubpossibilities));
}

void Container::MergeInheritedDefinitions(TDBTagRef& subs, TDBTagRef& tagarray, TDBTagRef& elements,
                                          const TDBTagRef& inheritList,
                                          std::vector<Kiv::PString>* path) {
    std::vector<Kiv::PString> own;
    if (path == nullptr) path = &own;
    for (uint32_t i = 0, n = TDBContainerTag::CountChildren(inheritList); i < n; ++i) {
        const Kiv::PString name = TDBContainerTag::GetChildName(inheritList, i);
        inheritedNames_.push_back(name);
        if (OnPath(*path, name)) continue;
        const TDBTagRef base = TopLevel(name);
        path->push_back(name);
        const TDBTagRef baseInherit = TDBContainerTag::GetContainer(base, Voc(TagWord::kInherit));
        if (IsValidEntry(baseInherit))
            MergeInheritedDefinitions(subs, tagarray, elements, baseInherit, path);
        path->pop_back();
        MergeAll(subs, Root()->Subpossibilities(base));
        MergeAll(tagarray, TDBContainerTag::GetContainer(base, Voc(TagWord::kTagarray)));
        const TDBTagRef baseElements =
            TDBContainerTag::GetContainer(base, Voc(TagWord::kArrayElement));
        for (uint32_t j = 0, m = TDBContainerTag::CountChildren(baseElements); j < m; ++j) {
            const Kiv::PString key = TDBContainerTag::GetChildName(baseElements, j);
            TDBContainerTag::SetString(elements, key,
                                       TDBContainerTag::GetString(baseElements, key));
        }
    }
}

void Container::CollectInheritedValidation(TDBTagRef& out, const TDBTagRef& definition,
                                           std::vector<Kiv::PString>* path) {
    std::vector<Kiv::PString> own;
    if (path == nullptr) path = &own;
    const TDBTagRef inherit = TDBContainerTag::GetContainer(definition, Voc(TagWord::kInherit));
    for (uint32_t i = 0, n = TDBContainerTag::CountChildren(inherit); i < n; ++i) {
        const Kiv::PString name = TDBContainerTag::GetChildName(inherit, i);
        if (OnPath(*path, name)) continue;
        const TDBTagRef base = TopLevel(name);
        path->push_back(name);
        if (TDBContainerTag::HasTag(base, Voc(TagWord::kInherit)))
            CollectInheritedValidation(out, base, path);
        path->pop_back();
        MergeAll(out, TDBContainerTag::GetContainer(base, Voc(TagWord::kValidation)));
    }
}

void Container::CollectObsoleteTags(const TDBTagRef& definition) {
    const int build = Hundredths(DataManager::Instance().GetBuild());
    const TDBTagRef obsolete =
        TDBContainerTag::GetContainer(definition, Voc(TagWord::kObsoleteTag));
    for (uint32_t i = 0, n = TDBContainerTag::CountChildren(obsolete); i < n; ++i) {
        Kiv::PString name;
        TDBTagRef entry;
        if (!obsolete->GetChildAt(i, name, entry)) continue;
        const int version =
            Hundredths(TDBContainerTag::GetFloat(entry, Voc(TagWord::kObsoleteVersion), 2.6f));
        if (build >= version) {
            obsolete_.push_back(name);
            continue;
        }
        // For an older asset the tag is an ordinary allowed one. The shared templates stay as
        // they are: the entry goes into this check's own copy of the definition's list.
        const TDBTagRef subs = Subpossibilities(definition);
        if (!IsValidEntry(subs)) continue;
        TDBTagRef& overlay = subpossibilityOverlay_[definition.Get()];
        mergedDefinitions_.clear();  // what the definitions allow has changed
        compulsoryLists_.clear();
        if (overlay.Get() == nullptr) MergeAll(overlay, subs);
        if (IsValidEntry(entry)) MergeEntry(overlay, name, entry);
    }
}

void Container::AddCompulsoryElement(const Kiv::PString& elementType) {
    compulsoryElements_.push_back(TopLevel(elementType));
}

void Container::AddElementDefinition(const Kiv::PString& key, const Kiv::PString& elementType) {
    if (!key.IsEmpty() &&
        std::find(elementKeys_.begin(), elementKeys_.end(), key) != elementKeys_.end())
        return;
    elementKeys_.push_back(key);
    elementDefinitions_.push_back(TopLevel(elementType));
}

}  // namespace DUVLib
