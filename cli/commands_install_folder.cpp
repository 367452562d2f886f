// installfrompath: installs the asset folder named, or every asset folder below a plain folder.
#include "cli/command_handlers.h"
#include "cli/folder_install.h"
#include "platform/kiv/base/file.h"

int RunInstallFromPathCommand(CommandContext& context) {
    if (context.MissingArgument()) {
        AddCommandError(context.log, kMissingInputPathMessage);
        return kCommandFailed;
    }
    Kiv::File::Path folder = ResolveFromStartFolder(context.argument);
    folder.Normalize();
    // A file is no more an asset tree than a path that leads nowhere.
    if (!Kiv::File::IsDirectory(folder.view())) {
        AddCommandError(context.log, kInvalidInputPathMessage);
        return kCommandFailed;
    }
    FolderInstallCount count = InstallFromFolderTree(folder.view(), context.log);
    if (count.handedOver == 0) {
        AddCommandError(context.log, "No asset folder was found in " + folder.str() + ".");
        return kCommandFailed;
    }
    // Each failed install has its error in the log already, from the daemon.
    return count.failed == 0 ? 0 : kCommandFailed;
}
