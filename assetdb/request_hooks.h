// Where a request's answer is handed to a subsystem that stands above this one: start-up
// installs the calls here.
//
// - Forgetting a cached asset spec: after the daemon confirms a commit or a delete, the script
//   host's spec registry must load that asset afresh. Until a registry is installed there is
//   no spec cache anywhere in the process, so there is nothing to forget.
// - Building an archive from an exported asset: the archive builder takes the daemon's export
//   with the caller's archive options. Without one, an export meant for an archive fails and
//   says that archives are not available in this build.
#pragma once

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"

using WEXForgetSpecCall = void (*)(const KUID& asset);
// Null removes the call.
void WEXSetForgetSpecCall(WEXForgetSpecCall call);
// Drops the asset's cached spec through the installed call; nothing without one.
void WEXForgetCachedSpec(const KUID& asset);

// Builds the archive from the exported asset's tree and the archive options; an empty
// reference when it cannot.
using WEXArchiveBuildCall = TDBTagRef (*)(const TDBTagRef& exported, const TDBTagRef& options);
// Null removes the call.
void WEXSetArchiveBuildCall(WEXArchiveBuildCall call);
// The archive through the installed builder; an empty reference, and a log line naming
// `operation`, when none is installed.
TDBTagRef WEXBuildArchive(const TDBTagRef& exported, const TDBTagRef& options,
                          const char* operation);
