// The container's smaller operations: attaching and running the container rules a template's
// "validation" names, the choice-list checks of list-valued tags, the lookups of sub-container
// templates, and the bookkeeping of its tags, sub-containers and extensions.
#include <cstdlib>
#include <string>

#include "configdata/tdb_container_tag.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"
#include "validation/tag.h"
#include "validation/tag_vocabulary.h"
#include "validation/template_lookup.h"

namespace DUVLib {

namespace {

const List* SourceList(const TDBTagRef& entry) {
    return DataManager::Instance().GetList(
        TDBContainerTag::GetString(entry, Voc(TagWord::kSource)));
}

bool Listed(const List& list, std::string_view word) {
    const Kiv::PString probe(word);
    for (const ListEntry& e : list)
        if (e.key.EqualsIgnoreCase(probe)) return true;
    return false;
}

bool IsContainerEntry(const TDBTagRef& entry) {
    return IsValidEntry(entry) && entry->GetType() == kTagContainer;
}

}  // namespace

void Container::SetupContainerRules(const TDBTagRef& entry, Container* container) {
    TDBTagRef validation = TDBContainerTag::GetContainer(entry, Voc(TagWord::kValidation));
    // The inherited entries are merged into a copy, never into the shared templates.
    TDBTagRef merged;
    for (uint32_t i = 0, n = TDBContainerTag::CountChildren(validation); i < n; ++i) {
        Kiv::PString name;
        TDBTagRef child;
        if (validation->GetChildAt(i, name, child) && child.Get() != nullptr) {
            merged.EnsureContainer();
            merged->AddChild(name, child);
        }
    }
    CollectInheritedValidation(merged, entry);
    const std::vector<ContainerRuleRow>& table = ContainerRuleTable();
    for (uint32_t i = 0, n = TDBContainerTag::CountChildren(merged); i < n; ++i) {
        Kiv::PString name;
        TDBTagRef child;
        if (!merged->GetChildAt(i, name, child)) continue;
        for (const ContainerRuleRow& row : table)
            if (row.name == name) container->AddContainerRule(row.rule, child);
    }
}

void Container::AddContainerRule(ContainerRule rule, const TDBTagRef& parameters) {
    ruleFunctions_.push_back(rule);
    ruleParameters_.push_back(parameters);
}

bool Container::RunContainerRules() {
    bool result = true;
    for (size_t i = 0; i < ruleFunctions_.size(); ++i)
        if (!ruleFunctions_[i](this, &ruleParameters_[i])) result = false;
    return result;
}

bool Container::IsComboboxPossibility(const Kiv::PString& value, const TDBTagRef& entry) {
    const List* list = SourceList(entry);
    return list != nullptr && !list->empty() && Listed(*list, value.view());
}

bool Container::IsIntComboboxPossibility(const Kiv::PString& value, const TDBTagRef& entry) {
    return IsComboboxPossibility(value, entry);
}

bool Container::IsListboxPossibility(const Kiv::PString& value, const TDBTagRef& entry) {
    const List* list = SourceList(entry);
    if (list == nullptr || list->empty()) return false;
    const std::string_view text = value.view();
    size_t start = 0;
    while (true) {
        const size_t end = text.find(';', start);
        if (Listed(*list, text.substr(start, end == std::string_view::npos ? end : end - start)))
            return true;
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
}

TDBTagRef Container::FindSubTemplate(const TDBTagRef& entry, const Kiv::PString& name) {
    const TDBTagRef subs = Root()->Subpossibilities(entry);
    TDBTagRef found = TDBContainerTag::GetContainer(subs, name);
    if (IsContainerEntry(found)) return found;
    if (TDBContainerTag::HasTag(entry, Voc(TagWord::kArrayElement)))
        return TDBContainerTag::GetContainer(entry, Voc(TagWord::kArrayElement));
    if (name == Voc(TagWord::kZero) || std::atoi(name.c_str()) != 0) {
        for (uint32_t i = 0, n = TDBContainerTag::CountChildren(subs); i < n; ++i) {
            const TDBTagRef child = TDBContainerTag::GetContainerAt(subs, i);
            if (TDBContainerTag::GetInt(child, Voc(TagWord::kNumarray), 0) != 0) return child;
        }
    }
    return {};
}

bool Container::FindContainerTemplate(const TDBTagRef& entry, const Kiv::PString& name,
                                      Container* container, TDBTagRef& out) {
    out = FindSubTemplate(entry, name);
    if (IsContainerEntry(out)) return true;
    const std::string_view text = name.view();
    if (text.substr(0, 13) == "string-table-") {
        out = FindSubTemplate(entry, Voc(TagWord::kStringTable));
        return IsContainerEntry(out);
    }
    if (text.substr(0, 5) == "smoke") {
        out = GetDefinition(Voc(TagWord::kSmoke));
        if (IsValidEntry(out)) return true;
        if (ErrorHandler* handler = ErrorHandler::Instance())
            handler->Error(LocalisedText("$duv_container_nosmoke"), container);
        return false;
    }
    return false;
}

Kiv::PString Container::GetContainerType(const TDBTagRef& entry, const Kiv::PString& text) {
    const uint32_t n = TDBContainerTag::CountChildren(entry);
    for (uint32_t i = 0; i < n; ++i) {
        const Kiv::PString value =
            TDBContainerTag::GetString(entry, Kiv::PString::Printf("container-type%u", i));
        if (value.view().find(text.view()) != std::string_view::npos) {
            if (value.IsEmpty()) break;
            return value;
        }
    }
    return TDBContainerTag::GetString(entry, Voc(TagWord::kContainerType0));
}

const Container::CompulsoryLists& Container::CompulsoryOf(const TDBTagRef& definition) {
    Container* root = Root();
    auto [it, made] = root->compulsoryLists_.try_emplace(definition.Get());
    if (!made) return it->second;
    const TDBTagRef subs = root->Subpossibilities(definition);
    for (uint32_t i = 0, n = TDBContainerTag::CountChildren(subs); i < n; ++i) {
        Kiv::PString name;
        TDBTagRef child;
        if (!subs->GetChildAt(i, name, child)) continue;
        const float compulsory = TDBContainerTag::GetFloat(child, Voc(TagWord::kCompulsory), 0.0f);
        if (!(compulsory > 0.0f)) continue;
        const bool typed = !TDBContainerTag::GetString(child, Voc(TagWord::kElementType)).IsEmpty();
        (typed ? it->second.typed : it->second.plain).emplace_back(name, compulsory);
    }
    return it->second;
}

void Container::GetCompulsoryPlainElements(const TDBTagRef& definition, CompulsoryMap& map) {
    for (const auto& [name, version] : CompulsoryOf(definition).plain)
        map[name] = version;
}

void Container::GetCompulsoryTypedElements(const TDBTagRef& definition, CompulsoryMap& map) {
    for (const auto& [name, version] : CompulsoryOf(definition).typed)
        map[name] = version;
}

void Container::AddTag(Tag* tag) {
    tagNames_.insert(tag->name);
    // Only names of the two lengths can match; the others need no lower-case form.
    const size_t length = tag->name.Length();
    const bool head =
        (length == 4 || length == 8) && (tag->name.ToLower() == Voc(TagWord::kKuid) ||
                                         tag->name.ToLower() == Voc(TagWord::kUsername));
    if (head)
        headTags_.push_back(tag);
    else
        tags_.push_back(tag);
}

void Container::MoveHeadTagsToFront() {
    tags_.insert(tags_.begin(), headTags_.begin(), headTags_.end());
    headTags_.clear();
}

void Container::SetExtensions(const TDBTagRef& soup) {
    extensions_ = std::make_unique<TDBTagRef>(TDBContainerTag::Clone(soup));
}

void Container::AddSubContainer(Container* container) {
    subContainers_.push_back(container);
}

}  // namespace DUVLib
