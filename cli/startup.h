// Start-up and shutdown of everything a command needs, in a fixed order: the validation
// singletons, the program's folder as working directory (the caller's directory is saved for
// relative paths), the engine objects with the program's own options, the network libraries,
// the install and user-data folders, the daemon link, the main thread's record, the interface
// language and the engine's image plug-in family. Shutdown takes them down in the reverse
// order and tolerates what never came up.
//
// For tests only: the environment variable HALVEX_TEST_LINK_RETRY_MS, when it holds a number of
// milliseconds (0 to 60000), replaces the daemon link's wait of one second between its
// attempts, so that a test of a start-up without a daemon need not wait out the retries. It is
// read here and nowhere else.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/engine_objects.h"
#include "cli/plugin_holder.h"
#include "platform/kiv/base/path.h"

inline constexpr const char* kLinkRetryEnvironment = "HALVEX_TEST_LINK_RETRY_MS";

// Brings everything up for the running program; the lines of a failed step go to `err`. True
// exactly when the daemon link is up at the end; whatever came up before a failure stays for
// ShutdownEngine.
bool InitEngine(EngineRecord& record, int argc, const char* const* argv, std::ostream& err);
// The same as if the program were the one at programPath (tests start up "as" a program in a
// temporary install).
bool InitEngineAt(const Kiv::File::Path& programPath, EngineRecord& record, int argc,
                  const char* const* argv, std::ostream& err);

// Takes down what start-up brought up, in the reverse order, and empties the record.
void ShutdownEngine(EngineRecord& record);

// The directory the user ran the program from (relative path arguments are taken from it); the
// process itself works in the program's folder after start-up. Empty before start-up.
const std::string& GetSavedWorkingDirectory();
// The program's own path and folder, as start-up found them (empty before start-up).
const Kiv::File::Path& GetStartedProgramPath();
Kiv::File::Path GetStartedProgramFolder();

// The engine's image plug-in family type, looked up at start-up (empty when none is
// registered).
const PluginHolder& GetImagePluginHolder();

// Chooses the interface text of the daemon's "language" setting ("US" when it has none) for
// the next look-up.
void SetInterfaceLanguageFromSettings();

// Applies kLinkRetryEnvironment to the daemon link's timing when it is set and well formed.
void ApplyLinkRetryFromEnvironment();
// The wait a value of kLinkRetryEnvironment asks for; none when it is not a number of
// milliseconds from 0 to 60000.
std::optional<uint32_t> ParseLinkRetryMs(std::string_view text);
