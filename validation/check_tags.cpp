// The tag-by-tag check of one configuration soup against its definition, and the handling of
// the container tags in it: each plain tag is found its template entry and made a Tag; each
// container tag is made a sub-container object of the form its entry describes and checked by
// the same walk, one level deeper.
#include <algorithm>
#include <cstdio>
#include <string>

#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"
#include "validation/tag.h"
#include "validation/tag_vocabulary.h"
#include "validation/template_lookup.h"

namespace DUVLib {

namespace {

ErrorHandler& Handler() {
    ErrorHandler* handler = ErrorHandler::Instance();
    if (handler == nullptr) FatalError("DUVLib::ErrorHandler> error handler not initialised");
    return *handler;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The name whose entry a numbered tag may share: "track12" and "track123" look up "track10",
// "ab1" looks up "ab0"; empty when the name has no such form.
std::string SequenceCandidate(std::string_view name) {
    const size_t k = name.size();
    if (k > 3 && IsDigit(name[k - 1]) && IsDigit(name[k - 2]))
        return std::string(name.substr(0, k - 2)) + "0";
    if (k > 2 && IsDigit(name[k - 1])) return std::string(name.substr(0, k - 1)) + "0";
    return {};
}

bool IsParticleRateTag(const Kiv::PString& name) {
    static const Kiv::PString names[] = {Kiv::PString("lifetime"), Kiv::PString("maxsize"),
                                         Kiv::PString("minsize"), Kiv::PString("rate"),
                                         Kiv::PString("velocity")};
    for (const Kiv::PString& n : names)
        if (n == name) return true;
    return false;
}

const Kiv::PString& FileWord() {
    static const Kiv::PString word("file");
    return word;
}

}  // namespace

bool Container::CheckTags(TDBTagRef soup, TDBTagRef definition, Container* container) {
    ErrorHandler& handler = Handler();
    const bool notices = handler.WantsNotices();

    std::vector<TDBTagRef> inherited;
    const TDBTagRef inherit = TDBContainerTag::GetContainer(definition, Voc(TagWord::kInherit));
    for (uint32_t i = 0, n = TDBContainerTag::CountChildren(inherit); i < n; ++i)
        inherited.push_back(GetDefinition(TDBContainerTag::GetChildName(inherit, i)));

    CompulsoryMap compulsoryTags;
    CompulsoryMap compulsoryContainers;
    GetCompulsoryPlainElements(definition, compulsoryTags);
    GetCompulsoryTypedElements(definition, compulsoryContainers);
    for (const TDBTagRef& base : inherited) {
        GetCompulsoryPlainElements(base, compulsoryTags);
        GetCompulsoryTypedElements(base, compulsoryContainers);
    }
    CollectObsoleteTags(definition);
    for (const TDBTagRef& base : inherited)
        CollectObsoleteTags(base);

    int counter = 0;
    const uint32_t n = TDBContainerTag::CountChildren(soup);
    for (uint32_t i = 0; i < n; ++i) {
        Kiv::PString name;
        TDBTagRef child;
        if (!soup->GetChildAt(i, name, child)) continue;
        if (notices)
            handler.ExportNotice(Kiv::PString::Printf("we're now doing the tag: %s", name.c_str()),
                                 container);

        if (child.Get() != nullptr && child->GetType() == kTagContainer) {
            if (!CheckContainerTag(soup, i, name, definition, inherited, container,
                                   compulsoryContainers, counter))
                return false;
            continue;
        }

        compulsoryTags.erase(name);
        Kiv::PString lookup = name;
        const std::string_view text = name.view();
        if (text.substr(0, 12) == "description-")
            lookup = Voc(TagWord::kDescription);
        else if (text.substr(0, 9) == "username-")
            lookup = Voc(TagWord::kUsername);

        TDBTagRef entry = FindTagTemplate(lookup, definition, inherited, this);
        if (!IsValidEntry(entry)) {
            const std::string candidate = SequenceCandidate(lookup.view());
            if (!candidate.empty()) {
                entry = FindTagTemplate(Kiv::PString(candidate), definition, inherited, this);
                static const Kiv::PString kSequence("sequence");
                if (TDBContainerTag::GetInt(entry, kSequence, 0) == 0) entry = TDBTagRef();
            }
        }

        valueHint_ = ValueHint{soup.Get(), name, child};
        Tag* tag = TypeSpecification(container, name, entry, soup);
        valueHint_ = ValueHint{};
        if (tag != nullptr) {
            tag->SetupValidators(entry);
            container->AddTag(tag);
        }
    }

    for (const auto& [missing, version] : compulsoryTags) {
        const TDBTagRef entry = FindTagTemplate(missing, definition, inherited, this);
        if (IsParticleRateTag(missing)) {
            bool hasFile = false;
            for (const Tag* t : container->GetTags())
                hasFile |= t->name == FileWord();
            if (hasFile) continue;
        }
        if (IsBuildAtLeast(version)) {
            Tag* tag = TypeSpecification(container, missing, entry, soup);
            if (tag != nullptr) {
                tag->SetupValidators(entry);
                handler.Error(FindingText("$duv_container_missingtag", {tag->name}), tag);
                container->AddTag(tag);
            } else {
                // The definition's set-up made this compulsory tag already: report it there.
                for (const std::vector<Tag*>* list :
                     {&container->GetTags(), &container->GetHeadTags()})
                    for (Tag* made : *list)
                        if (made->name == missing)
                            handler.Error(FindingText("$duv_container_missingtag", {made->name}),
                                          made);
            }
        } else {
            handler.Warning(FindingText("$duv_container_missingtag", {missing}));
        }
    }

    for (const auto& [missing, version] : compulsoryContainers) {
        const Kiv::PString text = FindingText("$duv_container_missingcontainer", {missing});
        if (IsBuildAtLeast(version))
            handler.Error(text);
        else
            handler.Warning(text);
    }

    MoveHeadTagsToFront();
    return true;
}

bool Container::CheckContainerTag(const TDBTagRef& soup, uint32_t index, const Kiv::PString& name,
                                  const TDBTagRef& definition,
                                  const std::vector<TDBTagRef>& inherited, Container* container,
                                  CompulsoryMap& compulsoryContainers, int& counter) {
    ErrorHandler& handler = Handler();
    DataManager& manager = DataManager::Instance();

    TDBTagRef entry;
    bool found = FindContainerTemplate(definition, name, container, entry);
    for (size_t k = 0; !found && k < inherited.size(); ++k)
        if (IsValidEntry(inherited[k]))
            found = FindContainerTemplate(inherited[k], name, container, entry);

    if (!found) {
        if (!inherited.empty() &&
            std::find(obsolete_.begin(), obsolete_.end(), name) != obsolete_.end())
            handler.Warning(
                FindingText("$duv_container_obsoletetag", {name, container->GetName()}));
        else
            handler.Error(FindingText("$duv_container_nodefinition", {name, container->GetName()}),
                          container);
        if (name == Voc(TagWord::kDotCache))
            handler.Error(LocalisedText("$duv_container_oldcontainer"));
        return true;
    }

    // A configuration nested beyond the walk's depth is reported once and not descended into.
    if (depth_ >= kMaxCheckDepth) {
        handler.Error(FindingText("$duv_container_toodeep", {name, kMaxCheckDepth}));
        return true;
    }

    const Kiv::PString kind = TDBContainerTag::GetString(entry, Voc(TagWord::kKind));
    const TDBTagRef sub = TDBContainerTag::GetContainerAt(soup, index);
    struct Descend {
        int& depth;
        explicit Descend(int& d) : depth(d) { ++depth; }
        ~Descend() { --depth; }
    };

    if (TDBContainerTag::HasTag(entry, Voc(TagWord::kContainerType0))) {
        const Kiv::PString subKind = TDBContainerTag::GetString(sub, Voc(TagWord::kKind));
        const Kiv::PString type = GetContainerType(entry, subKind);
        if (handler.WantsNotices())
            handler.ExportNotice(Kiv::PString::Printf("we're now up to %s", type.c_str()),
                                 container);
        Container* made = CreateSubContainer(name, container, type, counter++, soup);
        if (made == nullptr) return false;
        manager.AddToNameRegistry(made->GetParent()->GetName(), made);
        const TDBTagRef subDefinition = GetDefinition(type);
        made->SetSoup(sub);
        made->SetupDefinition(subDefinition, true);
        SetupContainerRules(subDefinition, made);
        container->AddSubContainer(made);
        Descend d(depth_);
        return CheckTags(sub, subDefinition, made);
    }

    if (kind == Voc(TagWord::kElement)) {
        compulsoryContainers.erase(name);
        const Kiv::PString type = TDBContainerTag::GetString(entry, Voc(TagWord::kElementType));
        Container* made = CreateSubContainer(name, container, type, counter++, soup);
        if (made == nullptr) return false;
        const TDBTagRef subDefinition = GetDefinition(type);
        if (!IsValidEntry(subDefinition)) {
            handler.Error(FindingText("$duv_container_nocontainerdefinition", {name}), made);
            // Nothing else owns it; the root keeps it until it is destroyed itself.
            orphans_.emplace_back(made);
            return false;
        }
        made->SetSoup(sub);
        const TDBTagRef elements =
            TDBContainerTag::GetContainer(subDefinition, Voc(TagWord::kArrayElement));
        if (TDBContainerTag::HasTag(subDefinition, Voc(TagWord::kArrayElement))) {
            const uint32_t count = TDBContainerTag::CountChildren(elements);
            for (uint32_t j = 0; j < count; ++j) {
                const Kiv::PString elementType = TDBContainerTag::GetString(
                    elements, Kiv::PString::Printf("container-type%u", j));
                if (!elementType.IsEmpty())
                    made->AddElementDefinition(Voc(TagWord::kEmpty), elementType);
            }
        }
        if (TDBContainerTag::HasTag(subDefinition, Voc(TagWord::kTagarray)))
            made->SetTagArrayTemplate(
                TDBContainerTag::GetContainer(subDefinition, Voc(TagWord::kTagarray)));
        if (TDBContainerTag::HasTag(subDefinition, Voc(TagWord::kSubpossibilities)))
            made->SetupDefinition(subDefinition, true);
        SetupContainerRules(subDefinition, made);
        container->AddSubContainer(made);
        Descend d(depth_);
        return CheckTags(sub, subDefinition, made);
    }

    if (TDBContainerTag::GetString(entry, Voc(TagWord::kIcon)) == Voc(TagWord::kSmoke)) {
        Container* made =
            CreateSubContainer(name, container, Voc(TagWord::kSmoke), counter++, soup);
        if (made == nullptr) return false;
        made->SetSoup(sub);
        made->SetupDefinition(entry, true);
        SetupContainerRules(entry, made);
        container->AddSubContainer(made);
        Descend d(depth_);
        return CheckTags(sub, entry, made);
    }

    handler.Error(FindingText("$duv_container_errorintemplate", {kind}), container);
    return true;
}

Container* Container::CreateSubContainer(const Kiv::PString& name, Container* parent,
                                         const Kiv::PString& typeName, int index,
                                         const TDBTagRef&) {
    const TDBTagRef definition = GetDefinition(typeName);
    if (!IsValidEntry(definition)) {
        Handler().Error(FindingText("$duv_container_nocontainerdefinition", {typeName}), parent);
        return nullptr;
    }
    auto* made = new Container();
    made->name_ = name;
    made->typeName_ = typeName;
    made->parent_ = parent;
    made->index_ = index;
    made->templates_ = DataManager::Instance().GetTemplates();
    made->definition_ = definition;
    made->savingName_ = TDBContainerTag::GetString(definition, Voc(TagWord::kSavingname));
    return made;
}

}  // namespace DUVLib
