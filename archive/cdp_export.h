// The archive builder that the database client hands an asset's export to (request 48): the
// daemon answers with the asset's archive entry (its configuration tags, "kuid" among them, its
// "files" tree, its "compression" and its "dsid"), and this makes an archive of it in the
// compression the caller's options ask for. Start-up installs it with WEXSetArchiveBuildCall.
#pragma once

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

// A new asset entry (CdpNewAssetEntry) from the export: a deep copy of its tags, its files in
// `compression` ("LZSS" or empty), and its "dsid" computed afresh. Files the export holds raw
// are packed when LZSS is asked for; packed files are kept as they are. An error text, `entry`
// then empty, for an export without a valid KUID, in a compression that cannot be turned into
// the one asked for, or one that cannot be copied or packed.
Kiv::PString CdpEntryFromExport(const TDBTagRef& exported, const Kiv::PString& compression,
                                TDBTagRef& entry);

// The builder's call: the root of a new archive holding the one entry, in the compression that
// the options' "compression" names ("LZSS" when none). Empty, with a line in the process log,
// when the entry cannot be made.
TDBTagRef CdpBuildArchiveFromExport(const TDBTagRef& exported, const TDBTagRef& options);
