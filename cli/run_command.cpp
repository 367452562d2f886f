#include "cli/run_command.h"

#include <iostream>

#include "cli/command_handlers.h"
#include "foundation/paths.h"

namespace {

using enum CommandId;
using enum ArgumentForm;

// Every command word's handling. A path argument keeps its letter case; every other argument
// is lower-cased, as the words themselves are matched.
constexpr CommandHandler kHandlers[] = {
    {Version, Lowered, RunVersionCommand},
    {InstalledVersionLo, Lowered, RunInstalledNumberCommand},
    {InstalledVersionHi, Lowered, RunInstalledNumberCommand},
    {InstalledBuildNumberLo, Lowered, RunInstalledNumberCommand},
    {InstalledBuildNumberHi, Lowered, RunInstalledNumberCommand},
    {Echo, AsTyped, RunEchoCommand},
    {InstalledVersion, Lowered, RunInstalledNumberCommand},
    {InstalledBuildNumber, Lowered, RunInstalledNumberCommand},
    {RegisterAccount, AsTyped, RunRegisterAccountCommand},
    {CloseWexDaemon, Lowered, RunCloseWexDaemonCommand},
    {InstallCdp, AsTyped, RunInstallCdpCommand},
    {InstallFromPath, AsTyped, RunInstallFromPathCommand},
    {InstallFromVdx, Lowered, RunInstallFromVdxCommand},
    {ImportConsists, AsTyped, RunImportConsistsCommand},
    {Edit, Lowered, RunEditCommand},
    {PrintConfig, Lowered, RunPrintConfigCommand},
    {Compile, AsTyped, RunCompileCommand},
    {WexCommandHost, Lowered, RunWexCommandHostCommand},
    {Encrypt, AsTyped, RunEncryptCommand},
    {ListBuilds, AsTyped, RunListBuildsCommand},
    {Commit, Lowered, RunCommitCommand},
    {Revert, Lowered, RunRevertCommand},
    {Delete, Lowered, RunDeleteCommand},
    {GenerateKuid, Lowered, RunGenerateKuidCommand},
    {RepairDatabase, Lowered, RunRepairDatabaseCommand},
    {CompressTexture, AsTyped, RunCompressTextureCommand},
    {Authors, Lowered, RunAuthorsCommand},
    {SearchByCategory, Lowered, RunSearchByCategoryCommand},
    {Status, Lowered, RunStatusCommand},
    {Validate, Lowered, RunValidateCommand},
    {CreateCdp, AsTyped, RunCreateCdpCommand},
    {VdxParse, AsTyped, RunVdxParseCommand},
    {VdxParseFolder, AsTyped, RunVdxParseFolderCommand},
    {VdxDeleteAll, Lowered, RunVdxDeleteAllCommand},
    {BackupKeywords, Lowered, RunBackupKeywordsCommand},
    {ImportKeywords, Lowered, RunImportKeywordsCommand},
};

std::string LowerCased(std::string_view text) {
    std::string lower(text);
    LowerCaseText(lower.data(), lower.size());
    return lower;
}

}  // namespace

const CommandHandler* FindCommandHandler(CommandId id) {
    for (const CommandHandler& h : kHandlers)
        if (h.id == id) return &h;
    return nullptr;
}

int RunCommand(ResultsLog& log, EngineRecord& engine, int argc, char** argv) {
    return RunCommand(log, engine, argc, argv, std::cout, std::cerr);
}

int RunCommand(ResultsLog& log, EngineRecord& engine, int argc, char** argv, std::ostream& out,
               std::ostream& err) {
    const char* word = argc > 1 && argv[1] != nullptr ? argv[1] : "";
    const CommandWord* found = FindCommandWord(word, argc);
    const CommandHandler* handler = found != nullptr ? FindCommandHandler(found->id) : nullptr;
    if (handler == nullptr) {
        AddCommandError(log, kInvalidArgumentMessage);
        return kCommandFailed;
    }
    std::string argument;
    if (argc > 2 && argv[2] != nullptr)
        argument = handler->argument == AsTyped ? std::string(argv[2]) : LowerCased(argv[2]);
    CommandContext context{handler->id, log, engine, argc, argv, std::move(argument), out, err};
    BeginNoReplyWatch();
    int code = handler->run(context);
    // A request that got no reply is never a success, whatever the handling made of it; a
    // command that failed already keeps its own code.
    if (ReportUnsettledNoReply(context) && code == 0) code = kCommandFailed;
    return code;
}
