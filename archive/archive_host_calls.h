// The command host's archive calls: saving installed assets to an archive file (call 2, each
// asset exported by the daemon) and installing the requested assets of one (call 3). Start-up
// installs them into the command host (WEXInstallArchiveHostCalls).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "configdata/kuid.h"

class CrakWriter;
class ResultsLog;

// Exports each asset through the daemon and adds its record to the file. False when an asset's
// export holds no KUID (the asset is skipped) or its record cannot be written.
bool WEXArchiveSaveToDisk(const std::vector<KUID>& assets, CrakWriter& file, ResultsLog& log);

// Installs the records of the archive file whose asset is requested (their soup naming the
// same asset), with install mode 10 for a file of the current version and 2 otherwise; each
// asset installed is removed from `assets`. False, with "$wex_archive_version" or
// "$wex_archive_unreadable" in the log, when the file cannot be read as an archive file of the
// expected word.
bool WEXArchiveInstall(uint32_t archiveWord, std::vector<KUID>& assets,
                       std::string_view archivePath, ResultsLog& log);

// Call 2 whole: the file written through a twin; a file that cannot be written is an error
// and false.
bool WEXArchiveSaveToFile(uint32_t archiveWord, std::string_view path,
                          const std::vector<KUID>& assets, ResultsLog& log);

// Installs the two calls above into the command host.
void WEXInstallArchiveHostCalls();
