#include "services/wexdaemon/daemon_log.h"

#include "platform/kiv/base/text.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/kiv/base/log.h"

namespace wexd {

void DaemonLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = "WEXDaemon> ";
    Kiv::AppendVFormat(line, format, args);
    va_end(args);
    Kiv::Log::Write(line);
}

}  // namespace wexd
