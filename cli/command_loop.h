// The command loop: one command from the command line, or every line of a batch file, each with
// a fresh results log, run inside the exception guard and followed by the printed log and its
// summary line. Also the script runtime's log hook, which the program installs after start-up.
#pragma once

#include <ostream>
#include <string_view>

class ResultsLog;
struct EngineRecord;

// A command as the loop runs it (RunCommand, unless a test gives another).
using GuardedCommand = int (*)(ResultsLog& log, EngineRecord& engine, int argc, char** argv,
                               std::ostream& out, std::ostream& err);

// Turns the guards on and runs the command inside the guard: a fault or an exception escaping
// it ends the process at once with exit code -100 (POSIX 156), without a summary. Returns the
// command's exit code.
int RunCommandGuarded(ResultsLog& log, EngineRecord& engine, int argc, char** argv);
int RunCommandGuarded(ResultsLog& log, EngineRecord& engine, int argc, char** argv,
                      std::ostream& out, std::ostream& err, GuardedCommand command);

// One command: a fresh log, the guarded run, the summary. Returns the command's own exit code.
int RunLoggedCommand(EngineRecord& engine, int argc, char** argv, std::ostream& out,
                     std::ostream& err, GuardedCommand command = nullptr);

// The batch file `name` (as typed after the "@"; a relative name is taken from the directory
// the user ran the program from): every line one logged command followed by an empty line.
// Returns 0 when every line ran and returned 0, else -1; a file that is not there is one line
// on `err` and -1.
int RunBatch(EngineRecord& engine, std::string_view name, const char* argv0, std::ostream& out,
             std::ostream& err, GuardedCommand command = nullptr);

// The script runtime's log hook: one line "ScriptLog> <text>" in the process log, the text cut
// to kScriptLogBufferSize - 1 bytes.
inline constexpr size_t kScriptLogBufferSize = 16384;
void ScriptLogCallback(const char* format, ...) __attribute__((format(printf, 1, 2)));
