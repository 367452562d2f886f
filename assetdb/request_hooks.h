// Where an exported asset is handed to the archive builder, which stands above this
// subsystem: start-up installs the builder here. It takes the daemon's export with the
// caller's archive options. Without one, an export meant for an archive fails and says that
// archives are not available in this build.
#pragma once

#include "configdata/tdb_tag_ref.h"

// Builds the archive from the exported asset's tree and the archive options; an empty
// reference when it cannot.
using WEXArchiveBuildCall = TDBTagRef (*)(const TDBTagRef& exported, const TDBTagRef& options);
// Null removes the call.
void WEXSetArchiveBuildCall(WEXArchiveBuildCall call);
// The archive through the installed builder; an empty reference, and a log line naming
// `operation`, when none is installed.
TDBTagRef WEXBuildArchive(const TDBTagRef& exported, const TDBTagRef& options,
                          const char* operation);
