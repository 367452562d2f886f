// The offline boxes of the script class OnlineAccess, in the user data's "cache" folder:
// "offline-outbox.tbox" keeps the messages a script posted for other users until the client is
// connected and they go out; "offline-inbox.tbox" keeps the messages that reached a script but
// were not collected before its OnlineAccess object went, for a later run to collect.
//
//   file     magic "TBOX", version (u32, 1), count (u32), count records
//   record   a message in its stream form: asset KUID (8-byte binary form), text (u32 length,
//            bytes; the other user's name), payload (binary soup)
//
// A box is rewritten whole through a twin that is renamed over it, so a box is either the old
// one or the new one, never half of each.
#pragma once

#include <string>

#include "online/online_messages.h"

class TStream;

constexpr const char* kOfflineOutboxFile = "offline-outbox.tbox";
constexpr const char* kOfflineInboxFile = "offline-inbox.tbox";
constexpr uint32_t kOfflineBoxVersion = 1;

// Writes the box. False when the stream did not take it all.
bool SaveOfflineBox(TStream& stream, const StoredMessageList& box);
// Reads a box written by SaveOfflineBox into `box`. Another magic or version, or a stream too
// short for them, leaves `box` as it was (false). Otherwise `box` becomes the records that read
// whole, in order: reading stops at the first record cut short, whatever the count says.
bool LoadOfflineBox(TStream& stream, StoredMessageList& box);

// The box at `path` into `box` (empty when there is no file). False, logged, when the file is
// there but is no box: it is someone else's, and must not be written over.
bool ReadOfflineBox(const std::string& path, StoredMessageList& box);
// Replaces the file at `path` by the box (through a twin); false, logged, when it fails.
bool WriteOfflineBox(const std::string& path, const StoredMessageList& box);
