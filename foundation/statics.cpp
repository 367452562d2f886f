#include "foundation/statics.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr size_t kLedgerSize = 512;

// Constant-initialised: usable by the first static built, whichever file it lives in.
StaticsEvent g_ledger[kLedgerSize];
std::atomic<size_t> g_ledgerCount{0};

}  // namespace

void NoteStatic(const char* name, bool built) {
    size_t at = g_ledgerCount.fetch_add(1, std::memory_order_acq_rel);
    if (at < kLedgerSize) g_ledger[at] = StaticsEvent{name, built};
}

size_t StaticsEventCount() {
    size_t n = g_ledgerCount.load(std::memory_order_acquire);
    return n < kLedgerSize ? n : kLedgerSize;
}

StaticsEvent StaticsEventAt(size_t index) {
    return index < StaticsEventCount() ? g_ledger[index] : StaticsEvent{nullptr, false};
}

namespace {

// Replays the events as a stack: each release must be of the latest static still alive. Leaves
// the statics alive at the end in `alive`; returns the first one released out of order.
const char* Replay(const StaticsEvent* events, size_t count, std::vector<const char*>& alive) {
    for (size_t i = 0; i < count; ++i) {
        if (events[i].built) {
            alive.push_back(events[i].name);
        } else if (alive.empty() || alive.back() != events[i].name) {
            return events[i].name;
        } else {
            alive.pop_back();
        }
    }
    return nullptr;
}

}  // namespace

const char* StaticsOrderFault(const StaticsEvent* events, size_t count) {
    std::vector<const char*> alive;
    if (const char* fault = Replay(events, count, alive)) return fault;
    return alive.empty() ? nullptr : alive.back();
}

std::vector<std::string> LiveStatics() {
    std::vector<const char*> alive;
    Replay(g_ledger, StaticsEventCount(), alive);
    return std::vector<std::string>(alive.begin(), alive.end());
}

const char* StaticsOrderFault() {
    if (g_ledgerCount.load(std::memory_order_acquire) > kLedgerSize)
        return "more statics than the ledger holds";
    return StaticsOrderFault(g_ledger, StaticsEventCount());
}

void ArmStaticsExitCheck() {
    std::atexit([] {
        if (const char* fault = StaticsOrderFault()) {
            std::fprintf(stderr, "process-wide static '%s' released out of order or never\n",
                         fault);
            std::fflush(stdout);
            std::fflush(stderr);
            _exit(1);
        }
    });
}

const std::array<Kiv::PString, 3>& BooleanTrueWords() {
    static const ProcessStatic<std::array<Kiv::PString, 3>> words(
        "boolean words",
        std::array<Kiv::PString, 3>{Kiv::PString("true"), Kiv::PString("1"), Kiv::PString("t")});
    return words.Get();
}

const Kiv::PString& EmptyPString() {
    static const ProcessStatic<Kiv::PString> word("empty interned string", "");
    return word.Get();
}

const Kiv::String& EmptyString() {
    static const ProcessStatic<Kiv::String> text("empty String");
    return text.Get();
}

const Kiv::String& EmptyDefaultString() {
    static const ProcessStatic<Kiv::String> text("second empty String");
    return text.Get();
}

const Kiv::PString& PipeClosedWord() {
    static const ProcessStatic<Kiv::PString> word("pipe-closed", "pipe-closed");
    return word.Get();
}

const Kiv::PString& DefaultLanguageWord() {
    static const ProcessStatic<Kiv::PString> word("english", "english");
    return word.Get();
}

const Kiv::PString& ListUpdatedWord() {
    static const ProcessStatic<Kiv::PString> word("list-updated", "list-updated");
    return word.Get();
}

const Kiv::PString& ListDestroyedWord() {
    static const ProcessStatic<Kiv::PString> word("list-destroyed", "list-destroyed");
    return word.Get();
}

namespace {

// Builds every static of this file before main, in the order of the shared-words table.
[[maybe_unused]] const bool kBuilt = [] {
    BooleanTrueWords();
    EmptyPString();
    EmptyString();
    EmptyDefaultString();
    PipeClosedWord();
    DefaultLanguageWord();
    ListUpdatedWord();
    ListDestroyedWord();
    return true;
}();

}  // namespace
