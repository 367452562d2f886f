// The info record of a content-service request that the daemon carries out (fetching a search
// page or an archive into a local file), and its wire form, shared by the daemon, which writes
// it as its answer to the info request and in its update notifications, and the client.
//
//   field     encoding                     meaning
//   finished  bool (read as true if cut)   the daemon has finished the request
//   asset     KUID, the 8-byte form        the asset the request is about, else the null KUID
//   path      text                         the local file it fetched; empty until finished, and
//                                          when the fetch failed
//   text      name                         a message from the daemon; empty when all went well
//
// A record read short counts as finished, so nobody waits for a request the daemon will not
// describe.
#pragma once

#include <cstdint>

#include "configdata/kuid.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

class TStream;

// The record id the daemon answers when it did not start a request.
constexpr uint64_t kWEXNoVendrixRecord = 0xFFFFFFFFFFFFFFFFull;

struct WEXVendrixInfo {
    // A record made for a new request is not finished until the daemon says so.
    bool finished = false;
    KUID asset;
    Kiv::String path;
    Kiv::PString text;

    bool operator==(const WEXVendrixInfo&) const = default;
};

void WEXReadVendrixInfo(TStream& stream, WEXVendrixInfo& info);
// False when the stream did not take every byte.
bool WEXWriteVendrixInfo(TStream& stream, const WEXVendrixInfo& info);
