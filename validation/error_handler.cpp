#include "validation/error_handler.h"

#include <algorithm>
#include <cstdio>

#include "validation/finding_text.h"

namespace DUVLib {

namespace {

ErrorHandler* gHandler = nullptr;

const void* EntryOf(const Kiv::PString& key) {
    // Two handles on one interned text share the entry; the text pointer stands for it.
    return key.IsNull() ? nullptr : static_cast<const void*>(key.c_str());
}

}  // namespace

ErrorHandler::~ErrorHandler() = default;

void ErrorHandler::Index(const ErrorRecord& record, int delta) {
    auto bump = [delta](auto& map, const auto& k) {
        auto it = map.try_emplace(k, 0).first;
        it->second += delta;
        if (it->second == 0) map.erase(it);
    };
    const void* key = EntryOf(record.key);
    if (record.container != nullptr) {
        bump(byContainer_, OwnerKey{record.container, key});
        bump(owners_, static_cast<const void*>(record.container));
    }
    if (record.tag != nullptr) {
        bump(byTag_, OwnerKey{record.tag, key});
        bump(owners_, static_cast<const void*>(record.tag));
    }
    bump(byKey_, key);
}

void ErrorHandler::Clear() {
    records_.clear();
    byContainer_.clear();
    byTag_.clear();
    byKey_.clear();
    owners_.clear();
}

bool ErrorHandler::Add(const Kiv::PString& key, Container* container, Tag* tag, uint32_t severity) {
    // A finding is compared with records of its own owner; an ownerless one with every record.
    if (container != nullptr) {
        if (byContainer_.count(OwnerKey{container, EntryOf(key)}) != 0) return false;
    } else if (tag != nullptr) {
        if (byTag_.count(OwnerKey{tag, EntryOf(key)}) != 0) return false;
    } else if (byKey_.count(EntryOf(key)) != 0) {
        return false;
    }

    if (print_) {
        const char* prefix = severity == kSeverityError     ? "$duv_eh_error"
                             : severity == kSeverityWarning ? "$duv_eh_warning"
                                                            : "$duv_eh_message";
        const Kiv::PString text = LocalisedText(prefix);
        std::printf("%s%s\n", text.c_str(), key.c_str());
    }

    records_.push_back(ErrorRecord{container, tag, key, severity});
    Index(records_.back(), +1);
    return true;
}

bool ErrorHandler::Error(const Kiv::PString& key, Container* container) {
    return Add(key, container, nullptr, kSeverityError);
}
bool ErrorHandler::Error(const Kiv::PString& key, Tag* tag) {
    return Add(key, nullptr, tag, kSeverityError);
}
bool ErrorHandler::Error(const Kiv::PString& key) {
    return Add(key, nullptr, nullptr, kSeverityError);
}
bool ErrorHandler::Warning(const Kiv::PString& key, Container* container) {
    return Add(key, container, nullptr, kSeverityWarning);
}
bool ErrorHandler::Warning(const Kiv::PString& key, Tag* tag) {
    return Add(key, nullptr, tag, kSeverityWarning);
}
bool ErrorHandler::Warning(const Kiv::PString& key) {
    return Add(key, nullptr, nullptr, kSeverityWarning);
}
bool ErrorHandler::Message(const Kiv::PString& key, Container* container) {
    return Add(key, container, nullptr, kSeverityMessage);
}
bool ErrorHandler::Message(const Kiv::PString& key, Tag* tag) {
    return Add(key, nullptr, tag, kSeverityMessage);
}
bool ErrorHandler::Message(const Kiv::PString& key) {
    return Add(key, nullptr, nullptr, kSeverityMessage);
}

bool ErrorHandler::ExportNotice(const Kiv::PString&, Container*) {
    return true;
}
bool ErrorHandler::TypeSpecificationNotice(const Kiv::PString&, Tag*) {
    return true;
}

bool ErrorHandler::IsNewKey(const Kiv::PString& key) const {
    return byKey_.count(EntryOf(key)) == 0;
}

void ErrorHandler::SetRecords(const std::vector<ErrorRecord>& records) {
    Clear();
    records_ = records;
    for (const ErrorRecord& r : records_)
        Index(r, +1);
}

void ErrorHandler::SetPrint(bool print) {
    print_ = print;
}

void ErrorHandler::RemoveOwner(const void* owner, bool isTag) {
    if (owners_.count(owner) == 0) return;
    std::vector<ErrorRecord> kept;
    kept.reserve(records_.size());
    for (ErrorRecord& r : records_) {
        const void* own =
            isTag ? static_cast<const void*>(r.tag) : static_cast<const void*>(r.container);
        if (own == owner) {
            Index(r, -1);
        } else {
            kept.push_back(std::move(r));
        }
    }
    records_ = std::move(kept);
}

void ErrorHandler::ForgetTag(const Tag* tag) {
    if (tag != nullptr) RemoveOwner(tag, true);
}

void ErrorHandler::ForgetContainer(const Container* container) {
    if (container != nullptr) RemoveOwner(container, false);
}

const std::vector<ErrorRecord>& ErrorHandler::GetRecords() const {
    return records_;
}

bool ErrorHandler::Startup() {
    if (gHandler == nullptr) gHandler = new ErrorHandler();
    return true;
}

ErrorHandler* ErrorHandler::Instance() {
    return gHandler;
}

void ErrorHandler::Shutdown() {
    if (gHandler == nullptr) return;
    gHandler->Clear();
    delete gHandler;
    gHandler = nullptr;
}

}  // namespace DUVLib
