// The handling of each command word; the dispatcher (run_command.h) picks one by the word.
// Each returns the command's exit code and reports through the command's results log.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "cli/command_context.h"

// commands_basic.cpp: the program's own words and the daemon's settings and life.
int RunVersionCommand(CommandContext& context);
int RunInstalledNumberCommand(CommandContext& context);  // the six installed-version words
int RunEchoCommand(CommandContext& context);
int RunRegisterAccountCommand(CommandContext& context);
int RunCloseWexDaemonCommand(CommandContext& context);

// commands_assets.cpp: one asset or the database, through the daemon.
int RunInstallCdpCommand(CommandContext& context);
int RunWexCommandHostCommand(CommandContext& context);
int RunEditCommand(CommandContext& context);
int RunPrintConfigCommand(CommandContext& context);
int RunListBuildsCommand(CommandContext& context);
int RunCommitCommand(CommandContext& context);
int RunRevertCommand(CommandContext& context);
int RunDeleteCommand(CommandContext& context);
int RunGenerateKuidCommand(CommandContext& context);

// commands_textures.cpp
int RunCompressTextureCommand(CommandContext& context);

// commands_repair.cpp
int RunRepairDatabaseCommand(CommandContext& context);

// commands_install_folder.cpp (with folder_install.h)
int RunInstallFromPathCommand(CommandContext& context);
// import_consists.cpp
int RunImportConsistsCommand(CommandContext& context);

// commands_status.cpp: "+ <KUID> : <seven status letters> : <category codes> : <user name>" to
// `out`; false, with "Unknown AssetID.", for an asset the daemon does not hold.
bool PrintAssetStatus(const KUID& asset, ResultsLog& log, std::ostream& out);
int RunStatusCommand(CommandContext& context);

// commands_validate.cpp: false, without a message, when the asset cannot be opened for
// editing; otherwise the validation's messages (or the obsolete-build error) are in the log.
bool ValidateAssetCommand(const KUID& asset, ResultsLog& log);
int RunValidateCommand(CommandContext& context);

// commands_keywords.cpp: the keyword file `fileName` in `folder` (the working directory when
// empty), in the config form `extension` names. Each failure is an error in the log.
bool BackupKeywords(std::string_view folder, std::string_view fileName, std::string_view extension,
                    ResultsLog& log);
bool ImportKeywords(std::string_view folder, std::string_view fileName, std::string_view extension,
                    ResultsLog& log);
int RunBackupKeywordsCommand(CommandContext& context);
int RunImportKeywordsCommand(CommandContext& context);

// commands_authors_search.cpp. CollectAuthorIds: the author's name of one asset (empty when
// the daemon gives none).
std::string CollectAuthorIds(const KUID& asset);
int RunAuthorsCommand(CommandContext& context);
int RunSearchByCategoryCommand(CommandContext& context);

// commands_vendrix.cpp: the content service's commands.
int RunInstallFromVdxCommand(CommandContext& context);
// commands_vdxparse.cpp: one archive made ready for the service; true when every asset was
// installed, committed and archived.
bool CmdVDXParse(const std::string& path, CommandContext& context);
int RunVdxParseCommand(CommandContext& context);
// commands_vdxfolder.cpp
int RunVdxParseFolderCommand(CommandContext& context);
int RunVdxDeleteAllCommand(CommandContext& context);

// commands_createcdp.cpp: an archive of installed assets.
int RunCreateCdpCommand(CommandContext& context);

// commands_compile.cpp: the script compiler's command line.
int RunCompileCommand(CommandContext& context);
// commands_encrypt.cpp: a ".gs" source written as ".gse".
int RunEncryptCommand(CommandContext& context);
