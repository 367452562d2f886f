#include "foundation/process_launch.h"

#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/kiv/base/file.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/path.h"
#include "platform/system/process.h"

namespace {

// How often a waited-for process is looked at again.
constexpr uint32_t kTerminatePollMs = 200;

// The executable the path names, in the form the process list gives: links resolved. A path
// that does not exist as written is first looked up ignoring case (files brought over from a
// case-blind file system); one that does not exist at all is only tidied.
std::string CanonicalExecutable(std::string_view path) {
    Kiv::File::Path tidy(path);
    tidy.Normalize();
    for (const std::string& candidate : {tidy.str(), Kiv::File::ResolveCase(tidy.str())}) {
        char resolved[PATH_MAX];
        if (::realpath(candidate.c_str(), resolved) != nullptr) return resolved;
    }
    return tidy.str();
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view parameters) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (size_t i = 0; i < parameters.size(); ++i) {
        char c = parameters[i];
        if (c == '"') {
            if (quoted && i + 1 < parameters.size() && parameters[i + 1] == '"') {
                current += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
            inArgument = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inArgument) args.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) args.push_back(std::move(current));
    return args;
}

uint32_t LaunchProcess(std::string_view file, std::string_view parameters,
                       std::string_view directory, uint32_t /*flags*/,
                       std::string_view outputPath) {
    if (file.empty()) return 0;
    Sys::LaunchRequest request;
    request.file.assign(file);
    request.arguments = SplitCommandLine(parameters);
    request.directory.assign(directory);
    request.outputPath.assign(outputPath);
    return Sys::LaunchDetached(request);
}

void WaitAndTerminateProcesses(std::string_view executablePath, uint32_t timeoutMs) {
    if (timeoutMs == 0) return;
    const std::string target = CanonicalExecutable(executablePath);
    const Sys::ProcessId self = Sys::GetCurrentProcessId();

    std::vector<Sys::ProcessId> matches;
    for (const Sys::ProcessEntry& p : Sys::ListProcesses())
        if (p.id != self && p.executable == target) matches.push_back(p.id);

    // One budget for all of them: the wait ends after timeoutMs however many there are.
    uint64_t remaining = timeoutMs;
    for (Sys::ProcessId id : matches) {
        while (remaining > 0 && Sys::IsProcessAlive(id)) {
            uint64_t step = std::min<uint64_t>(remaining, kTerminatePollMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(step));
            remaining -= step;
        }
        if (!Sys::IsProcessAlive(id)) continue;
        char line[64];
        std::snprintf(line, sizeof line, "Terminating process with ID %d", static_cast<int>(id));
        Kiv::Log::Write(line);
        Sys::TerminateProcess(id);
    }
}
