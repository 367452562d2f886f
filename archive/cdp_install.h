// Installing one asset of an opened CDP archive into the asset database: the daemon is asked
// about the asset, an installed copy may be confirmed through a prompt, the daemon hands out
// the asset's folder (a new asset, or the installed one opened for editing), the entry's files
// are extracted into it, its configuration is written beside them and, when the caller asks,
// the edit is committed. The command host's archive install and the archive listing command
// install through here. Messages go to the caller's results log, each about the asset.
#pragma once

#include <cstdint>
#include <map>

#include "configdata/kuid.h"
#include "configdata/kuid_list.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

class ResultsLog;

// Install flags.
enum CdpInstallFlags : uint32_t {
    // Write "config.chump" and commit the edit; without it "config.txt" and no commit.
    kCdpInstallCommit = 2,
    // Set by the install itself when the entry's dsid matches its files; cleared on entry.
    kCdpInstallDsidMatched = 4,
    // Passed on to the commit.
    kCdpInstallCommitFlag8 = 8,
};

// Asked before an installed asset is overwritten. Answers 2 and 3 overwrite; any other answer
// skips the asset.
class CdpInstallPrompt {
public:
    virtual ~CdpInstallPrompt() = default;
    // The prompt and log texts are interface texts without parameters.
    virtual uint32_t Ask(const Kiv::String& prompt, const Kiv::String& logText, const KUID& asset,
                         ResultsLog& log) = 0;
};

// The keys of the prompt asked for an installed asset of this status (WEXAssetStatus bits),
// chosen in this order: open for edit, built in, from the content service, otherwise.
struct CdpPromptKeys {
    const char* prompt;
    const char* log;
};
CdpPromptKeys CdpPromptKeysForStatus(uint32_t status);

// Installs the entry. Returns the installed asset's KUID; the null KUID when it was skipped
// or failed (a message then says why, except for a skip or a failed commit). `committed`,
// when given, receives the commit's second answer. Without a prompt an installed asset is
// overwritten. A reinstalled asset is never committed, whatever the flags: its copy waits,
// open for edit, with "config.txt".
KUID InstallArchiveAsset(const TDBTagRef& entry, ResultsLog& log, uint32_t flags, bool* committed,
                         CdpInstallPrompt* prompt);

// The entry's configuration as it is installed: a deep copy without "files", "dsid",
// "compression", "folder-icon" and ".cache", its "kind" lower-cased, its "kuid-table"
// completed with what it depends on. Empty when the entry cannot be copied.
TDBTagRef CdpAssetToConfig(const TDBTagRef& entry);

// Completes the configuration's "kuid-table" with the dependencies it does not list yet, each
// under the next free number after the highest numeric child name. Child names that are not
// whole decimal numbers are kept and otherwise ignored; no name is used twice. A missing or
// empty table becomes the table of the dependencies (none is added for no dependencies).
void CdpMergeKuidTable(TDBTagRef& config, const KUIDBlockList& dependencies);

// A prompt that asks its own question, records the answer and tells the log what was done:
// answers 0 and 1 add "$wex_prompt_skipped", 2 and 3 "$wex_prompt_overwritten", as warnings
// with the asset's name and the action (the prompt's log text).
class InstallPromptAnswerer : public CdpInstallPrompt {
public:
    uint32_t Ask(const Kiv::String& prompt, const Kiv::String& logText, const KUID& asset,
                 ResultsLog& log) override;

    // Set once an answer was 4 ("for all"); stays set.
    bool AnswerForAll() const { return answerForAll_; }
    // The answers given, by asset.
    const std::map<KUID, uint32_t>& Answers() const { return answers_; }

protected:
    // How the user is asked about the asset (its name, or its KUID text when it has none).
    virtual uint32_t Question(const KUID& asset, const Kiv::String& name,
                              const Kiv::String& prompt) = 0;

private:
    bool answerForAll_ = false;
    std::map<KUID, uint32_t> answers_;
};
