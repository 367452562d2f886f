// The command host: run with the command word "wexcommandhost", the program registers with the
// database daemon as its host and carries out the calls the daemon sends it (notifications of
// type 1) on the main thread, one at a time, posting each answer back (message 141).
//
// Calls (u32 id, then the payload):
//   0 validate          name: resource-database name of the location; name: the asset's folder
//   1 texture convert   name: resource-database name; text: the folder
//   2 save to archive   u32 archive word; name: the archive file; KUID list: the assets
//   3 install archive   u32 archive word; name: the archive file; KUID list: the assets
// Answers: the results log in its wire form, then 0: byte 1 when validation succeeded;
// 1: u32 the conversion's result; 2: u32 1 when every asset was saved; 3: the KUID list of the
// requested assets that were not installed. A call whose payload cannot be read whole gets an
// empty answer, as does an unknown id.
//
// The work of each call stands above this subsystem (validation, textures, archives): start-up
// installs it here as calls. Where none is installed the call says that it is not available in
// this build, in its proper answer, never as a success.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "configdata/kuid.h"
#include "platform/kiv/base/pstring.h"

class ResultsLog;
class TStream;

enum WEXCommandHostCallId : uint32_t {
    kHostCallValidate = 0,
    kHostCallTextureConvert = 1,
    kHostCallSaveToDisk = 2,
    kHostCallInstall = 3,
};

struct WEXCommandHostCall {
    uint32_t id = 0;
    Kiv::PString location;  // 0, 1
    std::string folder;     // 0, 1
    uint32_t archiveWord = 0;
    std::string archivePath;  // 2, 3
    std::vector<KUID> assets;
};

// Reads one call. False when the payload cannot be read whole (or its count claims more ids
// than it holds); an unknown id reads as just its id. A short id reads as 0.
bool ReadCommandHostCall(TStream& payload, WEXCommandHostCall& out);

// The work behind the calls, installed at start-up.
struct WEXCommandHostCalls {
    // Validates the asset folder into the log: its success.
    bool (*validate)(const Kiv::PString& location, std::string_view folder,
                     ResultsLog& log) = nullptr;
    // Converts the folder's textures: the conversion's result word.
    uint32_t (*convertTextures)(const Kiv::PString& location, std::string_view folder,
                                ResultsLog& log) = nullptr;
    // Writes the assets' archive file: true when every asset was saved. A file that cannot be
    // written is an error in the log and false.
    bool (*saveToDisk)(uint32_t archiveWord, std::string_view path, const std::vector<KUID>& assets,
                       ResultsLog& log) = nullptr;
    // Installs the requested assets from the archive file; removes from `assets` each one
    // installed.
    bool (*install)(uint32_t archiveWord, std::vector<KUID>& assets, std::string_view path,
                    ResultsLog& log) = nullptr;
};
void WEXSetCommandHostCalls(const WEXCommandHostCalls& calls);
WEXCommandHostCalls WEXGetCommandHostCalls();

// The messages of calls whose work this build lacks.
inline constexpr const char* kValidationNotAvailable = "Validation is not available in this build.";
inline constexpr const char* kTexturesNotAvailable =
    "Texture conversion is not available in this build.";
inline constexpr const char* kArchivesNotAvailable = "Archives are not available in this build.";

// Command 0's handler: the installed validation, or the error above and false.
bool ValidateAssetFolder(const Kiv::PString& location, std::string_view folder, ResultsLog& log);

// One call: reads it from the payload and writes its answer. Installed as the command-host
// callback by WEXCommandHost.
void CommandHostCallback(TStream& payload, TStream& answer);

// The host loop on the main thread: registers (post 140), then serves until the link drops or
// the console asks to close, sending a keep-alive every 100th pass; then drains the work still
// queued. Returns 0.
int WEXCommandHost();

// The loop's timing, for tests: the wait of one pass and the passes between keep-alives.
struct WEXCommandHostTiming {
    uint32_t passWaitMs = 50;
    uint32_t keepAlivePasses = 100;
    uint32_t drainWaitMs = 10;
};
void SetWEXCommandHostTiming(const WEXCommandHostTiming& timing);
// Passes of the running or last loop, and keep-alives it sent.
uint32_t WEXCommandHostPasses();
uint32_t WEXCommandHostKeepAlives();
