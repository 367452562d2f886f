// What a command's handling is given, and the helpers every handler shares: its error messages
// (severity 3 in the command's results log, with or without the asset's KUID attached), the
// asset identifier of its argument, and the resolution of a relative path against the folder
// the user ran the program from.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/command_words.h"
#include "configdata/kuid.h"
#include "platform/kiv/base/path.h"

class HalvexPropertyRef;
class ResultsLog;
class WEXAssetHandle;
struct WEXAssetInfo;
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

// Requests the daemon left unanswered (its link dropped, or it could not be reached). A daemon's
// "no" and no answer at all must never read alike: a command whose call failed looks at a mark
// taken before the call, and reports a lost reply as such. ReportNoReply adds the error naming
// the asset ("The request got no reply: <cause>." about it) or the subject ("<subject> got no
// reply: <cause>.") and the cause, and settles the unanswered
// requests made so far; SettleNoReply settles them without a message, for a command that has
// learned the truth from the daemon since. The dispatcher reports whatever a command left
// unsettled, naming the command's argument, and ends the command with -1.
class NoReplyMark {
public:
    NoReplyMark();
    // A request made since the mark went unanswered.
    bool Any() const;

private:
    uint64_t at_;
};
void ReportNoReply(ResultsLog& log, const KUID& asset);
void ReportNoReply(ResultsLog& log, std::string_view subject);
void SettleNoReply();
// After a change to the asset went unanswered the change may have landed or not: the daemon is
// asked again (through a new link, starting the daemon when it is gone) for the asset's record
// and `landed` tells from it whether the change is in place. Landed: the lost reply is settled
// and true comes back. Not landed: the error "The daemon stopped before <change> landed." about
// the asset ("Unknown AssetID." when the daemon no longer knows it); no record either: the lost
// reply is reported. False in both.
using AssetStateTest = bool (*)(const WEXAssetInfo& info);
bool ConfirmAfterNoReply(ResultsLog& log, const KUID& asset, std::string_view change,
                         AssetStateTest landed);

// Called by the dispatcher around each command: true, with the error added, when a request of
// the command went unanswered and the command did not say so itself.
void BeginNoReplyWatch();
bool ReportUnsettledNoReply(const CommandContext& context);

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
