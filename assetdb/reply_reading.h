// Reading the daemon's replies where they carry counts: the daemon is a separate program, so a
// count is believed only as far as the bytes that follow it. A list is read up to its first
// short element and sized by what remains of the reply (never beyond kWEXMaxReplyBytes), so a
// count of 0xFFFFFFFF in front of eight bytes makes one element, not four billion.
#pragma once

#include <cstdint>
#include <vector>

#include "configdata/kuid.h"
#include "configdata/kuid_list.h"
#include "configdata/tdb_tag_ref.h"

class TStream;

// No reply list is sized beyond this many bytes, whatever its count says.
constexpr uint32_t kWEXMaxReplyBytes = 64u << 20;

// Bytes between the stream's position and its end.
uint32_t WEXReplyBytesLeft(TStream& reply);

// How many elements of elementSize bytes the rest of the reply can hold, at most `count`.
uint32_t WEXBoundedCount(TStream& reply, uint32_t count, uint32_t elementSize);

// Reads `count` KUIDs into `out` (emptied first), stopping at the first that is cut short. True
// when all `count` were there.
bool WEXReadKUIDs(TStream& reply, uint32_t count, std::vector<KUID>& out);

// A KUID list (u32 count, then the KUIDs), the whole KUIDs appended to `out` in reply order.
// A list cut short keeps what came whole and logs a line naming the operation; false then.
bool WEXReadKUIDListReply(TStream& reply, KUIDBlockList& out, const char* operation);

// The soup that fills the rest of the reply. True with `out` empty for an empty reply or an
// empty soup; false, `out` empty, for bytes that are not a whole soup (a damaged header, or a
// body the soup reader refuses).
bool WEXReadSoupReply(TStream& reply, TDBTagRef& out);
// The same where no tree and a damaged one mean the same to the caller.
TDBTagRef WEXReadSoupReply(TStream& reply);
