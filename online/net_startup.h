// Process-wide start-up and shut-down of the network layer: the TLS library with its one
// client context, and the resolver thread. Calls are counted: the first NetStartup starts,
// the NetShutdown that balances the last one stops, and a later NetStartup starts afresh.
#pragma once

#include <openssl/types.h>

// Starts the libraries on the first call; every call counts one reference. True when the TLS
// client context is available (TCP transports do not need it).
bool NetStartup();
// Drops one reference; the last one stops the resolver thread and frees the TLS context.
// Without a matching NetStartup it does nothing.
void NetShutdown();

// The TLS client context with a reference for the caller (release it with SSL_CTX_free), or
// null when the network layer is not started.
SSL_CTX* NetAcquireClientContext();
