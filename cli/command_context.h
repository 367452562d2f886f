// What a command's handling is given, and the helpers every handler shares: its error messages
// (severity 3 in the command's results log, with or without the asset's KUID attached), the
// asset identifier of its argument, and the resolution of a relative path against the folder
// the user ran the program from.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "cli/command_words.h"
#include "configdata/kuid.h"
#include "platform/kiv/base/path.h"

class HalvexPropertyRef;
class ResultsLog;
class WEXAssetHandle;
struct EngineRecord;

struct CommandContext {
    CommandId id;
    ResultsLog& log;
    EngineRecord& engine;
    int argc;
    char** argv;  // argv[0] is the program's own; argv[argc] is null
    // The argument (argv[2]): lower-cased, except that a path keeps the letter case the user
    // typed (the file system tells cases apart). Empty when there is none.
    std::string argument;
    // Where the few commands that print directly write.
    std::ostream& out;
    std::ostream& err;

    // No argument, or an empty one.
    bool MissingArgument() const { return argument.empty(); }
    // The argument read as a KUID (any text form; the null KUID when it reads as none).
    KUID ArgumentKUID() const;
};

// A handler: the command's exit code.
using CommandHandlerFunction = int (*)(CommandContext& context);

// The parameter named "AssetID" that ties a message to the asset.
HalvexPropertyRef AssetParameter(const KUID& asset);

// The error message `text`, with no asset.
void AddCommandError(ResultsLog& log, std::string_view text);
// The error message `text` about the asset (the parameter named "AssetID").
void AddAssetError(ResultsLog& log, std::string_view text, const KUID& asset);

// The asset named by the argument (the null KUID when it names none); false, with the error
// "Missing AssetID parameter.", when there is no argument.
bool TakeAssetArgument(CommandContext& context, KUID& asset);
// TakeAssetArgument, then the asset's edit handle. An asset the daemon does not open is the
// error "Unknown AssetID." (going on with an empty handle would only fail without saying why).
bool OpenArgumentAssetForEdit(CommandContext& context, KUID& asset, WEXAssetHandle& handle);

// For the commands whose subsystem is not in this build: says so and ends with -1.
int CommandNotAvailable(CommandContext& context);

// A relative path joined to the directory the user ran the program from; an absolute one, or
// any path while that directory is unknown, as given.
Kiv::File::Path ResolveFromStartFolder(std::string_view path);

// The exit code of a failure.
inline constexpr int kCommandFailed = -1;

// Messages more than one command gives.
inline constexpr const char* kMissingAssetIdMessage = "Missing AssetID parameter.";
inline constexpr const char* kUnknownAssetIdMessage = "Unknown AssetID.";
inline constexpr const char* kMissingInputPathMessage = "Missing input path parameter.";
inline constexpr const char* kInvalidInputPathMessage = "Invalid input path.";
// A search the daemon did not answer: said, since an empty list would read as "no assets".
inline constexpr const char* kSearchFailedMessage = "The asset search failed.";
