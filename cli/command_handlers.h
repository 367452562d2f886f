// The handling of each command word; the dispatcher (run_command.h) picks one by the word.
// Each returns the command's exit code and reports through the command's results log.
#pragma once

#include "cli/command_context.h"

// commands_basic.cpp: the program's own words and the daemon's settings and life.
int RunVersionCommand(CommandContext& context);
int RunInstalledNumberCommand(CommandContext& context);  // the six installed-version words
int RunEchoCommand(CommandContext& context);
int RunRegisterAccountCommand(CommandContext& context);
int RunCloseWexDaemonCommand(CommandContext& context);

// commands_assets.cpp: one asset or the database, through the daemon.
int RunInstallCdpCommand(CommandContext& context);
int RunEditCommand(CommandContext& context);
int RunPrintConfigCommand(CommandContext& context);
int RunListBuildsCommand(CommandContext& context);
int RunCommitCommand(CommandContext& context);
int RunRevertCommand(CommandContext& context);
int RunDeleteCommand(CommandContext& context);
int RunGenerateKuidCommand(CommandContext& context);

// commands_repair.cpp
int RunRepairDatabaseCommand(CommandContext& context);

// commands_folder_search.cpp: folder install, status, validation, keywords, consists, authors
// and category search.
int RunInstallFromPathCommand(CommandContext& context);
int RunImportConsistsCommand(CommandContext& context);
int RunStatusCommand(CommandContext& context);
int RunValidateCommand(CommandContext& context);
int RunBackupKeywordsCommand(CommandContext& context);
int RunImportKeywordsCommand(CommandContext& context);
int RunAuthorsCommand(CommandContext& context);
int RunSearchByCategoryCommand(CommandContext& context);

// commands_compile.cpp: the script compiler's command line.
int RunCompileCommand(CommandContext& context);
