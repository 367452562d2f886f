// Interface text: user-visible messages are keys that begin with "$" ("$wex_installed"), turned
// into the text of the chosen interface language by one process-wide table. The table is
// loaded on first use from the language's file in the location "data" (the install's "Data"
// folder, found through the folder records); a key the table lacks yields the key itself, so a
// missing translation shows the key rather than nothing.
//
// Loading and every look-up run under the main-thread lock, so worker threads may look texts
// up while the main thread owns the table.
#pragma once

#include <cstdint>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

class InterfaceTextDB {
public:
    // How many missing keys are logged; later misses are silent.
    static constexpr uint32_t kLoggedMisses = 10;

    virtual ~InterfaceTextDB() = default;

    // Chooses the language file by its code ("de", "FR", ...; letter case ignored). No code,
    // and "en", "au", "us", "uk", choose the English file; "ch" and codes the table does not
    // know leave the current file as it is. Does not reload (see MarkUnloaded).
    static void SetLanguage(const char* code);
    // The next use loads the current file again.
    static void MarkUnloaded();
    // The table, loaded first when it is not.
    static InterfaceTextDB& Instance();

    // The current language file's name ("InterfaceText.chump" at first).
    static Kiv::PString GetFileName();
    // Missing keys counted since start-up (for tests and diagnostics).
    static uint32_t GetMissCount();

    // The text of the key; the key itself when the table has none (an absent or empty key is
    // returned as it is). With warn set a miss is counted and the first ten are logged.
    Kiv::PString GetString(const Kiv::PString& key, bool warn);

    // The children "orvel_map_text", "orvel_spec_text" and "scenario_text" of the table (the
    // shared null node when missing), and the table itself.
    TDBTagRef GetMapText();
    TDBTagRef GetSpecText();
    TDBTagRef GetScenarioText();
    TDBTagRef GetTable();

private:
    InterfaceTextDB() = default;
    friend struct InterfaceTextState;

    // A reference to one of the table's nodes, taken under the state's lock (a reload may be
    // replacing it).
    static TDBTagRef Shared(const TDBTagRef& held);
    // Reads the current file (or its ".txt" twin) and takes the three child tables.
    void Load();

    TDBTagRef root_;
    TDBTagRef mapText_;
    TDBTagRef specText_;
    TDBTagRef scenarioText_;
};

// The key's text in the chosen language, with misses counted and logged.
Kiv::String GetInterfaceString(const char* key);
// The key's text in another table (a container whose text children are named by their keys);
// the key itself when the table has none. Nothing is counted or logged.
Kiv::PString LookupTableString(const TDBTagRef& table, const Kiv::PString& key);
