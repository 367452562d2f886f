// The daemon's command line. Clients start it with none; tests and users may name the
// user-data folder and an idle time-out.
//   -userdata=<folder>      the data root to own (default: "UserData" beside bin/)
//   -idletimeout=<seconds>  stop after that long with no link open (default: never)
//   -hosttimeout=<seconds>  the time limit of one command-host call (default: 600)
//   -vendrixdelay=<ms>      for tests: each content-service fetch finishes that long after it
//                           was asked for, and tells the client by an update note
//   -crashat=<point>        for tests: end the process at once (SIGKILL) the first time a
//                           folder change reaches that crash point (crash_point.h)
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace wexd {

struct DaemonOptions {
    std::string userData;
    uint32_t idleTimeoutSeconds = 0;  // 0: no time-out
    uint32_t hostTimeoutSeconds = 600;
    std::string crashAt;  // empty: none
    std::chrono::milliseconds vendrixDelay{0};
};

// False, with a message naming the offending argument, for an unknown option or a bad value.
bool ParseDaemonOptions(const std::vector<std::string>& arguments, DaemonOptions& out,
                        std::string& error);

}  // namespace wexd
