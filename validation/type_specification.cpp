// Making a Tag for one tag of the configuration from its template entry, and binding it to the
// datatype the entry's "type" names, with the preparation each datatype needs and the findings
// the binding itself makes.
#include "configdata/acs_converter.h"
#include "configdata/kuid.h"
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

struct TypeRow {
    TagWord word;
    int code;
};
// The datatype codes by the template's "type", in the order they are matched.
constexpr TypeRow kTypes[] = {{TagWord::kString, 1},        {TagWord::kInt, 3},
                              {TagWord::kFloat, 0},         {TagWord::kBool, 4},
                              {TagWord::kListbox, 12},      {TagWord::kCombobox, 10},
                              {TagWord::kIntcombobox, 11},  {TagWord::kKuid, 14},
                              {TagWord::kFilepath, 15},     {TagWord::kFilepathedit, 16},
                              {TagWord::kVector2, 5},       {TagWord::kVector3, 6},
                              {TagWord::kRgb, 6},           {TagWord::kVector4, 7},
                              {TagWord::kVector5, 8},       {TagWord::kFloatlist, 9},
                              {TagWord::kDoublestring, 13}, {TagWord::kStringkuid, 17},
                              {TagWord::kKuidbrowser, 18},  {TagWord::kStringkuidbrowser, 19}};
constexpr int kUndefined = 20;

int CodeOf(const Kiv::PString& type) {
    for (const TypeRow& row : kTypes)
        if (Voc(row.word) == type) return row.code;
    return kUndefined;
}

ErrorHandler* Handler() {
    return ErrorHandler::Instance();
}

// A value node as text, as TDBContainerTag::GetString reads a named child.
Kiv::PString NodeText(const TDBTagRef& node) {
    if (node.IsEmpty()) return Voc(TagWord::kEmpty);
    const ACSRawDataRef value = ConvertRawData(node->GetType(), node->GetRawData(), kTagText);
    if (!value) return Voc(TagWord::kEmpty);
    return Kiv::PString(TextOfData(value.GetData(), value.GetSize()));
}

}  // namespace

Tag* Container::CreateTag(int index, Container* container, const Kiv::PString& name) {
    return new Tag(index, container, name);
}

Tag* Container::TypeSpecification(Container* container, const Kiv::PString& name,
                                  const TDBTagRef& entry, const TDBTagRef& configuration) {
    if (container->tagNames_.count(name) != 0) return nullptr;
    Tag* tag = CreateTag(static_cast<int>(container->tags_.size()), container, name);
    if (tag == nullptr) return nullptr;

    const EntryInfo& info = Root()->InfoOf(entry);
    const ValueHint& hint = Root()->valueHint_;
    const Kiv::PString configured =
        hint.soup != nullptr && hint.soup == configuration.Get() && hint.name == name
            ? NodeText(hint.node)
            : TDBContainerTag::GetString(configuration, name);
    if (configuration.Get() != nullptr && !configured.IsEmpty()) {
        tag->value = configured;
    } else if (info.hasDefault) {
        tag->value =
            info.defaultValue == Voc(TagWord::kParent) ? container->GetName() : info.defaultValue;
    } else {
        tag->value = Voc(TagWord::kEmpty);
    }

    if (info.compulsory == 0 && configuration.Get() != nullptr) container->RemovePendingTag(name);

    ErrorHandler* handler = Handler();
    if (handler != nullptr && handler->WantsNotices())
        handler->TypeSpecificationNotice(
            FindingText("$duv_container_typespecification", {tag->name, info.type}), tag);

    CheckBasicType(tag, entry, configuration, container);
    return tag;
}

const Container::EntryInfo& Container::InfoOf(const TDBTagRef& entry) {
    auto [it, made] = entryInfo_.try_emplace(entry.Get());
    if (!made) return it->second;
    EntryInfo& info = it->second;
    info.type = TDBContainerTag::GetString(entry, Voc(TagWord::kType));
    info.compulsory = TDBContainerTag::GetInt(entry, Voc(TagWord::kCompulsory), 0);
    info.hasDefault = TDBContainerTag::HasTag(entry, Voc(TagWord::kDefault));
    info.defaultValue = TDBContainerTag::GetString(entry, Voc(TagWord::kDefault));
    info.disabled = TDBContainerTag::GetInt(entry, Voc(TagWord::kDisabled), 0) != 0;
    info.hasFilter = TDBContainerTag::HasTag(entry, Voc(TagWord::kFilter));
    info.filter = TDBContainerTag::GetString(entry, Voc(TagWord::kFilter));
    return info;
}

void Container::RemovePendingTag(const Kiv::PString& name) {
    for (auto it = pendingTags_.begin(); it != pendingTags_.end(); ++it) {
        if ((*it)->name != name) continue;
        Tag* dying = *it;
        pendingTags_.erase(it);
        delete dying;
        return;
    }
}

void Container::CheckBasicType(Tag* tag, const TDBTagRef& entry, const TDBTagRef& configuration,
                               Container* container) {
    DataManager& manager = DataManager::Instance();
    ErrorHandler* handler = Handler();
    tag->templateEntry = entry;
    const EntryInfo& info = Root()->InfoOf(entry);
    const int code = CodeOf(info.type);
    tag->datatype = code;
    const bool hasConfiguration = configuration.Get() != nullptr;

    switch (code) {
        case 1:
        case 3:
        case 0: {
            if (code == 1 && !hasConfiguration) {
                const PersonalDetails& details = manager.GetPersonalDetails();
                const Kiv::PString& n = tag->name;
                if (n == Voc(TagWord::kLicense))
                    tag->value = Kiv::PString(details.license);
                else if (n == Voc(TagWord::kAuthor))
                    tag->value = Kiv::PString(details.author);
                else if (n == Voc(TagWord::kContactEmail))
                    tag->value = Kiv::PString(details.email);
                else if (n == Voc(TagWord::kContactWebsite) || n == Voc(TagWord::kWebsite))
                    tag->value = Kiv::PString(details.website);
                else if (n == Voc(TagWord::kOrganisation))
                    tag->value = Kiv::PString(details.organisation);
            }
            if (info.disabled) tag->disabled = true;
            if (code == 1 && info.hasFilter) tag->filter = info.filter;
            return;
        }
        case 4: {
            const std::string_view v = tag->value.view();
            if (!v.empty() && v != "0" && v != "1" && handler != nullptr)
                handler->Warning(
                    FindingText("$duv_container_notboolean", {tag->name, container->GetName()}),
                    tag);
            return;
        }
        case 12:
            if (!tag->value.IsEmpty() && !container->IsListboxPossibility(tag->value, entry))
                tag->value = Voc(TagWord::kEmpty);
            return;
        case 11:
            if (!tag->value.IsEmpty() && !container->IsIntComboboxPossibility(tag->value, entry))
                tag->value = Voc(TagWord::kEmpty);
            return;
        case 10: {
            const Kiv::PString source = TDBContainerTag::GetString(entry, Voc(TagWord::kSource));
            if (source == Voc(TagWord::kAttachment)) {
                if (TDBContainerTag::GetInt(entry, Voc(TagWord::kUnique), 0) != 0)
                    manager.AddTag(tag);
                else
                    manager.AddUniqueTag(tag);
                tag->source = source;
                tag->hasSource = true;
                return;
            }
            if (source == Voc(TagWord::kMeshTable) || source == Voc(TagWord::kAttachedTrack) ||
                source == Voc(TagWord::kQueues)) {
                manager.AddToGroupRegistry(source, tag);
                tag->source = source;
                tag->hasSource = true;
                return;
            }
            if (!tag->value.IsEmpty() && !container->IsComboboxPossibility(tag->value, entry))
                tag->value = Voc(TagWord::kEmpty);
            return;
        }
        case 14:
            if (tag->value.IsEmpty()) tag->value = KUID::kNull.ToString();
            return;
        case 15:
        case 16: {
            tag->fileDatatype = TDBContainerTag::GetString(entry, Voc(TagWord::kDatatype));
            tag->isFile = true;
            if (tag->name == Voc(TagWord::kScript)) return;
            if (hasConfiguration &&
                TDBContainerTag::HasTag(configuration, Voc(TagWord::kMeshAsset))) {
                manager.meshMessagesSuppressed = true;
                return;
            }
            // A tag that names no file has nothing to load.
            if (tag->value.IsEmpty()) return;
            Kiv::File::Path path(manager.GetAssetFolder());
            path.AddPath(tag->value.ToLower().view());
            if (MeshData* mesh = manager.LoadMesh(path.view(), container))
                tag->container->SetMesh(mesh);
            return;
        }
        case 18:
            if (TDBContainerTag::HasTag(entry, Voc(TagWord::kCategory)))
                tag->category = TDBContainerTag::GetString(entry, Voc(TagWord::kCategory));
            if (TDBContainerTag::HasTag(entry, Voc(TagWord::kFilter)))
                tag->filter = TDBContainerTag::GetString(entry, Voc(TagWord::kFilter));
            return;
        case kUndefined:
            break;
        default:
            return;
    }

    // A tag the templates do not define.
    const Kiv::PString& n = tag->name;
    const bool comment =
        n == Voc(TagWord::kSemicolon) || n == Voc(TagWord::kBang) || n == Voc(TagWord::kRem);
    if (comment && manager.GetBuild() < 2.5f) return;
    if (handler == nullptr) return;
    const std::string_view text = n.view();
    const std::vector<Kiv::PString>& obsolete = Root()->obsolete_;
    if (std::find(obsolete.begin(), obsolete.end(), n) != obsolete.end() ||
        text.substr(0, 16) == "category-region-" || text.substr(0, 13) == "category-era-") {
        const Kiv::PString finding =
            FindingText("$duv_container_obsoletetag", {n, container->GetName()});
        if (static_cast<int>(static_cast<double>(manager.GetBuild()) * 100.0) < 290)
            handler->Warning(finding, tag);
        else
            handler->Error(finding, tag);
        return;
    }
    handler->Error(FindingText("$duv_container_nodefinition", {n, container->GetName()}), tag);
}

}  // namespace DUVLib
