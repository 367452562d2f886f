#include "cli/command_words.h"

#include <array>

#include "foundation/statics.h"
#include "platform/kiv/base/pstring.h"

namespace {

constexpr CommandWord kCommandWords[] = {
    {CommandId::Version, "version", 0},
    {CommandId::InstalledVersionLo, "installedversionlo", 0},
    {CommandId::InstalledVersionHi, "installedversionhi", 0},
    {CommandId::InstalledBuildNumberLo, "installedbuildnumberlo", 0},
    {CommandId::InstalledBuildNumberHi, "installedbuildnumberhi", 0},
    {CommandId::Echo, "echo", 0},
    {CommandId::InstalledVersion, "installedversion", 0},
    {CommandId::InstalledBuildNumber, "installedbuildnumber", 0},
    {CommandId::RegisterAccount, "registeraccount", 4},
    {CommandId::CloseWexDaemon, "closewexdaemon", 0},
    {CommandId::InstallCdp, "installcdp", 0},
    {CommandId::InstallFromPath, "installfrompath", 0},
    {CommandId::InstallFromVdx, "installfromvdx", 0},
    {CommandId::ImportConsists, "importconsists", 0},
    {CommandId::Edit, "edit", 0},
    {CommandId::PrintConfig, "printconfig", 0},
    {CommandId::Compile, "compile", 0},
    {CommandId::WexCommandHost, "wexcommandhost", 0},
    {CommandId::Encrypt, "encrypt", 0},
    {CommandId::ListBuilds, "listbuilds", 0},
    {CommandId::Commit, "commit", 0},
    {CommandId::Revert, "revert", 0},
    {CommandId::Delete, "delete", 0},
    {CommandId::GenerateKuid, "generatekuid", 0},
    {CommandId::RepairDatabase, "repairdatabase", 0},
    {CommandId::CompressTexture, "compresstexture", 0},
    {CommandId::Authors, "authors", 0},
    {CommandId::SearchByCategory, "searchbycategory", 0},
    {CommandId::Status, "status", 0},
    {CommandId::Validate, "validate", 0},
    {CommandId::CreateCdp, "createcdp", 0},
    {CommandId::VdxParse, "vdxparse", 0},
    {CommandId::VdxParseFolder, "vdxparsefolder", 0},
    {CommandId::VdxDeleteAll, "vdxdeleteall", 0},
    {CommandId::BackupKeywords, "backupkeywords", 0},
    {CommandId::ImportKeywords, "importkeywords", 0},
};
constexpr size_t kCount = std::size(kCommandWords);

using InternedWords = std::array<Kiv::PString, kCount>;

InternedWords MakeInternedWords() {
    InternedWords words;
    for (size_t i = 0; i < kCount; ++i)
        words[i] = Kiv::PStringCache::Create(kCommandWords[i].word);
    return words;
}

const InternedWords& Words() {
    static ProcessStatic<InternedWords> words("command words", MakeInternedWords());
    return words.Get();
}

[[maybe_unused]] const bool builtBeforeMain = (Words(), true);

}  // namespace

std::span<const CommandWord> GetCommandWords() {
    return kCommandWords;
}

const CommandWord* FindCommandWord(std::string_view word, int argc) {
    Kiv::PString key = Kiv::PStringCache::Create(word).ToLower();
    const InternedWords& words = Words();
    for (size_t i = 0; i < kCount; ++i)
        if (words[i] == key && argc >= kCommandWords[i].minArgc) return &kCommandWords[i];
    return nullptr;
}
