// What the listing commands make of an installed asset besides its listing lines: a one-asset
// archive of it, its preview picture, and the content-service downloads of what it lacks.
#pragma once

#include <set>
#include <string_view>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

class ResultsLog;

// Exports the asset through the daemon and writes it as a one-asset archive at `path` (through
// a twin). The empty text, or why it could not.
Kiv::PString WriteAssetArchive(const KUID& asset, std::string_view path, ResultsLog& log);

// Writes the picture an archive's "thumbnail" container holds (its first file) to `path`; false
// when it holds none or it cannot be written.
bool ExtractThumbnail(const TDBTagRef& thumbnail, std::string_view path);

// Fetches from the content service what the asset depends on and this machine lacks, pass after
// pass while a pass installed something. Each KUID is tried once per `tried` (the caller's run):
// a dependency no download satisfies is not asked for again. Failures are silent.
void DownloadMissingDependencies(const KUID& asset, std::set<KUID>& tried);
