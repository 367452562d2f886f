#include "services/wexdaemon/daemon_options.h"

#include <charconv>
#include <string_view>

namespace wexd {

namespace {

constexpr std::string_view kUserData = "-userdata=";
constexpr std::string_view kIdleTimeout = "-idletimeout=";
constexpr std::string_view kCrashAt = "-crashat=";
constexpr std::string_view kHostTimeout = "-hosttimeout=";
constexpr std::string_view kVendrixDelay = "-vendrixdelay=";
// A minute: tests drive a wait with far less.
constexpr uint32_t kMaxVendrixDelayMs = 60000;
// A day; anything longer is surely a typing slip.
constexpr uint32_t kMaxIdleTimeoutSeconds = 86400;

}  // namespace

bool ParseDaemonOptions(const std::vector<std::string>& arguments, DaemonOptions& out,
                        std::string& error) {
    for (const std::string& argument : arguments) {
        std::string_view a = argument;
        if (a.starts_with(kUserData)) {
            out.userData = std::string(a.substr(kUserData.size()));
            if (out.userData.empty()) {
                error = "the option -userdata= needs a folder";
                return false;
            }
        } else if (a.starts_with(kIdleTimeout)) {
            std::string_view v = a.substr(kIdleTimeout.size());
            uint32_t seconds = 0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
            if (v.empty() || ec != std::errc() || end != v.data() + v.size() ||
                seconds > kMaxIdleTimeoutSeconds) {
                error = "bad idle time-out \"" + argument + "\" (seconds, 0 to 86400)";
                return false;
            }
            out.idleTimeoutSeconds = seconds;
        } else if (a.starts_with(kHostTimeout)) {
            std::string_view v = a.substr(kHostTimeout.size());
            uint32_t seconds = 0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
            if (v.empty() || ec != std::errc() || end != v.data() + v.size() || seconds == 0 ||
                seconds > kMaxIdleTimeoutSeconds) {
                error = "bad command-host time limit \"" + argument + "\" (seconds, 1 to 86400)";
                return false;
            }
            out.hostTimeoutSeconds = seconds;
        } else if (a.starts_with(kVendrixDelay)) {
            std::string_view v = a.substr(kVendrixDelay.size());
            uint32_t ms = 0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), ms);
            if (v.empty() || ec != std::errc() || end != v.data() + v.size() ||
                ms > kMaxVendrixDelayMs) {
                error = "bad content-service delay \"" + argument + "\" (milliseconds, 0 to 60000)";
                return false;
            }
            out.vendrixDelay = std::chrono::milliseconds(ms);
        } else if (a.starts_with(kCrashAt)) {
            out.crashAt = std::string(a.substr(kCrashAt.size()));
            if (out.crashAt.empty()) {
                error = "the option -crashat= needs a point";
                return false;
            }
        } else {
            error = "unknown argument \"" + argument + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace wexd
