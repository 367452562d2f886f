// Fetching an asset, with every dependency this machine lacks, from the content service and
// installing what was fetched. The program never speaks to the service itself: the daemon
// fetches the service's search page and archives into local files on request (request 230),
// the page says what the asset needs (vendrix_search.h) and the daemon installs each archive
// (request 40, install mode 6). "installfromvdx" and the archive listing command use it.
#pragma once

#include <cstdint>

#include "configdata/kuid.h"

class ResultsLog;

// The install mode of an archive the content service delivered.
constexpr uint32_t kVDXInstallMode = 6;

// Fetches and installs the asset's newest version and what it needs. True when at least one
// archive was installed. Nothing happens (false, no message) without the link's content-service
// handler, or when the newest version is installed already. Failures are messages in `log`
// ("Failed to query VDX for <K>", "Failed to resolve download path for <K>"); a null `log`
// keeps them, and the installs' own messages, to itself.
//
// Each wait for the daemon ends when the request finishes, and also when the daemon cannot be
// asked or started nothing: that is a failure, never a wait without end. On the main thread
// the wait keeps serving the calls queued for it.
bool VDXDownloadAsset(const KUID& asset, ResultsLog* log);
