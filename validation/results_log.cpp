#include "validation/results_log.h"

#include <mutex>
#include <string_view>

#include "configdata/interface_text.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/statics.h"
#include "foundation/substitute.h"
#include "validation/global_results_map.h"

namespace {

// A text that is one interface-text key: "$" and a name, no blanks ("$(" opens a placeholder).
bool IsInterfaceKey(std::string_view text) {
    return text.size() > 1 && text[0] == '$' && text[1] != '(' &&
           text.find_first_of(" \t\r\n") == std::string_view::npos;
}

void SubstituteNamedValues(Kiv::String& text, const TDBTagRef& values) {
    if (values.IsEmpty() || values->GetType() != kTagContainer) return;
    const uint32_t children = values->GetChildCount();
    Kiv::PString name;
    TDBTagRef node;
    for (uint32_t i = 0; i < children; ++i) {
        if (!values->GetChildAt(i, name, node)) continue;
        SubstituteVariable(text, name.view(), TDBContainerTag::GetString(values, name).view());
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

uint32_t ResultsLog::ReadLocked(const uint32_t& counter) {
    std::lock_guard hold(lock_);
    return counter;
}

uint32_t ResultsLog::GetWarningCount() {
    return ReadLocked(warnings_);
}

uint32_t ResultsLog::GetErrorCount() {
    return ReadLocked(errors_);
}

uint32_t ResultsLog::GetSuccessCount() {
    return ReadLocked(successes_);
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
    // Looked up before the log's lock is taken: the look-up takes the main-thread lock, and a
    // thread holding that may be waiting for this log.
    if (IsInterfaceKey(text.view())) text = GetInterfaceString(text.c_str());
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
