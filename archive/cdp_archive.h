// The CDP archive (".cdp"): one configuration soup in the binary form whose root holds "kind"
// "archive", "package-version" 1, the asset entries under "assets" (each named by its KUID
// text) and three KUID tables: "contents-table" (the assets held), "kuid-table" (what they need
// from outside) and "obsolete-table" (what they replace). An asset entry is the asset's
// configuration with its "files" tree, its "compression" and its checksum "dsid" beside it.
//
// Operations that can fail return an error text: the interned empty text on success. Archives
// come from anywhere, so opening one reads it through the bounded soup reader and checks its
// shape before anything else looks inside.
#pragma once

#include <cstdint>
#include <string_view>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "foundation/tstream.h"
#include "platform/kiv/base/pstring.h"

// The archive object: a reference to the root container (empty when nothing is loaded).
struct CdpArchive {
    TDBTagRef root;
};

// The messages of opening.
inline constexpr const char* kCdpNotValidMessage =
    "Content could not be read, as the file is not a valid CDP";
inline constexpr const char* kCdpDamagedMessage =
    "Content could not be read, as the CDP file is damaged";
inline constexpr const char* kCdpNewerVersionMessage =
    "This content requires a newer Halvex version";

// An error text from a printf format.
Kiv::PString CdpFormatError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reads a binary soup image from the stream (the archive data of a daemon reply, say) and makes
// its root the archive's root, without checking its shape. False, the archive empty, when the
// soup reader refuses the bytes.
bool CdpReadFromStream(CdpArchive& archive, TStream& stream);
// Writes the root to the stream as a binary soup image. False when the soup writer refused the
// tree or the stream did not take every byte.
bool CdpWriteToStream(const CdpArchive& archive, TStream& stream);

// Reads the file (a ".cdp" is read as a binary soup) and checks its shape (CdpCheckShape).
// Every failure empties the archive; a file that cannot be read is not a valid CDP.
Kiv::PString CdpOpen(CdpArchive& archive, std::string_view path);
// The checks of opening on a loaded root, in order: "kind" is "archive" (any letter case);
// "contents-table" has as many children as "assets" (a missing one counts 0);
// "package-version" is 1. A failure empties the archive and gives the check's message.
Kiv::PString CdpCheckShape(CdpArchive& archive);

// The children of "assets" (0 when there is none).
uint32_t CdpAssetCount(const CdpArchive& archive);
// The index-th asset entry; empty when out of range or not a container.
TDBTagRef CdpGetAsset(const CdpArchive& archive, uint32_t index);
// The index of the first entry whose "kuid" equals the KUID in user, content and version; -1
// when there is none.
int32_t CdpFindAsset(const CdpArchive& archive, const KUID& kuid);

// The entry's "kuid" (the null KUID when missing).
KUID CdpAssetKUID(const TDBTagRef& asset);
bool CdpAssetHasValidKUID(const TDBTagRef& asset);
// The entry's "files" tree (empty when missing).
TDBTagRef CdpAssetFiles(const TDBTagRef& asset);
// The entry's "compression" text (the interned empty text when missing).
Kiv::PString CdpAssetCompression(const TDBTagRef& asset);
