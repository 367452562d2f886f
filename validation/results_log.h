// ResultsLog: the messages of one operation (a command, a database task, a validation), each
// with a severity, a text and a parameter, as the program reports what happened. A log is
// filled by any thread, printed at the end of a command, sent to the database daemon in the
// command host's answers and read back from the daemon's replies and notifications.
//
// Every operation holds the log's own re-entrant lock for its whole length. Objects joined to
// the log by pipes hear "list-updated" whenever messages arrive and "list-destroyed" when the
// log goes; both are delivered on the adding thread while the lock is held, so a receiver must
// not wait for another thread that needs the same log.
//
// Wire form (little-endian u32 words): the format word 0; the count of entries that follow;
// then per entry its severity, its text (a u32 length without NUL and the bytes; a text over
// 65535 bytes goes as length 0) and its parameter (the property record: kind word 0 alone, or
// the kind, the name and the value text as interned-string fields; a KUID has kind 8 and its
// text form as value).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "configdata/property.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/sync.h"
#include "platform/kiv/base/text.h"
#include "validation/nu_message.h"
#include "validation/results_entry_ring.h"

class TBuffer;
class TStream;

class ResultsLog : public NuMessageRecipient {
public:
    // An empty log: no entries, counts 0, reported, no context, no pipes.
    ResultsLog();
    // Leaves the results map, tells the pipes "list-destroyed", drops context and entries,
    // then closes the pipes.
    ~ResultsLog() override;
    ResultsLog(const ResultsLog&) = delete;
    // Replaces the entries and counts by copies of the other log's (the context stack and
    // pipes are not copied; no message is sent); the log is then not reported. Takes this
    // log's lock before the other's, so two threads must not copy two logs into each other at
    // once.
    ResultsLog& operator=(const ResultsLog& other);

    // Messages added without a parameter of their own take the top of the context stack.
    void PushContext(const HalvexPropertyRef& context);
    // Drops the top; nothing on an empty stack.
    void PopContext();
    uint32_t GetContextDepth();

    // Writes the wire form of the entries from index `first` on (a count of 0 when `first` is
    // past the end); the log is then reported.
    void WriteToStream(TStream& stream, uint32_t first);
    // Appends the entries of one wire form read from the buffer's position to `log`, counting
    // their severities. Any format word but 0 reads no entries. Reading stops at the first
    // entry that is not there whole (the buffer's error code tells why); the entries before it
    // stay. In every case the log is not reported afterwards and its pipes hear
    // "list-updated".
    static void ReadFromBuffer(TBuffer& buffer, ResultsLog& log);

    uint32_t GetCount();
    uint32_t GetWarningCount();
    uint32_t GetErrorCount();
    uint32_t GetSuccessCount();
    // True when nothing was added since the log was last written out or printed.
    bool IsReported();
    // The front end marks a log reported once it printed it.
    void SetReported(bool reported);

    // A copy of the entry at that index; an empty entry (severity 0) past the end.
    ResultsLogEntry GetEntry(uint32_t index);
    // Calls visit for every entry in the order added, under the log's lock.
    void ForEachEntry(const std::function<void(const ResultsLogEntry&)>& visit);
    // The log's lock, for callers that read several things at once.
    Kiv::Mutex& GetLock() { return lock_; }

private:
    friend void AddMessage(ResultsLog& log, uint32_t severity, const HalvexPropertyRef& parameter,
                           Kiv::String text, const TDBTagRef& values);

    uint32_t ReadLocked(const uint32_t& counter);
    // Caller holds the lock. Stores the entry and counts its severity.
    void AppendLocked(ResultsLogEntry entry);
    // Caller holds the lock. Marks the log not reported and tells the pipes.
    void ChangedLocked();

    Kiv::Mutex lock_;
    ResultsEntryRing entries_;
    uint32_t warnings_ = 0;
    uint32_t errors_ = 0;
    uint32_t successes_ = 0;
    bool reported_ = true;
    std::vector<HalvexPropertyRef> context_;
};

// Adds one message to the log. The parameter is the given one, or else the top of the context
// stack, or else none. A text that is a single interface-text key ("$" and a name without
// blanks) becomes that key's text in the chosen language first, so that the placeholders of
// the looked-up text are filled too. When `values` holds a container, each of its children in
// turn replaces
// every placeholder "$(" name ")" of the text, the name matched in any letter case, by the
// child's value as text; an inserted value is never expanded again, and a placeholder no child
// names stays as it is. The pipes then hear "list-updated".
void AddMessage(ResultsLog& log, uint32_t severity, const HalvexPropertyRef& parameter,
                Kiv::String text, const TDBTagRef& values = TDBTagRef());
