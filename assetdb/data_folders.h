// The install and user-data folders: finding the install root (the parent of the program's
// folder) and the data root ("UserData" under it) at start-up, checking that the data root is
// writable, making its standard sub-folders, holding the resource databases of the data folders
// for the run, registering the "scripts" and "libraries" path substitutions, and the path
// getters the rest of the client uses. The two roots themselves are kept in
// foundation/data_root.h; every getter here is empty while its root is.
//
// Roots keep the letter case of the path they come from, since files are opened by them; only
// comparisons ignore case.
#pragma once

#include <string>
#include <string_view>

#include "platform/kiv/base/path.h"

// The running program's full path, empty when the system cannot tell.
Kiv::File::Path GetProgramPath();

// Start-up's folder work in one step: the install root is the program's folder's parent
// (two levels up from the program's path); then FindInstallAndUserData and
// PrepareUserDataFolders.
void SetUpDataFolders(const Kiv::File::Path& programPath);

// Sets the install root from the path (tidied, without a trailing separator) and the data root
// "UserData" under it, makes the data root and checks that a file can be made and removed in
// it. Ends the process (FatalError, exit code 1) with "Unable to determine application
// installation path." for an empty path and "Unable to acquire write access to UserData
// folder." when the data root is not writable.
void FindInstallAndUserData(const Kiv::File::Path& installPath);

// Makes the data root's sub-folders (an old "trash" becomes "backups"), acquires the data
// folders' resource databases for the run, registers the path substitutions and seeds an empty
// "settings" folder from the install's "prebuilt/settings". Nothing when no install root is
// set; folders that cannot be made are not reported (what needs them fails later). A second
// call acquires nothing more.
void PrepareUserDataFolders();

// At shutdown: releases the resource databases held since PrepareUserDataFolders and removes
// the two path substitutions.
void ReleaseDataFolders();

// Getters: each joins a root with the names shown.
Kiv::File::Path GetPrebuiltFolder();        // install, "prebuilt"
Kiv::File::Path GetLibrariesFolder();       // data root, "libraries/"
Kiv::File::Path GetScriptsFolder();         // install, "scripts/"
Kiv::File::Path GetBuiltinFolder();         // install, "builtin"
Kiv::File::Path GetPluginFolder();          // install, "bin/plugins"
Kiv::File::Path GetDaemonExecutablePath();  // install, "bin", "wexdaemon"
Kiv::File::Path GetDataRootPath();          // the data root itself
Kiv::File::Path GetDatabaseFilePath();      // data root, "assets.wbi"
Kiv::File::Path GetCacheFolder();           // data root, "cache"
// Data root, "cache", "libraries"; made when missing.
Kiv::File::Path GetLibrariesCacheFolder();

// A full path split into a location and the rest inside it. Tried in order: the data root
// (the location is the first folder under it, the rest what follows), the install's "builtin"
// folder (location "builtin\\"), the location "base" and the location "data". Letter case and
// separator style are ignored when comparing; the rest keeps the path's own text. An empty
// location when none contains the path.
struct LocationPath {
    std::string location;
    std::string rest;
};
LocationPath SplitLocationPath(std::string_view path);

// The path relative to the install root or the data root, both sides in the lower-case
// backslash comparison form; empty when the path does not lie inside that root.
Kiv::File::Path MakeRelativeToInstallRoot(std::string_view path);
Kiv::File::Path MakeRelativeToDataRoot(std::string_view path);

// Deletes a file, or a folder with everything in it, inside the data root (never outside it).
bool DeleteUnderDataRoot(std::string_view path);
