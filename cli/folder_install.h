// Installing every asset folder of a folder tree: a folder holding a config ("config.txt", or
// else "config.chump") is one asset and is handed to the daemon whole, its sub-folders
// included; any other folder is searched for asset folders below it.
#pragma once

#include <cstdint>
#include <string_view>

class ResultsLog;
class WEXTask;

struct FolderInstallCount {
    uint32_t handedOver = 0;  // asset folders handed to the daemon
    uint32_t failed = 0;      // of those, installs the daemon reported as failed
};

// A tree nested deeper than this many folders below the starting one is not searched further
// (a warning names the folder); no real asset tree comes near it.
inline constexpr int kMaxFolderInstallDepth = 64;

// Walks `folder`, installing as above; the daemon reports each install into the log. Symbolic
// links met on the way are not followed (a warning names each), so a link loop cannot keep the
// walk going; the folder given itself may be a link. A stop request on `cancel`, when given,
// ends the walk after the entry in hand. An install counts as failed when the daemon answered
// no asset together with an error of its own in the log; an answer without an asset and
// without an error (the asset was there already) does not. An install that got no reply at all
// counts as failed, with an error naming the folder and the cause.
FolderInstallCount InstallFromFolderTree(std::string_view folder, ResultsLog& log,
                                         const WEXTask* cancel = nullptr);
