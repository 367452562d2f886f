// encrypt: a VuruDadeda source (".gs") written beside itself in its scrambled form (".gse"),
// from the directory the user ran the program from.
#include "cli/command_handlers.h"
#include "cli/startup.h"
#include "cli/working_directory.h"
#include "platform/kiv/base/path.h"
#include "script/compiler/gs_source_file.h"

namespace {

constexpr const char* kInvalidFilePathMessage = "Invalid file path.";
// The source loaded but its scrambled form could not be written: said, and a failure, since
// no file came of it.
constexpr const char* kWriteFailedMessage = "Failed to write output file.";

}  // namespace

int RunEncryptCommand(CommandContext& context) {
    Kiv::File::Path input(context.argument);
    if (context.MissingArgument() || !input.IsExt("gs")) {
        AddCommandError(context.log, kInvalidFilePathMessage);
        return kCommandFailed;
    }
    WorkingDirectoryScope inStartFolder(GetSavedWorkingDirectory());
    Kiv::File::Path output = input;
    output.SetExt("gse");
    GSCompiler::GSSourceFile source;
    if (!source.Load("", input.str())) {
        AddCommandError(context.log, kInvalidFilePathMessage);
        return kCommandFailed;
    }
    if (!source.Save("", output.str())) {
        AddCommandError(context.log, kWriteFailedMessage);
        return kCommandFailed;
    }
    return 0;
}
