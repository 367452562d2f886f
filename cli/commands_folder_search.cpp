// The commands on asset folders, asset status, validation, keywords, old consist lists,
// authors and category searches. Their handling comes in a later step of the build; until then
// each says that it is not available and fails.
#include "cli/command_handlers.h"

int RunInstallFromPathCommand(CommandContext& context) {
    return CommandNotAvailable(context);
}

int RunImportConsistsCommand(CommandContext& context) {
    return CommandNotAvailable(context);
}

int RunStatusCommand(CommandContext& context) {
    return CommandNotAvailable(context);
}

int RunValidateCommand(CommandContext& context) {
    return CommandNotAvailable(context);
}

int RunBackupKeywordsCommand(CommandContext& context) {
    return CommandNotAvailable(context);
}

int RunImportKeywordsCommand(CommandContext& context) {
    return CommandNotAvailable(context);
}

int RunAuthorsCommand(CommandContext& context) {
    return CommandNotAvailable(context);
}

int RunSearchByCategoryCommand(CommandContext& context) {
    return CommandNotAvailable(context);
}
