// Host-name lookup. Lookups run one at a time on the resolver thread, which the first lookup
// starts and NetShutdown stops; a caller waits for its own answer, up to a time-out.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string_view>

// How long ResolveHost waits by default for the resolver thread's answer.
constexpr uint32_t kResolveWaitMs = 30000;

// Fills an IPv4 address (family AF_INET, port in network order) for the host name: "localhost"
// is 127.0.0.1 without any query; other names (dotted numbers included) go to the system's
// resolver and the first IPv4 address is taken. False when there is none, when the name is
// empty or holds a NUL, or when no answer came within timeoutMs.
bool ResolveHost(std::string_view hostName, uint16_t port, sockaddr_in& address,
                 uint32_t timeoutMs = kResolveWaitMs);

// Stops the resolver thread, failing the lookups queued at that moment; later lookups start
// it again.
void StopResolverThread();
