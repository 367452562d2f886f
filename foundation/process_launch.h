// Starting a program (the database daemon) detached from this one, and finding and ending the
// running copies of a program by its executable's path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Launch flags. The program opens no windows on this platform, so both only document the
// caller's intent.
constexpr uint32_t kLaunchMinimised = 1;
constexpr uint32_t kLaunchHidden = 2;

// Starts file with the parameters (one text, split as a command line is) in the directory
// (empty: the caller's), detached: standard input from /dev/null, output and error to
// outputPath or else /dev/null, nothing of this process's descriptors inherited. Returns the
// program's process id, 0 on any failure (an empty file name included). Paths keep their '/'.
uint32_t LaunchProcess(std::string_view file, std::string_view parameters,
                       std::string_view directory, uint32_t flags,
                       std::string_view outputPath = {});

// Waits up to timeoutMs in all for every other process running the executable at
// executablePath (compared as the exact file, after resolving links and "." / ".." in the
// given path) to end, then ends those still running, logging "Terminating process with ID %d"
// for each. The calling process is never touched; a time-out of 0 ends nothing.
void WaitAndTerminateProcesses(std::string_view executablePath, uint32_t timeoutMs);

// Splits a parameter text into arguments: blanks separate them, double quotes group blanks into
// one argument and are dropped, and "" inside quotes stands for one quote character.
std::vector<std::string> SplitCommandLine(std::string_view parameters);
