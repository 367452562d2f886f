// Extraction: the "files" tree of an archived asset written out under a destination folder. A
// container is a sub-folder, a raw value a file, stored as it is, packed by LZSS (the asset's
// "compression" "LZSS") or as a reference to a local file ("filepath").
//
// Archives are untrusted. Names are held to a small character set, so a name that is "." or
// "..", or holds a separator, is skipped like any other bad name; a file or folder whose path
// passes through a symbolic link is never written and makes the result an error; unpacking is
// bounded by what the stored bytes can unpack to; a reference to a local file is followed only
// when the caller allows it. Extraction goes on past a bad file: every file that can be
// written is written, and the last error is returned.
#pragma once

#include <string_view>

#include "configdata/acs_raw_data.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

// The messages of extraction.
inline constexpr const char* kCdpWriteFailedMessage = "Unable to write content files to disk";
inline constexpr const char* kCdpUnknownDataTypeMessage =
    "Unknown data type encountered. Content package may be damaged";
inline constexpr const char* kCdpDecompressFailedMessage =
    "Failed to decompress data. Content package may be damaged";
inline constexpr const char* kCdpUnknownCompressionTypeMessage =
    "Unknown compression type encountered. Content package may be damaged";
inline constexpr const char* kCdpUnknownCompressionFormatMessage = "Unknown compression format.";
inline constexpr const char* kCdpLocalCopyInternalMessage =
    "Internal error while copying local file.";
inline constexpr const char* kCdpLocalCopyFailedMessage = "Failed to copy local file.";
inline constexpr const char* kCdpLocalReferenceRefusedMessage =
    "Content package refers to a local file, which is not accepted here.";
// Formatted with the path inside the destination.
inline constexpr const char* kCdpOutsideDestinationFormat =
    "Content package may be damaged: '%s' would be written outside the destination folder";
inline constexpr const char* kCdpTooDeepMessage =
    "Content package may be damaged: its folders nest too deeply";

struct CdpExtractOptions {
    // Follow "filepath" references to files on this machine. Only for archives this machine
    // made for itself: from anywhere else a reference could copy any readable file into the
    // asset.
    bool allowLocalFileReferences = false;
};

// A name is written only when it is not empty, does not begin with a blank, "." or "~", does
// not end with a blank, and holds only A-Z, a-z, 0-9, blanks and - & , + ' . _ $ ~ ( ).
bool CdpIsValidFileName(std::string_view name);
// Refuses a path in which a separator ('/' or '\') follows an empty step or one made only of
// dots (a leading or doubled separator, "./", "../"). A last step of dots is left to the name
// rule.
bool CdpIsValidRelativePath(std::string_view path);
// The file's extension is one of the 33 kinds of file an asset holds ("txt", "tga", "im", ...).
bool CdpIsKnownFileType(std::string_view name);

// Makes the folder `base`/`relative` and writes the tree into it, going down into sub-folders.
// A `relative` that fails the path rule or whose last step is "." or ".." is refused as outside
// the destination, and nothing is written.
// Names that fail the name rule, sub-folders whose path fails the path rule and files of other
// kinds are skipped without a word. The empty text when every file of the tree that was not
// skipped was written; otherwise the last error met.
Kiv::PString CdpExtractFolder(const TDBTagRef& files, std::string_view base,
                              std::string_view relative, const Kiv::PString& compression,
                              const CdpExtractOptions& options = {});

// Writes one file from its stored data (raw when `compression` is empty, "LZSS" or
// "filepath"). Each file is written through a twin, so a failure leaves no partial file. The
// empty text on success, else the error.
Kiv::PString CdpExtractFiles(const Kiv::PString& compression, const ACSRawDataRef& data,
                             std::string_view destination, const CdpExtractOptions& options = {});
