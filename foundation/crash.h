// Crash handling and console control. In command-host mode the process arms crash handling:
// a fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) or an escaping C++ exception then writes
// one text crash report, "Halvex-49922.dmp" in the current directory (signal, address,
// backtrace), and the process ends; so does an exit while still armed, with a report. A close
// request (SIGINT, SIGHUP, SIGTERM) only sets a flag the command host polls, and the process
// does not end by it until the host has disarmed.
//
// The C runtime's invalid-parameter handler has no counterpart here: glibc reports failed
// runtime checks itself and calls abort(), which arrives as SIGABRT and gets the crash report,
// with no function, file or line to name.
#pragma once

#include <cstdint>

namespace OS {

constexpr int kBuildNumber = 49922;
constexpr const char* kCrashDumpName = "Halvex-49922.dmp";

// Console close request types, as the handler is told them.
constexpr uint32_t kCtrlC = 0;         // SIGINT
constexpr uint32_t kCtrlClose = 2;     // SIGHUP: the terminal went away
constexpr uint32_t kCtrlShutdown = 6;  // SIGTERM

// Arms crash handling. With quitAllowed false a close request does not end the process until
// DisarmCrashHandlers.
void InstallCrashHandlers(bool quitAllowed);
// Clears armed and allows quitting; a close request waiting for that then returns.
void DisarmCrashHandlers();
bool IsCrashHandlingArmed();
bool IsCloseRequested();
// A console window's close button has no counterpart on Linux (closing the terminal sends
// SIGHUP, which the close-request handling covers); nothing to do.
void RemoveConsoleCloseButton();

// Writes the crash report now, unless one was written already.
void ForceCrashDump();
// The report writer of the fault handler: only its first call writes. Async-signal-safe.
// signal 0 means a report asked for rather than a fault.
void CrashFilter(int signal, const void* address);
bool WasCrashDumpWritten();
// At exit: when still armed, writes the report.
void ExitCrashCheck();
// A close request of the given type (kCtrlC...). True when handled: the process goes on (the
// command host sees IsCloseRequested). False when quitting is allowed: the caller ends the
// process. For close, log-off and shut-down requests it returns only once quitting is allowed.
bool ConsoleCtrlHandler(uint32_t ctrlType);

// Installs the fault signal handlers (once); the guards of guarded calls need them too.
void InstallFaultHandlers();

}  // namespace OS

// Flushes standard output and error and ends the process at once with the exit code (POSIX
// keeps its low 8 bits).
[[noreturn]] void EndProcess(int exitCode);

// A debugger (any tracer) is attached to the process. Async-signal-safe.
bool IsDebuggerAttached();
