#include "validation/container.h"

#include <algorithm>
#include <atomic>

#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "foundation/substitute.h"
#include "validation/config_upgrade.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"
#include "validation/tag.h"
#include "validation/tag_vocabulary.h"
#include "validation/template_lookup.h"

namespace DUVLib {

namespace {

std::atomic<int64_t> gLiveContainers{0};

constexpr float kDefaultBuild = 1.3f;
constexpr int kObsoleteBuild = 270;
constexpr int kTrackBuild = 290;

ErrorHandler& Handler() {
    ErrorHandler* handler = ErrorHandler::Instance();
    if (handler == nullptr) FatalError("DUVLib::ErrorHandler> error handler not initialised");
    return *handler;
}

// Merges one entry into a working container: the entry of the same name goes, the new one is
// appended, so a later definition replaces an earlier entry whole.
void MergeEntry(TDBTagRef& into, const Kiv::PString& name, const TDBTagRef& entry) {
    into.EnsureContainer();
    TDBContainerTag::RemoveTag(into, name);
    into->AddChild(name, entry.Copy());
}

void MergeChildren(TDBTagRef& into, const TDBTagRef& from) {
    const uint32_t n = TDBContainerTag::CountChildren(from);
    for (uint32_t i = 0; i < n; ++i) {
        Kiv::PString name;
        TDBTagRef entry;
        if (!from->GetChildAt(i, name, entry) || entry.Get() == nullptr) continue;
        MergeEntry(into, name, entry);
    }
}

}  // namespace

Container::Container() {
    ++gLiveContainers;
}

int64_t Container::LiveCount() {
    return gLiveContainers.load();
}

Container* Container::Root() {
    Container* c = this;
    while (c->parent_ != nullptr)
        c = c->parent_;
    return c;
}

Container::~Container() {
    // Element-form objects whose type had no definition: the root keeps them until now, after
    // the findings they own were read.
    for (auto& orphan : orphans_)
        orphan->parent_ = this;
    orphans_.clear();

    extensions_.reset();
    if (ErrorHandler* handler = ErrorHandler::Instance()) handler->ForgetContainer(this);
    DataManager* manager = DataManager::Peek();
    if (manager != nullptr) manager->ForgetContainer(this);
    --gLiveContainers;

    for (std::vector<Tag*>* list : {&tags_, &headTags_, &pendingTags_}) {
        std::vector<Tag*> dying = std::move(*list);
        list->clear();
        for (Tag* tag : dying)
            delete tag;
    }
    if (manager != nullptr) manager->ForgetNamedContainer(this);

    std::vector<Container*> subs = std::move(subContainers_);
    subContainers_.clear();
    std::sort(subs.begin(), subs.end());
    subs.erase(std::unique(subs.begin(), subs.end()), subs.end());
    for (Container* sub : subs)
        delete sub;

    if (parent_ != nullptr) {
        auto& siblings = parent_->subContainers_;
        auto it = std::find(siblings.begin(), siblings.end(), this);
        if (it != siblings.end()) siblings.erase(it);
    } else if (manager != nullptr) {
        manager->PurgeUnusedResources();
        manager->ClearNameRegistry(Voc(TagWord::kMeshTable));
        manager->ClearNameRegistry(Voc(TagWord::kAttachedTrack));
        manager->ClearNameRegistry(Voc(TagWord::kQueues));
    }
}

bool Container::CheckAsset(TDBTagRef soup) {
    DataManager& manager = DataManager::Instance();
    ErrorHandler& handler = Handler();
    subpossibilityOverlay_.clear();
    entryInfo_.clear();
    mergedDefinitions_.clear();
    compulsoryLists_.clear();
    depth_ = 0;

    const float build =
        TDBContainerTag::GetFloat(soup, Voc(TagWord::kHalvexBuild), kDefaultBuild) + 0.001f;
    manager.SetBuild(build);
    if (static_cast<int>(build * 100.0 + 0.1) < kObsoleteBuild) {
        Kiv::String text(LocalisedText("$duv_obsolete_asset").view());
        SubstituteVariable(text, "LOWEST_HALVEXBUILD", "2.7");
        handler.Warning(Kiv::PString(text.view()));
    }

    UpgradeConfig(soup);

    const Kiv::PString kind = TDBContainerTag::GetString(soup, Voc(TagWord::kKind));
    if (kind.IsEmpty()) {
        handler.Error(LocalisedText("$duv_container_nokindtag"));
        return false;
    }

    Kiv::PString name = kind;
    if (kind == Voc(TagWord::kBridge)) {
        const float height = TDBContainerTag::GetFloat(soup, Voc(TagWord::kHeight), 0.0f);
        if (height < -0.001f) {
            name = Voc(TagWord::kBridge);
        } else if (height <= 0.001f) {
            name = Voc(TagWord::kDoubleTrack);
        } else {
            name = Voc(TagWord::kTunnel);
        }
    } else if (kind == Voc(TagWord::kTrack)) {
        if (static_cast<int>(build * 100.0) < kTrackBuild) {
            if (TDBContainerTag::HasTag(soup, Voc(TagWord::kChunkyMeshUnderscore)))
                name = Voc(TagWord::kChunkyTrack);
            else if (TDBContainerTag::HasTag(soup, Voc(TagWord::kUnitMeshUnderscore)))
                name = Voc(TagWord::kMeshReducingTrack);
            else
                name = Voc(TagWord::kObsoleteTrack);
        }
    } else if (kind == Voc(TagWord::kScenery)) {
        if (TDBContainerTag::HasTag(soup, Voc(TagWord::kTrackside)))
            name = Voc(TagWord::kSceneryTrackside);
    }

    const TDBTagRef definition = FindKindDefinition(name);
    if (!IsValidEntry(definition)) {
        handler.Error(LocalisedText("$duv_container_nokindspecification"));
        return false;
    }

    soup_ = soup;
    templates_ = manager.GetTemplates();
    definition_ = definition;
    parent_ = nullptr;
    index_ = 0;
    name_ = name;
    typeName_ = name;
    isRoot_ = true;

    SetupDefinition(definition, true);
    SetupContainerRules(definition, this);

    if (TDBContainerTag::HasTag(soup, Voc(TagWord::kAlias))) {
        manager.meshMessagesSuppressed = true;
        handler.Warning(LocalisedText("$duv_container_alias"));
    }
    return CheckTags(soup, definition, this);
}

bool Container::SetupDefinition(const TDBTagRef& definition, bool isKind) {
    // The merged lists depend on the definition alone, so one check merges each definition
    // once (until an older asset's obsolete entries change what it allows).
    MergedDefinition& merged = Root()->mergedDefinitions_[definition.Get()];
    if (!merged.made) {
        merged.made = true;
        const size_t namesBefore = inheritedNames_.size();
        const TDBTagRef inherit = TDBContainerTag::GetContainer(definition, Voc(TagWord::kInherit));
        if (IsValidEntry(inherit))
            MergeInheritedDefinitions(merged.subs, merged.tagarray, merged.elements, inherit);
        merged.inheritedNames.assign(inheritedNames_.begin() + namesBefore, inheritedNames_.end());
        inheritedNames_.resize(namesBefore);
        MergeChildren(merged.subs, Root()->Subpossibilities(definition));
        MergeChildren(merged.tagarray,
                      TDBContainerTag::GetContainer(definition, Voc(TagWord::kTagarray)));
        const TDBTagRef ownElements =
            TDBContainerTag::GetContainer(definition, Voc(TagWord::kArrayElement));
        for (uint32_t i = 0, n = TDBContainerTag::CountChildren(ownElements); i < n; ++i) {
            const Kiv::PString key = TDBContainerTag::GetChildName(ownElements, i);
            TDBContainerTag::SetString(merged.elements, key,
                                       TDBContainerTag::GetString(ownElements, key));
        }
    }
    inheritedNames_.insert(inheritedNames_.end(), merged.inheritedNames.begin(),
                           merged.inheritedNames.end());
    // Copies of the references: the set-up below may start a nested merge.
    const TDBTagRef subs = merged.subs;
    const TDBTagRef tagarray = merged.tagarray;
    const TDBTagRef elements = merged.elements;

    if (IsValidEntry(subs)) {
        for (uint32_t i = 0, n = TDBContainerTag::CountChildren(subs); i < n; ++i) {
            Kiv::PString name;
            TDBTagRef entry;
            if (!subs->GetChildAt(i, name, entry) || !IsValidEntry(entry) || name.IsEmpty())
                continue;
            const Kiv::PString kind = TDBContainerTag::GetString(entry, Voc(TagWord::kKind));
            const int compulsory = TDBContainerTag::GetInt(entry, Voc(TagWord::kCompulsory), 0);
            if (kind == Voc(TagWord::kElement)) {
                const Kiv::PString type =
                    TDBContainerTag::GetString(entry, Voc(TagWord::kElementType));
                if (compulsory != 0) AddCompulsoryElement(type);
                AddElementDefinition(name, type);
            } else if (kind == Voc(TagWord::kValue) && compulsory == 0) {
                // An optional tag, made without the configuration: the tag check drops it when
                // the configuration holds the tag.
                Tag* tag = TypeSpecification(this, name, entry, TDBTagRef());
                if (tag == nullptr) return false;
                tag->SetupValidators(entry);
                pendingTags_.push_back(tag);
            } else if (kind == Voc(TagWord::kValue) && isKind) {
                // A compulsory tag, made now with the configuration's value; a missing one is
                // reported against it by the tag check.
                Tag* tag = TypeSpecification(this, name, entry, soup_);
                if (tag == nullptr) return false;
                tag->SetupValidators(entry);
                AddTag(tag);
            }
        }
    }

    if (IsValidEntry(tagarray)) tagArray_ = tagarray;
    if (IsValidEntry(elements)) {
        for (uint32_t i = 0, n = TDBContainerTag::CountChildren(elements); i < n; ++i) {
            const Kiv::PString key = TDBContainerTag::GetChildName(elements, i);
            AddElementDefinition(key, TDBContainerTag::GetString(elements, key));
        }
    }
    return true;
}

}  // namespace DUVLib
