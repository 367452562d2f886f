// wexdaemon: the asset-database daemon. Clients start it from the install's bin/ folder when
// they find no daemon running; see daemon.h for its life.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/wexdaemon/daemon.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    wexd::DaemonOptions options;
    std::string error;
    if (!wexd::ParseDaemonOptions(arguments, options, error)) {
        std::fprintf(stderr, "wexdaemon: %s\n", error.c_str());
        return 1;
    }
    wexd::Daemon daemon(std::move(options), wexd::MakeSharedStateOwnerRecord());
    int code = daemon.Run();
    std::fflush(stdout);
    std::fflush(stderr);
    return code;
}
