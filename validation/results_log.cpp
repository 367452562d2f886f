#include "validation/results_log.h"

#include <cstring>
#include <mutex>

#include "foundation/statics.h"
#include "foundation/substitute.h"
#include "validation/global_results_map.h"

namespace {

// The value of a named-values child as text.
Kiv::String ChildValueText(const TDBTagRef& node) {
    if (node.IsEmpty() || node->GetType() != kTagText) return Kiv::String();
    const char* data = static_cast<const char*>(node->GetData());
    return Kiv::String(data, ::strnlen(data, node->GetDataSize()));
}

void SubstituteNamedValues(Kiv::String& text, const TDBTagRef& values) {
    if (values.IsEmpty() || values->GetType() != kTagContainer) return;
    const uint32_t children = values->GetChildCount();
    Kiv::PString name;
    TDBTagRef node;
    for (uint32_t i = 0; i < children; ++i) {
        if (!values->GetChildAt(i, name, node)) continue;
        SubstituteVariable(text, name.view(), ChildValueText(node).view());
    }
}

}  // namespace

ResultsLog::ResultsLog() = default;

ResultsLog::~ResultsLog() {
    GlobalResultsMap::EraseLog(this);
    std::lock_guard hold(lock_);
    SendToPipes(NuMessageData(ListDestroyedWord(), NuMessageData::WordOf(this), this));
    context_.clear();
    entries_.Clear();
    // The base closes the pipes.
}

ResultsLog& ResultsLog::operator=(const ResultsLog& other) {
    if (&other == this) return *this;
    std::lock_guard hold(lock_);
    ResultsLog& source = const_cast<ResultsLog&>(other);
    {
        std::lock_guard holdSource(source.lock_);
        entries_.Clear();
        source.entries_.ForEachFrom(0, [this](const ResultsLogEntry& e) { entries_.Append(e); });
        warnings_ = source.warnings_;
        errors_ = source.errors_;
        successes_ = source.successes_;
    }
    reported_ = false;
    return *this;
}

void ResultsLog::PushContext(const HalvexPropertyRef& context) {
    std::lock_guard hold(lock_);
    context_.push_back(context);
}

void ResultsLog::PopContext() {
    std::lock_guard hold(lock_);
    if (!context_.empty()) context_.pop_back();
}

uint32_t ResultsLog::GetContextDepth() {
    std::lock_guard hold(lock_);
    return static_cast<uint32_t>(context_.size());
}

uint32_t ResultsLog::GetCount() {
    std::lock_guard hold(lock_);
    return entries_.Count();
}

uint32_t ResultsLog::GetWarningCount() {
    std::lock_guard hold(lock_);
    return warnings_;
}

uint32_t ResultsLog::GetErrorCount() {
    std::lock_guard hold(lock_);
    return errors_;
}

uint32_t ResultsLog::GetSuccessCount() {
    std::lock_guard hold(lock_);
    return successes_;
}

bool ResultsLog::IsReported() {
    std::lock_guard hold(lock_);
    return reported_;
}

void ResultsLog::SetReported(bool reported) {
    std::lock_guard hold(lock_);
    reported_ = reported;
}

ResultsLogEntry ResultsLog::GetEntry(uint32_t index) {
    std::lock_guard hold(lock_);
    const ResultsLogEntry* entry = entries_.At(index);
    return entry != nullptr ? *entry : ResultsLogEntry();
}

void ResultsLog::ForEachEntry(const std::function<void(const ResultsLogEntry&)>& visit) {
    std::lock_guard hold(lock_);
    entries_.ForEachFrom(0, visit);
}

void ResultsLog::AppendLocked(ResultsLogEntry entry) {
    switch (entry.severity) {
        case kResultsWarning:
            ++warnings_;
            break;
        case kResultsError:
            ++errors_;
            break;
        case kResultsSuccess:
            ++successes_;
            break;
        default:
            break;
    }
    entries_.Append(std::move(entry));
}

void ResultsLog::ChangedLocked() {
    reported_ = false;
    SendToPipes(NuMessageData(ListUpdatedWord(), NuMessageData::WordOf(this), this));
}

void AddMessage(ResultsLog& log, uint32_t severity, const HalvexPropertyRef& parameter,
                Kiv::String text, const TDBTagRef& values) {
    SubstituteNamedValues(text, values);
    std::lock_guard hold(log.lock_);
    ResultsLogEntry entry;
    entry.severity = severity;
    entry.text = std::move(text);
    if (!parameter.IsEmpty())
        entry.parameter = parameter;
    else if (!log.context_.empty())
        entry.parameter = log.context_.back();
    log.AppendLocked(std::move(entry));
    log.ChangedLocked();
}
