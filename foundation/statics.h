// Process-wide statics: objects that exist before main and are released at exit in the reverse
// order of their construction, and the shared words and empty values that many parts of the
// program compare against.
//
// Each static is a function-local ProcessStatic behind an accessor, and the file that owns it
// calls every accessor from a namespace-scope initialiser. So each exists before main, whatever
// touches it first (another file's initialiser may, and then it is simply built earlier), and
// the C++ runtime registers its release right after its construction, which gives the reverse
// order at exit. Interned words are made through the interned-string cache, which is never
// destroyed, so releasing a word at exit is always safe.
//
// The null-KUID text "<NULL>" is kept with the KUID type in configdata.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

// --- lifetime ledger -------------------------------------------------------------------------
// Every ProcessStatic notes its construction and its release here, so that tests can see the
// order. The ledger is a fixed array filled during static initialisation and exit: it needs no
// construction itself and allocates nothing.
struct StaticsEvent {
    const char* name;
    bool built;  // false: released
};
void NoteStatic(const char* name, bool built);
size_t StaticsEventCount();
StaticsEvent StaticsEventAt(size_t index);
// Null when the events show every static released in the reverse order of construction and
// nothing still alive; otherwise the name of the first static at fault.
const char* StaticsOrderFault(const StaticsEvent* events, size_t count);
// The same over the ledger; a full ledger is a fault too. Meant for an exit handler registered
// before any static was built.
const char* StaticsOrderFault();
// The names of the statics alive now, in the order they were built.
std::vector<std::string> LiveStatics();
// Registers an exit handler that ends the process with exit code 1, after a line on standard
// error, when StaticsOrderFault finds a fault. Tests call it before any static is built (from a
// constructor function of high priority), so the handler runs after every release.
void ArmStaticsExitCheck();

// A named process-wide object; the name is the one the ledger shows.
template <class T>
class ProcessStatic {
public:
    template <class... Args>
    explicit ProcessStatic(const char* name, Args&&... args)
        : value_(std::forward<Args>(args)...), name_(name) {
        NoteStatic(name_, true);
    }
    ~ProcessStatic() { NoteStatic(name_, false); }
    ProcessStatic(const ProcessStatic&) = delete;
    ProcessStatic& operator=(const ProcessStatic&) = delete;

    T& Get() { return value_; }
    const T& Get() const { return value_; }

private:
    T value_;
    const char* name_;
};

// --- shared words and empty values -----------------------------------------------------------
// The interned texts a boolean property reads as true: "true", "1" and "t".
const std::array<Kiv::PString, 3>& BooleanTrueWords();
// The interned empty text, the default of interned-string fields.
const Kiv::PString& EmptyPString();
// The empty String handed back by lookups that find nothing.
const Kiv::String& EmptyString();
// A second empty String, the default of the process start-up helpers and the online client.
const Kiv::String& EmptyDefaultString();
// Message-pipe notifications: "list-updated", "list-destroyed" and "pipe-closed".
const Kiv::PString& ListUpdatedWord();
const Kiv::PString& ListDestroyedWord();
const Kiv::PString& PipeClosedWord();
// The language whose interface text is used when none is chosen: "english".
const Kiv::PString& DefaultLanguageWord();
