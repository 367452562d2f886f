// Requests about the database as a whole: repair, content-service access, texture conversion,
// quiescing, and the installed builds.
#pragma once

#include <cstdint>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

class ResultsLog;

namespace WEXClient {

// Starts a repair in the given mode; the daemon's report lines come into the log, which stays
// associated with the request after it ends. The reply is not read; false when the daemon
// could not be reached (so no repair was started).
bool StartRepair(uint32_t mode, ResultsLog* log);
// Whether the repair still runs, with its progress and status text; false, both unchanged,
// without an answer.
bool GetRepairProgress(float& progress, Kiv::String& status);
// One-way: asks the daemon to repair its database.
void RepairDatabase();

// Whether the content service may be used, with the access level in `level` when given; false
// and level 0 without an answer.
bool QueryVendrixAccess(uint32_t* level = nullptr);
// The daemon's answer for texture conversion (true when the reply carries none); true without
// an answer.
bool TextureRequest();

// Asks the daemon to come to rest; the reply is not read.
void RequestQuiesce();
// Whether the daemon is at rest; false without an answer.
bool IsQuiescent();
// The same, telling the two apart: false without an answer, else true with the answer in
// `quiescent` (a wait for rest must end when the daemon is gone).
bool AskIsQuiescent(bool& quiescent);

// The installed build numbers as one text; the empty string without an answer.
Kiv::PString ListInstalledBuilds();

}  // namespace WEXClient
