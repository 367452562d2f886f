// The program's output paths. Diagnostic lines ("Function> text") and fatal errors go to the
// engine log through the process log client "Halvex"; start-up points the engine log at
// standard output ("-LogStdOut") or discards it. Crash and console-event messages go through
// OS::LogLine, a small line writer to standard output (UTF-16 when a parent's pipe is standard
// output) that also hands each line to the registered log listeners.
#pragma once

#include <cstddef>

#include "platform/kiv/base/log.h"

// The engine log client of the program, named "Halvex".
Kiv::LogClient& ProcessLogClient();

// One printf-style line to the process log. Never fails visibly.
void LogOutputf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Logs the text as LogOutputf does, shows it as a message box would (a line "Error: text" on
// standard error) and ends the process with exit code 1. An armed process writes its crash
// report first, as at any exit while armed.
[[noreturn]] void FatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Receives every line of OS::LogLine.
class LogListener {
public:
    virtual ~LogListener() = default;
    virtual void OnLogLine(const char* line) = 0;
};
void AddLogListener(LogListener* listener);
void RemoveLogListener(LogListener* listener);

namespace OS {

// Formatting buffer of the line writers: starts at this many characters, doubles while the
// text does not fit up to the maximum, and text longer than the maximum less one is cut there.
constexpr size_t kLogLineStart = 4096;
constexpr size_t kLogLineMax = 65536;

// Writes the text and a line feed to standard output, then hands the line to the listeners,
// unless the line comes from a listener's own output (that would recurse).
void LogLine(const char* text);
void LogLineA(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogLineW(const wchar_t* format, ...);

}  // namespace OS
