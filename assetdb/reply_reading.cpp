#include "assetdb/reply_reading.h"

#include <algorithm>

#include "configdata/tdb_binary_file.h"
#include "foundation/tstream.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

uint32_t WEXReplyBytesLeft(TStream& reply) {
    uint32_t at = reply.Tell();
    uint32_t size = reply.GetSize();
    return size > at ? size - at : 0;
}

uint32_t WEXBoundedCount(TStream& reply, uint32_t count, uint32_t elementSize) {
    if (elementSize == 0) return 0;
    uint32_t room = std::min(WEXReplyBytesLeft(reply), kWEXMaxReplyBytes) / elementSize;
    return std::min(count, room);
}

bool WEXReadKUIDs(TStream& reply, uint32_t count, std::vector<KUID>& out) {
    out.clear();
    out.reserve(WEXBoundedCount(reply, count, 8));
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t words[2];
        if (reply.ReadBytes(words, 8) != 8) return false;
        out.push_back(KUID::UnpackWords(words[1], words[0]));
    }
    return true;
}

bool WEXReadKUIDListReply(TStream& reply, KUIDBlockList& out, const char* operation) {
    uint32_t count = reply.ReadU32Value(0);
    std::vector<KUID> kuids;
    bool whole = WEXReadKUIDs(reply, count, kuids);
    for (const KUID& k : kuids)
        out.Append(k);
    if (!whole) {
        Kiv::Log::Write(Kiv::String::Printf(
            "%s> the reply holds %zu of the %u KUIDs it announces; the rest are dropped", operation,
            kuids.size(), count));
    }
    return whole;
}

bool WEXReadSoupReply(TStream& reply, TDBTagRef& out) {
    out.Reset();
    if (WEXReplyBytesLeft(reply) == 0) return true;
    // The soup reader loads a body it refuses as an empty soup; the header's body size tells
    // that apart from a soup that is empty.
    uint32_t start = reply.Tell();
    uint32_t header[4] = {};
    bool wholeHeader = reply.ReadBytes(header, sizeof header) == sizeof header;
    reply.SetPosition(start);
    if (!ReadTagTreeBinary(reply, out)) return false;
    constexpr int kBodySizeWord = 3;
    if (wholeHeader && header[kBodySizeWord] != 0 && !out) return false;
    return true;
}

TDBTagRef WEXReadSoupReply(TStream& reply) {
    TDBTagRef tree;
    WEXReadSoupReply(reply, tree);
    return tree;
}
