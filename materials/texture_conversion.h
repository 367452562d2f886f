// Texture conversion: every texture description under an asset folder ("texture.txt" or
// "<name>.texture.txt", any letter case) becomes a compressed texture file beside it, named
// like the description without ".txt" ("<name>.texture").
//
// The walk runs on the calling thread and starts one conversion job per description; each
// job's steps (prepare, convert, write) run one after another on its own call chain. The
// chains post to a conversion queue of their own, which starts a worker for each waiting job
// up to the machine's cores at once (the process queue starts a second worker only after a
// spell of idleness, which would run the jobs one by one). The walk then waits for every job
// and reports through the caller's results log.
//
// What a job guarantees: the output is written through a twin and replaces the old file only
// once the levels are built and written, so a failed conversion keeps the old output; the
// description itself is never renamed (the job gives it an alias in its resource database for
// the time of the conversion); nothing is written outside the description's folder, and
// symbolic links are not followed.
#pragma once

#include <cstdint>
#include <string_view>

class ResultsLog;

// Converts every description under the folder, going down into sub-folders. False when the
// folder (or a sub-folder) cannot be searched or any job failed; every failure is reported.
bool CompressTexturesInFolder(std::string_view folder, ResultsLog& log, uint32_t flag = 0);
// The command's entry: what CompressTexturesInFolder returns.
bool CompressTextures(std::string_view folder, ResultsLog& log, uint32_t flag = 0);

// The output file's name for a description's name ("a.texture.txt" gives "a.texture").
std::string_view TextureOutputName(std::string_view descriptionName);

// Puts the conversion behind the command host's call 1: the folder (a relative one is taken
// inside the call's location) converted into the call's log; the answer word is 1 when every
// job succeeded, else 0.
void WEXInstallTextureHostCall();

// Registers the resource type that texture conversion opens descriptions as ("convert-tex.txt")
// unless it is registered already. The plug-in entry registers it too.
void RegisterTextureConversionType();
