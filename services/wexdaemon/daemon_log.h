// The daemon's log lines ("WEXDaemon> text"), written to the engine log (the daemon points it
// at "wexdaemon.log") from any of the daemon's threads: each line goes out whole under the
// log's own lock.
#pragma once

namespace wexd {

void DaemonLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace wexd
