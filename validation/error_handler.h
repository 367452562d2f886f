// DUVLib::ErrorHandler: the one process-wide collector of the validator's findings. Every check
// reports an error, a warning or a message naming the container or tag it concerns (or
// nothing), with its text. A finding already reported for the same owner, or for an ownerless
// finding anywhere, is dropped; the rest are kept in order for the validation entry to read.
//
// Duplicates are found through hashed counts on (owner, text) and on text alone, so the cost
// of a finding does not grow with the number already kept.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/kiv/base/pstring.h"

namespace DUVLib {

class Container;
class Tag;

enum Severity : uint32_t { kSeverityMessage = 0, kSeverityWarning = 2, kSeverityError = 3 };

struct ErrorRecord {
    Container* container = nullptr;
    Tag* tag = nullptr;
    Kiv::PString key;  // the finding's text as the caller gave it
    uint32_t severity = kSeverityMessage;
};

class ErrorHandler {
public:
    ErrorHandler() = default;
    virtual ~ErrorHandler();
    ErrorHandler(const ErrorHandler&) = delete;
    ErrorHandler& operator=(const ErrorHandler&) = delete;

    virtual void Clear();
    virtual bool Error(const Kiv::PString& key, Container* container);
    virtual bool Error(const Kiv::PString& key, Tag* tag);
    virtual bool Error(const Kiv::PString& key);
    virtual bool Warning(const Kiv::PString& key, Container* container);
    virtual bool Warning(const Kiv::PString& key, Tag* tag);
    virtual bool Warning(const Kiv::PString& key);
    virtual bool Message(const Kiv::PString& key, Container* container);
    virtual bool Message(const Kiv::PString& key, Tag* tag);
    virtual bool Message(const Kiv::PString& key);
    // Trace notices; they record nothing. Callers that would format a notice ask
    // WantsNotices() first, so a check does not pay for texts nobody keeps.
    virtual bool ExportNotice(const Kiv::PString& text, Container* container);
    virtual bool TypeSpecificationNotice(const Kiv::PString& text, Tag* tag);
    // False when any record holds the key.
    virtual bool IsNewKey(const Kiv::PString& key) const;
    // Replaces the records by a copy of the given ones.
    virtual void SetRecords(const std::vector<ErrorRecord>& records);
    virtual void SetPrint(bool print);
    // Removes every record owned by the tag or container being destroyed, so that an object
    // made later at the same address inherits none of its findings.
    virtual void ForgetTag(const Tag* tag);
    virtual void ForgetContainer(const Container* container);
    virtual const std::vector<ErrorRecord>& GetRecords() const;

    virtual bool WantsNotices() const { return false; }

    static bool Startup();
    // The handler; null before Startup and after Shutdown.
    static ErrorHandler* Instance();
    static void Shutdown();

private:
    struct OwnerKey {
        const void* owner;
        const void* key;  // the interned entry: identity
        bool operator==(const OwnerKey&) const = default;
    };
    struct OwnerKeyHash {
        size_t operator()(const OwnerKey& k) const {
            return std::hash<const void*>()(k.owner) * 31u + std::hash<const void*>()(k.key);
        }
    };

    bool Add(const Kiv::PString& key, Container* container, Tag* tag, uint32_t severity);
    void Index(const ErrorRecord& record, int delta);
    void RemoveOwner(const void* owner, bool isTag);

    bool print_ = false;
    std::vector<ErrorRecord> records_;
    // Records per (container, text), (tag, text) and text; owners with any record.
    std::unordered_map<OwnerKey, uint32_t, OwnerKeyHash> byContainer_;
    std::unordered_map<OwnerKey, uint32_t, OwnerKeyHash> byTag_;
    std::unordered_map<const void*, uint32_t> byKey_;  // by the interned entry
    std::unordered_map<const void*, uint32_t> owners_;
};

}  // namespace DUVLib
