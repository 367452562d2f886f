// Shared by the transport tests: a recognisable byte pattern, and sending into a connection
// whose peer has gone until the failure shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "online/net_transport.h"

namespace testsupport {

inline std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
    return v;
}

// The kernel may still take the first sends after the peer has gone; true once a send fails
// (within 64 MiB).
inline bool SendUntilFailure(NetTransport& t) {
    std::vector<uint8_t> data(1 << 20);
    for (int i = 0; i < 64; ++i)
        if (!DaemonSocketSendExact(t, data.data(), data.size())) return true;
    return false;
}

}  // namespace testsupport
