// The command words: the whole vocabulary of the command line, in the order the dispatcher
// tries them. The first word equal to the command's first argument (ignoring letter case) runs;
// one word ("registeraccount") also needs a number of arguments and otherwise lets the words
// after it be tried.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

enum class CommandId : uint8_t {
    Version,
    InstalledVersionLo,
    InstalledVersionHi,
    InstalledBuildNumberLo,
    InstalledBuildNumberHi,
    Echo,
    InstalledVersion,
    InstalledBuildNumber,
    RegisterAccount,
    CloseWexDaemon,
    InstallCdp,
    InstallFromPath,
    InstallFromVdx,
    ImportConsists,
    Edit,
    PrintConfig,
    Compile,
    WexCommandHost,
    Encrypt,
    ListBuilds,
    Commit,
    Revert,
    Delete,
    GenerateKuid,
    RepairDatabase,
    CompressTexture,
    Authors,
    SearchByCategory,
    Status,
    Validate,
    CreateCdp,
    VdxParse,
    VdxParseFolder,
    VdxDeleteAll,
    BackupKeywords,
    ImportKeywords,
};

struct CommandWord {
    CommandId id;
    const char* word;  // lower case
    int minArgc;       // the word matches only with at least this many arguments (argv[0] on)
};

// Every command word in dispatch order.
std::span<const CommandWord> GetCommandWords();

// The first command word equal to `word` (ignoring letter case) whose argument count is met by
// argc; null when none matches. The words are interned before main, so each compare is one
// identity test.
const CommandWord* FindCommandWord(std::string_view word, int argc);
