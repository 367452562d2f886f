#include "assetdb/filter_group.h"

#include <string>

#include "assetdb/filter_reader.h"
#include "foundation/tstream.h"

WEXFilterElementGroup::WEXFilterElementGroup(std::unique_ptr<WEXFilterElement> first) {
    Add(std::move(first));
}

bool WEXFilterElementGroup::Add(std::unique_ptr<WEXFilterElement> child) {
    if (child == nullptr) return false;
    children_.push_back(std::move(child));
    return true;
}

bool WEXFilterElementGroup::AddNew(std::unique_ptr<WEXFilterElement> child) {
    if (child == nullptr) return false;
    auto negation = std::make_unique<WEXFilterElementGroup>(std::move(child));
    negation->SetNegated(true);
    return Add(std::move(negation));
}

Kiv::PString WEXFilterElementGroup::KeywordName() const {
    static const Kiv::PString name("group");
    return name;
}

Kiv::PString WEXFilterElementGroup::ValueText() const {
    std::string text;
    for (const auto& child : children_) {
        if (!text.empty()) text += ", ";
        text += child->KeywordName().view();
        text += ":(";
        text += child->ValueText().view();
        text += ')';
    }
    return WEXFilterValueText(text);
}

bool WEXFilterElementGroup::Write(TStream& stream) const {
    if (stream.WriteU8(mode_) != 1 || stream.WriteBool(negated_) != 1 ||
        stream.WriteU32(static_cast<uint32_t>(children_.size())) != 4) {
        return false;
    }
    for (const auto& child : children_) {
        if (!WEXFilterWriteElement(stream, child.get())) return false;
    }
    return true;
}

bool WEXFilterElementGroup::Read(WEXFilterReader& reader) {
    if (!reader.ReadU8(mode_, "group mode") || !reader.ReadBool(negated_, "group negation"))
        return false;
    children_.clear();
    uint32_t count;
    if (!reader.ReadCount(count, WEXFilterReader::kMinEnvelopeBytes, "group's child count"))
        return false;
    if (!reader.EnterGroup()) return false;
    bool ok = true;
    for (uint32_t i = 0; i < count && ok; ++i) {
        std::unique_ptr<WEXFilterElement> child = reader.ReadElement();
        ok = child != nullptr;
        if (ok) children_.push_back(std::move(child));
    }
    reader.LeaveGroup();
    return ok;
}

bool WEXFilterElementGroup::Equals(const WEXFilterElement& other) const {
    const auto* group = dynamic_cast<const WEXFilterElementGroup*>(&other);
    if (group == nullptr || group->children_.size() != children_.size() ||
        group->negated_ != negated_ || group->mode_ != mode_) {
        return false;
    }
    for (size_t i = 0; i < children_.size(); ++i) {
        const WEXFilterElement& mine = *children_[i];
        const WEXFilterElement& theirs = *group->children_[i];
        // Children are equal both ways. Group equality is symmetric already, so a child group
        // is tested one way only: testing nested groups both ways at every level would cost
        // twice as much per level, 2^64 at the deepest nesting a reader accepts.
        bool equal = dynamic_cast<const WEXFilterElementGroup*>(&mine) != nullptr
                         ? mine.Equals(theirs)
                         : WEXFilterElementsEqual(mine, theirs);
        if (!equal) return false;
    }
    return true;
}
