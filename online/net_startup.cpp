#include "online/net_startup.h"

#include <openssl/ssl.h>

#include <mutex>

#include "online/host_resolver.h"

// POSIX sockets need no library start-up, and OpenSSL 3 initialises itself once and makes
// itself thread-safe: what is left to do here is the error strings, the client context and
// the resolver thread.

namespace {

struct NetState {
    std::mutex mutex;
    int references = 0;
    SSL_CTX* context = nullptr;
};

NetState& State() {
    static NetState state;
    return state;
}

SSL_CTX* MakeClientContext() {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) return nullptr;
    // Servers are checked against the system's authorities unless a transport brings its own.
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(context);
    return context;
}

}  // namespace

bool NetStartup() {
    NetState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.references++ == 0) {
        // The client context (and the system's authorities it loads) is made on first use:
        // most runs of the program never open a secure connection.
        return OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                                nullptr) == 1;
    }
    return true;
}

void NetShutdown() {
    NetState& state = State();
    std::unique_lock<std::mutex> lock(state.mutex);
    if (state.references == 0 || --state.references > 0) return;
    SSL_CTX_free(state.context);
    state.context = nullptr;
    lock.unlock();
    StopResolverThread();
}

SSL_CTX* NetAcquireClientContext() {
    NetState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.references == 0) return nullptr;
    if (state.context == nullptr) state.context = MakeClientContext();
    if (state.context != nullptr) SSL_CTX_up_ref(state.context);
    return state.context;
}
