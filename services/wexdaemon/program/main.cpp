// wexdaemon: the asset-database daemon. Clients start it from the install's bin/ folder when
// they find no daemon running; see daemon.h for its life.
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "services/wexdaemon/crash_point.h"
#include "services/wexdaemon/daemon.h"
#include "services/wexdaemon/handlers.h"

namespace {

// The crash point named by -crashat=.
std::string gCrashAt;

void KillAtCrashPoint(const char* point) {
    if (gCrashAt == point) ::raise(SIGKILL);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    wexd::DaemonOptions options;
    std::string error;
    if (!wexd::ParseDaemonOptions(arguments, options, error)) {
        std::fprintf(stderr, "wexdaemon: %s\n", error.c_str());
        return 1;
    }
    if (!options.crashAt.empty()) {
        gCrashAt = options.crashAt;
        wexd::SetCrashHook(KillAtCrashPoint);
    }
    wexd::Daemon daemon(std::move(options), wexd::MakeSharedStateOwnerRecord());
    wexd::AddAssetRequests(daemon);
    int code = daemon.Run();
    std::fflush(stdout);
    std::fflush(stderr);
    return code;
}
