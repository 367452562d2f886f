// Who is at the other end of a loopback TCP connection, for either end: the daemon asks it of
// each client it accepts, a client of the daemon it reached. A TCP socket carries no peer
// credentials of its own (SO_PEERCRED answers only for local-domain sockets), so the user is
// found the way the kernel lists it: the peer's socket is the TCP entry whose local address is
// our peer's and whose remote address is ours.
#pragma once

#include <cstdint>
#include <string_view>

namespace Sys {

// The user id owning the peer's socket; false when it cannot be told.
bool FindPeerUser(int socket, uint32_t& uid);

// The owner of the TCP entry with that local and remote end (addresses and ports as the
// kernel table prints them, e.g. "0100007F:972F") in a table of /proc/net/tcp's form.
bool FindSocketUserInTable(std::string_view table, std::string_view localEnd,
                           std::string_view remoteEnd, uint32_t& uid);

}  // namespace Sys
