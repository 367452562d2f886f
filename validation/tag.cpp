#include "validation/tag.h"

#include <atomic>
#include <cstdlib>
#include <string>

#include "configdata/kuid.h"
#include "configdata/tdb_container_tag.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"
#include "validation/tag_vocabulary.h"

namespace DUVLib {

namespace {

std::atomic<int64_t> gLiveTags{0};

}  // namespace

Tag::Tag(int index, Container* container, const Kiv::PString& name)
    : name(name), index(index), container(container) {
    ++gLiveTags;
}

Tag::~Tag() {
    if (ErrorHandler* handler = ErrorHandler::Instance()) handler->ForgetTag(this);
    if (DataManager* manager = DataManager::Peek()) manager->ForgetTag(this);
    --gLiveTags;
}

int64_t Tag::LiveCount() {
    return gLiveTags.load();
}

void Tag::SetupValidators(const TDBTagRef& entry) {
    const TDBTagRef validation = TDBContainerTag::GetContainer(entry, Voc(TagWord::kValidation));
    const uint32_t n = TDBContainerTag::CountChildren(validation);
    const std::vector<TagRuleRow>& table = TagRuleTable();
    for (uint32_t i = 0; i < n; ++i) {
        const Kiv::PString ruleName = TDBContainerTag::GetChildName(validation, i);
        for (const TagRuleRow& row : table) {
            if (row.name != ruleName) continue;
            validators.push_back(row.rule);
            // Looked up again by name: two children of one name share the first's parameters.
            parameters.push_back(TDBContainerTag::GetContainer(validation, ruleName));
        }
    }
}

bool Tag::RunValidators() {
    bool result = true;
    for (size_t i = 0; i < validators.size(); ++i)
        if (!validators[i](this, &parameters[i])) result = false;
    return result;
}

std::vector<float> ParseFloatList(std::string_view text) {
    std::vector<float> out;
    std::string token;
    for (const char c : text) {
        if (c == ' ' || c == ',') {
            out.push_back(static_cast<float>(std::atof(token.c_str())));
            token.clear();
        } else {
            token += c;
        }
    }
    out.push_back(static_cast<float>(std::atof(token.c_str())));
    return out;
}

bool CheckArraySize(Tag* tag, int count) {
    if (tag == nullptr || tag->value.IsEmpty()) return false;
    if (DataManager::Instance().GetBuild() < 2.89f) return true;
    const std::vector<float> values = ParseFloatList(tag->value.view());
    if (static_cast<int>(values.size()) == count) return true;
    if (ErrorHandler* handler = ErrorHandler::Instance())
        handler->Error(FindingText("$duv_val_arraywrongsize",
                                   {tag->name, count, static_cast<int>(values.size())}),
                       tag);
    return false;
}

bool WarnIfNullKUID(Tag* tag) {
    if (tag == nullptr) return true;
    if (tag->container != nullptr && tag->container->GetName() == Voc(TagWord::kObsoleteTable))
        return true;
    if (KUID::FromText(tag->value.view(), false).IsNull()) {
        if (ErrorHandler* handler = ErrorHandler::Instance())
            handler->Warning(FindingText("$duv_val_nullkuidwarn", {tag->name}), tag);
    }
    return true;
}

}  // namespace DUVLib
