// Which entries of a content-service search page this machine needs: the page's entries go to
// the daemon, which answers the positions of those to download.
//
// Request: u32 n, then n times { KUID "requires", KUID "latest-version", u32 archive size }.
// Reply: u32 m, then m times u32 position (of an entry as sent, from 0).
#pragma once

#include <cstdint>
#include <vector>

#include "configdata/kuid.h"

struct WEXVendrixEntry {
    KUID required;
    KUID latestVersion;
    uint32_t latestVersionSize = 0;
};

namespace WEXClient {

// Appends the positions the daemon answers to `positions`, in its order. A reply cut short
// keeps the positions that came whole, and a position that names no entry sent is dropped
// (each logged); false then. False, nothing appended, without an answer.
bool SelectNeededDownloads(const std::vector<WEXVendrixEntry>& entries,
                           std::vector<uint32_t>& positions);

}  // namespace WEXClient
