// DUVLib::Container: the validator's object for one container of a configuration. The root
// stands for the whole asset and is checked against its kind's definition; each nested
// container gets a sub-container object, made by the tag check, owned by its parent and checked
// against a container definition. Every check runs on the root object; sub-containers are
// passed as arguments.
//
// The virtual operations keep the validator's fixed order: the asset check and definition
// set-up (container.cpp), the template lookups (template_lookup.cpp), the tag walk and
// sub-containers (check_tags.cpp), the datatype binding (type_specification.cpp) and the
// container rules, choice lists and bookkeeping (container_rules.cpp), the export and its value
// writers (export.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/pstring.h"

class MeshData;

namespace DUVLib {

class Tag;
class Container;

// A container rule: true when the container passes; the rule reports its own findings.
using ContainerRule = bool (*)(Container* container, TDBTagRef* parameters);
struct ContainerRuleRow {
    Kiv::PString name;
    ContainerRule rule;
};
// The named container rules, made before main(), in their fixed order.
const std::vector<ContainerRuleRow>& ContainerRuleTable();

// How deep the tag walk descends into nested containers; a deeper container is reported once
// and not checked, so a hostile configuration cannot exhaust the stack.
constexpr int kMaxCheckDepth = 64;

using CompulsoryMap = std::map<Kiv::PString, float>;

class Container {
public:
    Container();
    virtual ~Container();
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    // 1-7
    virtual bool CheckAsset(TDBTagRef soup);
    virtual bool SetupDefinition(const TDBTagRef& definition, bool isKind);
    virtual bool Export(TDBTagRef& output);
    virtual void AddTag(Tag* tag);
    virtual TDBTagRef GetDefinition(const Kiv::PString& typeName);
    virtual bool CheckTags(TDBTagRef soup, TDBTagRef definition, Container* container);
    virtual void RemovePendingTag(const Kiv::PString& name);
    // 8-27: the value writers, one per datatype code.
    virtual bool WriteFloat(Tag* tag, TDBTagRef& out);
    virtual bool WriteString(Tag* tag, TDBTagRef& out);
    virtual bool WriteInt(Tag* tag, TDBTagRef& out);
    virtual bool WriteBool(Tag* tag, TDBTagRef& out);
    virtual bool WriteVector2(Tag* tag, TDBTagRef& out);
    virtual bool WriteVector3(Tag* tag, TDBTagRef& out);
    virtual bool WriteVector4(Tag* tag, TDBTagRef& out);
    virtual bool WriteVector5(Tag* tag, TDBTagRef& out);
    virtual bool WriteFloatList(Tag* tag, TDBTagRef& out);
    virtual bool WriteCombobox(Tag* tag, TDBTagRef& out);
    virtual bool WriteIntCombobox(Tag* tag, TDBTagRef& out);
    virtual bool WriteListbox(Tag* tag, TDBTagRef& out);
    virtual bool WriteKUID(Tag* tag, TDBTagRef& out);
    virtual bool WriteStringKUID(Tag* tag, TDBTagRef& out);
    virtual bool WriteDoubleString(Tag* tag, TDBTagRef& out);
    virtual bool WriteFilePath(Tag* tag, TDBTagRef& out);
    virtual bool WriteFilePathEdit(Tag* tag, TDBTagRef& out);
    virtual bool WriteKUIDBrowser(Tag* tag, TDBTagRef& out);
    virtual bool WriteStringKUIDBrowser(Tag* tag, TDBTagRef& out);
    virtual bool WriteUndefined(Tag* tag, TDBTagRef& out);
    // 28-42
    virtual bool IsComboboxPossibility(const Kiv::PString& value, const TDBTagRef& entry);
    virtual bool IsIntComboboxPossibility(const Kiv::PString& value, const TDBTagRef& entry);
    virtual bool IsListboxPossibility(const Kiv::PString& value, const TDBTagRef& entry);
    virtual void CheckBasicType(Tag* tag, const TDBTagRef& entry, const TDBTagRef& configuration,
                                Container* container);
    virtual bool FindContainerTemplate(const TDBTagRef& entry, const Kiv::PString& name,
                                       Container* container, TDBTagRef& out);
    virtual Kiv::PString GetContainerType(const TDBTagRef& entry, const Kiv::PString& text);
    virtual void GetCompulsoryPlainElements(const TDBTagRef& definition, CompulsoryMap& map);
    virtual void GetCompulsoryTypedElements(const TDBTagRef& definition, CompulsoryMap& map);
    virtual void CollectObsoleteTags(const TDBTagRef& definition);
    virtual void SetupContainerRules(const TDBTagRef& entry, Container* container);
    virtual TDBTagRef FindSubTemplate(const TDBTagRef& entry, const Kiv::PString& name);
    virtual Tag* CreateTag(int index, Container* container, const Kiv::PString& name);
    virtual Tag* TypeSpecification(Container* container, const Kiv::PString& name,
                                   const TDBTagRef& entry, const TDBTagRef& configuration);
    virtual Container* CreateSubContainer(const Kiv::PString& name, Container* parent,
                                          const Kiv::PString& typeName, int index,
                                          const TDBTagRef& soup);
    virtual void SetExtensions(const TDBTagRef& soup);

    // --- non-virtual helpers -------------------------------------------------------------
    void AddContainerRule(ContainerRule rule, const TDBTagRef& parameters);
    bool RunContainerRules();
    void MoveHeadTagsToFront();
    void AddSubContainer(Container* container);
    // Inheritance is user-editable data: a definition already on the path being followed is
    // skipped, so a cycle ends.
    void MergeInheritedDefinitions(TDBTagRef& subs, TDBTagRef& tagarray, TDBTagRef& elements,
                                   const TDBTagRef& inheritList,
                                   std::vector<Kiv::PString>* path = nullptr);
    void CollectInheritedValidation(TDBTagRef& out, const TDBTagRef& definition,
                                    std::vector<Kiv::PString>* path = nullptr);
    void AddCompulsoryElement(const Kiv::PString& elementType);
    void AddElementDefinition(const Kiv::PString& key, const Kiv::PString& elementType);
    // The definition's "subpossibilities" as this check sees it: with the entries an older
    // asset's obsolete tags were merged into, kept for this check only.
    TDBTagRef Subpossibilities(const TDBTagRef& definition);

    // --- accessors ---------------------------------------------------------------------
    const Kiv::PString& GetName() const { return name_; }
    const Kiv::PString& GetTypeName() const { return typeName_; }
    const Kiv::PString& GetSavingName() const { return savingName_; }
    int GetIndex() const { return index_; }
    Container* GetParent() const { return parent_; }
    bool IsRoot() const { return isRoot_; }
    const TDBTagRef& GetSoup() const { return soup_; }
    void SetSoup(const TDBTagRef& soup) { soup_ = soup; }
    const TDBTagRef& GetTemplates() const { return templates_; }
    void SetTemplates(const TDBTagRef& templates) { templates_ = templates; }
    const TDBTagRef& GetTagArrayTemplate() const { return tagArray_; }
    void SetTagArrayTemplate(const TDBTagRef& entry) { tagArray_ = entry; }
    const TDBTagRef& GetDefinitionRef() const { return definition_; }
    const std::vector<Tag*>& GetTags() const { return tags_; }
    const std::vector<Tag*>& GetHeadTags() const { return headTags_; }
    const std::vector<Tag*>& GetPendingTags() const { return pendingTags_; }
    const std::vector<Container*>& GetSubContainers() const { return subContainers_; }
    const std::vector<Kiv::PString>& GetObsoleteNames() const { return obsolete_; }
    const std::vector<Kiv::PString>& GetInheritedNames() const { return inheritedNames_; }
    const std::vector<TDBTagRef>& GetElementDefinitions() const { return elementDefinitions_; }
    const std::vector<Kiv::PString>& GetElementKeys() const { return elementKeys_; }
    const std::vector<TDBTagRef>& GetCompulsoryElements() const { return compulsoryElements_; }
    size_t GetContainerRuleCount() const { return ruleFunctions_.size(); }
    const TDBTagRef* GetExtensions() const { return extensions_.get(); }
    MeshData* GetMesh() const { return mesh_; }
    void SetMesh(MeshData* mesh) { mesh_ = mesh; }

    // Checks the texture descriptions and binary textures of folder and its sub-folders; base
    // is the asset folder the findings name files relative to. True without failing findings.
    bool CheckTextureFile(const Kiv::File::Path& base, const Kiv::File::Path& folder);

    // Containers alive in the process.
    static int64_t LiveCount();

private:
    friend class ContainerCheck;
    bool CheckContainerTag(const TDBTagRef& soup, uint32_t index, const Kiv::PString& name,
                           const TDBTagRef& definition, const std::vector<TDBTagRef>& inherited,
                           Container* container, CompulsoryMap& compulsoryContainers, int& counter);
    Container* Root();

    int unknownA_ = 25;
    int unknownB_ = 25;
    int index_ = -1;
    Kiv::PString name_;
    Kiv::PString typeName_;
    Kiv::PString savingName_;
    std::vector<Container*> subContainers_;
    std::vector<Tag*> tags_;
    std::vector<Tag*> headTags_;
    std::vector<Tag*> pendingTags_;
    // The names of the tag list and the kuid/username list, for the duplicate test.
    std::unordered_set<Kiv::PString, Kiv::PStringHash> tagNames_;
    std::vector<Kiv::PString> obsolete_;
    std::vector<Kiv::PString> inheritedNames_;
    std::vector<TDBTagRef> elementDefinitions_;
    std::vector<Kiv::PString> elementKeys_;
    std::vector<TDBTagRef> compulsoryElements_;
    TDBTagRef tagArray_;
    Container* parent_ = nullptr;
    TDBTagRef soup_;
    TDBTagRef templates_;
    TDBTagRef definition_;
    bool isRoot_ = false;
    std::vector<ContainerRule> ruleFunctions_;
    std::vector<TDBTagRef> ruleParameters_;
    std::unique_ptr<TDBTagRef> extensions_;
    MeshData* mesh_ = nullptr;
    // Root only: element-form objects whose type has no definition; nothing else owns them.
    std::vector<std::unique_ptr<Container>> orphans_;
    // Root only: per-check "subpossibilities" of definitions, keyed by the definition node.
    std::map<const void*, TDBTagRef> subpossibilityOverlay_;
    // Root only: how deep the tag walk is now.
    int depth_ = 0;
    // Root only: the soup child the walk is at, so that its value is read from it directly
    // rather than looked up by name among all the soup's children.
    struct ValueHint {
        const void* soup = nullptr;
        Kiv::PString name;
        TDBTagRef node;
    } valueHint_;

public:
    // What the tag binding reads of a template entry, read once per entry and check: an
    // entry serves every tag it defines.
    struct EntryInfo {
        Kiv::PString type;
        int compulsory = 0;
        bool hasDefault = false;
        Kiv::PString defaultValue;
        bool disabled = false;
        bool hasFilter = false;
        Kiv::PString filter;
    };
    const EntryInfo& InfoOf(const TDBTagRef& entry);

private:
    std::unordered_map<const void*, EntryInfo> entryInfo_;
    struct MergedDefinition {
        bool made = false;
        TDBTagRef subs, tagarray, elements;
        std::vector<Kiv::PString> inheritedNames;
    };

public:
    // The compulsory entries of a definition's list, plain tags and element containers, in
    // list order; read once per definition and check.
    struct CompulsoryLists {
        std::vector<std::pair<Kiv::PString, float>> plain, typed;
    };
    const CompulsoryLists& CompulsoryOf(const TDBTagRef& definition);

private:
    std::unordered_map<const void*, CompulsoryLists> compulsoryLists_;
    // Root only: each definition's merged lists, for this check.
    std::unordered_map<const void*, MergedDefinition> mergedDefinitions_;
};

}  // namespace DUVLib
