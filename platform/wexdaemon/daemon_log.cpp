#include "platform/wexdaemon/daemon_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/kiv/base/log.h"

namespace wexd {

void DaemonLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line = "WEXDaemon> ";
    if (n > 0) {
        size_t at = line.size();
        line.resize(at + static_cast<size_t>(n));
        std::vsnprintf(line.data() + at, static_cast<size_t>(n) + 1, format, args);
    }
    va_end(args);
    Kiv::Log::Write(line);
}

}  // namespace wexd
