// Batch files: "@name" on the command line names a text file whose every line runs as one
// command, exactly as if it had been typed after the program's name. This is the reader loop;
// running a command (its results log, the guarded call and the printed summary) is the
// caller's, handed in as a function.
//
// Beyond the line rules of batch_line.h:
//   - a relative file name is taken from the folder the user ran the program from, not from
//     the program's folder that start-up changes to;
//   - empty and blank lines are skipped, and the line end of the last line makes no extra
//     command;
//   - a line longer than the line buffer does not run at all (its rest would otherwise run as
//     a command of its own); a line with text but no argument (its only quote never closed)
//     does not run either. Each is an error on standard error that fails the batch, and the
//     next line runs.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/kiv/base/path.h"

// Runs one command with the arguments a command line would give it (argv[0] is the program's
// own; argv[argc] is null) and returns its exit code.
using BatchCommandRunner = std::function<int(int argc, char** argv)>;

// The file named after the "@": a relative name joined to startFolder, the folder the program
// was started from; an absolute one as given.
Kiv::File::Path ResolveBatchFilePath(std::string_view name, std::string_view startFolder);

// Runs every line of the batch file `name` (as typed, without the "@"). After each command
// that ran, one empty line goes to `out`. Returns 0 when every line ran and every command
// returned 0, else -1. A file that is not there, or cannot be read, is one line on `err` and
// -1 without any command run.
int RunBatchFile(std::string_view name, std::string_view startFolder, const char* argv0,
                 const BatchCommandRunner& run, std::ostream& out, std::ostream& err);
