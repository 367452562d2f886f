#include "cli/command_loop.h"

#include <cstdarg>
#include <cstdio>
#include <iostream>

#include "cli/batch_file.h"
#include "cli/results_summary.h"
#include "cli/run_command.h"
#include "cli/startup.h"
#include "foundation/call_guard.h"
#include "foundation/logging.h"
#include "validation/results_log.h"

namespace {

int RunCommandToStreams(ResultsLog& log, EngineRecord& engine, int argc, char** argv,
                        std::ostream& out, std::ostream& err) {
    return RunCommand(log, engine, argc, argv, out, err);
}

}  // namespace

int RunCommandGuarded(ResultsLog& log, EngineRecord& engine, int argc, char** argv) {
    return RunCommandGuarded(log, engine, argc, argv, std::cout, std::cerr, nullptr);
}

int RunCommandGuarded(ResultsLog& log, EngineRecord& engine, int argc, char** argv,
                      std::ostream& out, std::ostream& err, GuardedCommand command) {
    if (command == nullptr) command = RunCommandToStreams;
    SetCallGuards(true);
    return RunGuarded([&] { return command(log, engine, argc, argv, out, err); });
}

int RunLoggedCommand(EngineRecord& engine, int argc, char** argv, std::ostream& out,
                     std::ostream& err, GuardedCommand command) {
    ResultsLog log;
    int exitCode = RunCommandGuarded(log, engine, argc, argv, out, err, command);
    PrintResultsSummary(log, out);
    return exitCode;
}

int RunBatch(EngineRecord& engine, std::string_view name, const char* argv0, std::ostream& out,
             std::ostream& err, GuardedCommand command) {
    return RunBatchFile(
        name, GetSavedWorkingDirectory(), argv0,
        [&](int argc, char** argv) {
            return RunLoggedCommand(engine, argc, argv, out, err, command);
        },
        out, err);
}

void ScriptLogCallback(const char* format, ...) {
    char buffer[kScriptLogBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    LogOutputf("ScriptLog> %s", buffer);
}
