// onlineserver: the stand-in online-access server on 127.0.0.1.
//
//   onlineserver [--port N] [--account USER:TICKET]... [--minute BYTES] [--hour BYTES] [--log]
//
// Port 0 (the default) lets the system pick one. The first line on standard output names the
// port it listens on: "onlineserver listening on 127.0.0.1 port N". Runs until SIGINT or
// SIGTERM; --log writes what happens to standard error.
#include <poll.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "services/onlineserver/online_server.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStop(int) {
    stopRequested = 1;
}

bool ParseNumber(const char* text, unsigned long max, unsigned long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoul(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && out <= max;
}

int Usage(const char* problem) {
    std::fprintf(stderr, "onlineserver: %s\n", problem);
    std::fprintf(stderr,
                 "usage: onlineserver [--port N] [--account USER:TICKET]... [--minute BYTES] "
                 "[--hour BYTES] [--log]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    onlineserver::ServerOptions options;
    std::vector<std::pair<std::string, std::string>> accounts;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        unsigned long n = 0;
        bool hasValue = i + 1 < argc;
        if (arg == "--log") {
            options.log = [](const std::string& line) {
                std::fprintf(stderr, "%s\n", line.c_str());
            };
        } else if (arg == "--port" && hasValue) {
            if (!ParseNumber(argv[++i], 65535, n)) return Usage("bad port");
            options.port = static_cast<uint16_t>(n);
        } else if ((arg == "--minute" || arg == "--hour") && hasValue) {
            if (!ParseNumber(argv[++i], 0xFFFFFFFFul, n)) return Usage("bad byte limit");
            (arg == "--minute" ? options.bytesPerMinute : options.bytesPerHour) =
                static_cast<uint32_t>(n);
        } else if (arg == "--account" && hasValue) {
            std::string account = argv[++i];
            size_t colon = account.find(':');
            if (colon == std::string::npos || colon == 0) return Usage("an account is USER:TICKET");
            accounts.emplace_back(account.substr(0, colon), account.substr(colon + 1));
        } else {
            return Usage(("unknown or incomplete argument: " + arg).c_str());
        }
    }

    onlineserver::OnlineServer server(options);
    for (const auto& [user, ticket] : accounts)
        server.AddAccount(user, ticket);
    if (!server.Open()) {
        std::fprintf(stderr, "onlineserver: cannot listen on 127.0.0.1 port %u: %s\n",
                     static_cast<unsigned>(options.port), std::strerror(errno));
        return 1;
    }
    std::printf("onlineserver listening on 127.0.0.1 port %u\n",
                static_cast<unsigned>(server.Port()));
    std::fflush(stdout);

    struct sigaction stop {};
    stop.sa_handler = OnStop;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);

    auto start = std::chrono::steady_clock::now();
    auto clock = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    while (!stopRequested) {
        pollfd wait{server.Handle(), POLLIN, 0};
        ::poll(&wait, 1, 10);
        server.Poll(clock());
    }
    return 0;
}
