// Building a CDP archive in memory from asset entries and writing it to disk. Each addition
// recomputes the archive's tables: "contents-table" (the assets held, in order),
// "kuid-table" (what they need that the archive does not hold) and "obsolete-table" (what they
// replace), then marks the root as an archive of package version 1.
#pragma once

#include <string_view>

#include "archive/cdp_archive.h"

// A new empty asset entry holding "compression" "LZSS". The caller adds the asset's
// configuration tags, its "files" tree (packed with CdpPackFileData) and its "dsid".
TDBTagRef CdpNewAssetEntry();

// Adds the entry under its KUID text. Fails, the archive unchanged, when its "kuid" is null or
// already held (all three fields equal), or when its configuration cannot be collected
// (CdpBuild).
Kiv::PString CdpAddAsset(CdpArchive& archive, const TDBTagRef& asset);

// Recomputes the three tables from the assets, then sets "kind" "archive" and
// "package-version" 1. On an error from dependency or obsolete collection nothing is stored.
Kiv::PString CdpBuild(CdpArchive& archive);

// Writes the root to the path in the form its extension names (".cdp": the binary soup),
// through a twin renamed over the file only when every byte was written; a failure keeps the
// file that was there.
Kiv::PString CdpWrite(const CdpArchive& archive, std::string_view path);

// The messages of building and writing.
inline constexpr const char* kCdpNoValidKuidMessage =
    "Unable to add content as it doesnt not contain a valid KUID";
inline constexpr const char* kCdpAlreadyPresentFormat =
    "Unable to add content as an item with KUID %s is already present";
// Every failure of writing gives this one message (an unknown extension or a failed write).
inline constexpr const char* kCdpArchiveWriteFailedMessage =
    "Unable to write archive file. Needs to be .cdp file extension";
