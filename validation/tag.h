// DUVLib::Tag: the validator's object for one plain tag of the configuration under check: its
// name and text value, the datatype its template binds it to, and the tag rules its template
// entry names under "validation", run after the value check of its datatype.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

namespace DUVLib {

class Container;
class Tag;

// A tag rule: true when the tag passes; the rule reports its own findings.
using TagRule = bool (*)(Tag* tag, TDBTagRef* parameters);

struct TagRuleRow {
    Kiv::PString name;
    TagRule rule;
};
// The named tag rules, made before main(), in their fixed order.
const std::vector<TagRuleRow>& TagRuleTable();

class Tag {
public:
    Tag(int index, Container* container, const Kiv::PString& name);
    virtual ~Tag();
    Tag(const Tag&) = delete;
    Tag& operator=(const Tag&) = delete;

    // Attaches the rules that the template entry's "validation" container names.
    virtual void SetupValidators(const TDBTagRef& entry);
    // Every attached rule, in order, also after a failure; true when all passed.
    bool RunValidators();

    // Tags alive in the process.
    static int64_t LiveCount();

    Kiv::PString name;
    Kiv::PString value;
    int datatype = 20;
    int index = -1;
    Container* container = nullptr;
    Kiv::PString fileDatatype;
    bool hasSource = false;
    Kiv::PString source;
    bool stringCheck = true;
    std::vector<TagRule> validators;
    std::vector<TDBTagRef> parameters;
    bool disabled = false;
    bool isFile = false;
    TDBTagRef templateEntry;
    Kiv::PString category;
    Kiv::PString filter;
    Kiv::PString extra;
    bool extraFlag = false;
};

// The numbers of a list: every space or comma ends one number (an empty one reads as 0).
std::vector<float> ParseFloatList(std::string_view text);
// The tag's value holds exactly `count` numbers (not checked below build 2.89).
bool CheckArraySize(Tag* tag, int count);
// Warns when the value is the null KUID (not in "obsolete-table"); always true.
bool WarnIfNullKUID(Tag* tag);

}  // namespace DUVLib
