// The command dispatcher: the whole command vocabulary of the program. The command word
// (argv[1]) is matched, ignoring letter case, against the words in their fixed order; the first
// that matches runs. A word that matches nothing is an error.
#pragma once

#include <ostream>

#include "cli/command_context.h"

class ResultsLog;
struct EngineRecord;

// Runs the command of argv[1] with its arguments; the commands that print write to standard
// output. Returns the command's exit code: 0 success, -1 failure, unless a command gives
// another.
int RunCommand(ResultsLog& log, EngineRecord& engine, int argc, char** argv);
// The same with the printing sent to the given streams.
int RunCommand(ResultsLog& log, EngineRecord& engine, int argc, char** argv, std::ostream& out,
               std::ostream& err);

// How a command takes its argument: lower-cased, or as typed (a path).
enum class ArgumentForm : uint8_t { Lowered, AsTyped };

struct CommandHandler {
    CommandId id;
    ArgumentForm argument;
    CommandHandlerFunction run;
};

// The handling of the word (never null for a word of GetCommandWords()).
const CommandHandler* FindCommandHandler(CommandId id);

// The text of "Invalid argument..." as it is added (it ends with a line feed).
inline constexpr const char* kInvalidArgumentMessage =
    "Invalid argument, please check the help for the list of valid argument\n";
