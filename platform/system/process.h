// Processes of the operating system: starting a program detached from this one, listing the
// running processes by their executable, telling whether one still runs, and ending one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Sys {

using ProcessId = uint32_t;

struct LaunchRequest {
    std::string file;                    // the program; a relative path is taken from the
                                         // caller's current folder
    std::vector<std::string> arguments;  // after the program's own name
    std::string directory;               // working folder of the program; empty: the caller's
    std::string outputPath;              // standard output and error are appended to this
                                         // file; empty: /dev/null
};

// Starts a program detached from this process: in a session of its own, standard input from
// /dev/null, no descriptor of this process inherited, every signal at its default. The program
// is the child of a short-lived intermediate process that this call reaps, so no zombie of it
// is ever left to this process. Returns the program's process id once it runs, 0 when it
// could not be started (a program that cannot be executed included).
ProcessId LaunchDetached(const LaunchRequest& request);

struct ProcessEntry {
    ProcessId id;
    std::string executable;
};

// Every process whose executable this process may read, with the absolute path of that
// executable as the system records it (symbolic links resolved).
std::vector<ProcessEntry> ListProcesses();

// The executable of one process (as ListProcesses gives it); empty when it cannot be read. A
// program removed or replaced on disk while it runs keeps the path it was started from.
std::string GetProcessExecutable(ProcessId id);

// True when the process exists and has not ended; a process that has ended but waits for its
// parent to collect it (a zombie) is not alive. Thread ids are not process ids here.
bool IsProcessAlive(ProcessId id);

// Ends the process at once (SIGKILL). False when the id is 0 or out of range, or the process
// cannot be signalled.
bool TerminateProcess(ProcessId id);

ProcessId GetCurrentProcessId();

}  // namespace Sys
