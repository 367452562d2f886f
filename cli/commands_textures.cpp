// compresstexture: every texture description of a folder converted into a compressed texture
// beside it. A relative folder is taken from the program's folder (the process's working
// directory after start-up), not from where the user ran the program.
#include <unistd.h>

#include "cli/command_handlers.h"
#include "materials/texture_conversion.h"
#include "platform/kiv/base/path.h"

namespace {

Kiv::File::Path ResolveFromProgramFolder(std::string_view argument) {
    if (Kiv::File::Path::IsAbsolute(argument)) return Kiv::File::Path(argument);
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return Kiv::File::Path(argument);
    Kiv::File::Path path(cwd);
    path.AddPath(argument);
    return path.Normalize();
}

}  // namespace

int RunCompressTextureCommand(CommandContext& context) {
    if (context.MissingArgument()) {
        AddCommandError(context.log, kMissingAssetIdMessage);
        return kCommandFailed;
    }
    const Kiv::File::Path folder = ResolveFromProgramFolder(context.argument);
    return CompressTextures(folder.view(), context.log) ? 0 : kCommandFailed;
}
