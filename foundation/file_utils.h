// File and folder helpers over the engine's file layer: finding entries, copying files and
// folder trees, replacing a file safely, temporary names, and the same inside the asset
// locations of the data root (making, renaming, deleting, testing paths).
//
// Folder walks never descend into a symbolic link (a link to a folder could lead anywhere,
// back into the tree itself included) and stop at kMaxFolderDepth levels. A file that replaces
// another is written to a temporary twin beside it and renamed over it only when every write
// succeeded, so a failure keeps the old file.
#pragma once

#include <functional>
#include <string_view>

#include "foundation/tstream.h"
#include "platform/kiv/base/path.h"

// Folder levels a walk goes down before it gives up (and reports failure).
constexpr int kMaxFolderDepth = 128;

// An entry of that name exists, without following a final symbolic link (a dangling link
// counts).
bool EntryExists(std::string_view path);
// The entry is a symbolic link (not followed).
bool IsSymbolicLink(std::string_view path);

// True when the folder holds an entry other than "." and ".." that matches the wildcard pattern
// (the file layer's rule: '*', '?', letters ignoring case); an empty pattern is "*".
bool FindInFolder(std::string_view pattern, std::string_view folder);
// True when a file (not a folder) matching the pattern lies in the folder or, depth first, in
// any of its sub-folders.
bool FindFileRecursive(std::string_view pattern, std::string_view folder);

// Writes `target` through a temporary twin in its folder: `write` fills the twin; the twin is
// flushed to the disk and renamed over the target only when `write` returned true and the
// stream saw no error. Otherwise the twin is removed and the target left as it was.
bool WriteFileReplacing(std::string_view target, const std::function<bool(TStream&)>& write);

// While one lives on a thread, WriteFileReplacing on that thread leaves its twins to the page
// cache instead of flushing each to the disk (a flush per file makes writing thousands of small
// files many times slower), and Finish flushes the file systems written to, once, when the
// whole operation is written. An operation that reports success only after Finish has every
// byte on the disk as before; a crash before then may leave its files incomplete, as it may
// leave the operation itself incomplete. Scopes do not nest.
class DeferredFileSync {
public:
    DeferredFileSync();
    ~DeferredFileSync();
    DeferredFileSync(const DeferredFileSync&) = delete;
    DeferredFileSync& operator=(const DeferredFileSync&) = delete;
    // Flushes the file system of every folder written to since the scope began; false when a
    // flush failed.
    bool Finish();
};

// Copies one file's bytes (replacing `to` through a twin). False when the source cannot be read
// whole or the target cannot be written; a failed copy leaves `to` as it was.
bool CopyFileContents(std::string_view from, std::string_view to);

// What a folder copy does with a link to a file: copy the bytes it leads to, or leave it out
// (logged) where what is copied must come from the tree itself and nowhere else.
enum class FileLinks { kCopyTarget, kSkip };

// Makes the target folder and copies every file of the source into it, going down into
// sub-folders. Links to files are copied as files, or skipped; links to folders are skipped
// (and logged). Refuses a target that is the source or lies inside it. True when everything
// was copied.
bool CopyFolderRecursive(std::string_view from, std::string_view to,
                         FileLinks fileLinks = FileLinks::kCopyTarget);

// A name "temp-" + 8 characters of 0-9 and a-z + the call count + ".tmp" in the folder that no
// entry has yet; an empty path (and a log line) when 100 tries all found an entry.
Kiv::File::Path FormTemporaryFilePath(const Kiv::File::Path& folder);
// True for a file name of exactly that form (what a cut-off run may leave behind).
bool IsTemporaryFileName(std::string_view name);

// --- inside the asset locations ---------------------------------------------------------------
// A location is a name of GetDataFolder (data_root.h); an empty location means none. Paths
// given with a location are relative to its folder (or absolute inside it); a path that would
// leave the location's folder is refused.

// Makes a folder and its missing parents: inside the location, or, without one, only when the
// path is absolute.
bool MakeLocationDirectory(std::string_view location, std::string_view path);
// Renames a file or folder; never over an existing entry (false then).
bool RenameLocationPath(std::string_view location, std::string_view from, std::string_view to);
// A file or folder exists.
bool PathExists(std::string_view location, std::string_view path);
// Deletes a file, or a folder with everything in it. Refuses "", ".", "..", a root, the
// location's folder itself and anything outside it (outside the data root when no location is
// given), also when a symbolic link on the way leads out. Links are deleted, never followed.
bool DeleteLocationPath(std::string_view location, std::string_view path);
// A free temporary file path in the location's folder, or in the data root when no location is
// given; empty when the folder is unknown or no free name was found.
Kiv::File::Path CreateTemporaryFilePath(std::string_view location = {});
// Deletes old dated backup folders ("%02d-%02d-%02d", year-month-day) in the data root's
// "backups" folder, keeping the kBackupsKept newest; other entries are left alone.
constexpr int kBackupsKept = 10;
void ThinBackupsFolder();
