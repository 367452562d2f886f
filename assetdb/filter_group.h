// The group filter element: an ordered list of owned criteria that all take part in one
// search, optionally negated. Groups nest; a negation is a group of its own (AddNew).
#pragma once

#include <memory>
#include <vector>

#include "assetdb/filter_element.h"

class WEXFilterElementGroup : public WEXFilterElement {
public:
    // Mode 1, not negated; the first child, when given, is appended.
    explicit WEXFilterElementGroup(std::unique_ptr<WEXFilterElement> first = nullptr);

    // Appends an owned child; a missing child is refused (false, nothing added).
    bool Add(std::unique_ptr<WEXFilterElement> child);
    // Appends a new negated group holding only this child: how a criterion is negated.
    bool AddNew(std::unique_ptr<WEXFilterElement> child);
    void SetNegated(bool negated) { negated_ = negated; }

    bool IsNegated() const { return negated_; }
    // The mode byte: always 1 from this program; the daemon gives it its meaning.
    uint8_t GetMode() const { return mode_; }
    size_t GetChildCount() const { return children_.size(); }
    const WEXFilterElement& GetChild(size_t i) const { return *children_[i]; }

    Kiv::PString KeywordName() const override;
    // "keyword:(value)" for each child, joined by ", "; mode and negation do not show.
    Kiv::PString ValueText() const override;
    uint32_t TypeCode() const override { return kWEXFilterTypeGroup; }
    bool Write(TStream& stream) const override;
    // Children read before a failing one stay in the group.
    bool Read(WEXFilterReader& reader) override;
    // Another group with the same mode, negation and children, pairwise equal both ways.
    bool Equals(const WEXFilterElement& other) const override;

private:
    uint8_t mode_ = 1;
    bool negated_ = false;
    std::vector<std::unique_ptr<WEXFilterElement>> children_;
};
