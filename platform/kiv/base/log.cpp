#include "platform/kiv/base/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <map>
#include <mutex>

namespace Kiv {
namespace {

struct Sink {
    std::mutex mutex;
    int fd = -1;  // -1: discard
    bool ownsFd = false;
    bool stdOut = false;
    int nextListener = 1;
    std::map<int, Log::Listener> listeners;
};

Sink& TheSink() {
    static Sink* sink = new Sink;  // lines may be written from static destructors
    return *sink;
}

void CloseOwned(Sink& s) {
    if (s.ownsFd && s.fd != -1) ::close(s.fd);
    s.fd = -1;
    s.ownsFd = false;
    s.stdOut = false;
}

std::string Format(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

}  // namespace

void Log::ToStdOut() {
    Sink& s = TheSink();
    std::lock_guard<std::mutex> lock(s.mutex);
    CloseOwned(s);
    s.fd = STDOUT_FILENO;
    s.stdOut = true;
}

bool Log::ToFile(std::string_view path) {
    std::string p(path);
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd == -1) return false;
    Sink& s = TheSink();
    std::lock_guard<std::mutex> lock(s.mutex);
    CloseOwned(s);
    s.fd = fd;
    s.ownsFd = true;
    return true;
}

void Log::Discard() {
    Sink& s = TheSink();
    std::lock_guard<std::mutex> lock(s.mutex);
    CloseOwned(s);
}

bool Log::IsToStdOut() {
    Sink& s = TheSink();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.stdOut;
}

void Log::Write(std::string_view line) {
    Sink& s = TheSink();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.fd != -1) {
        if (s.stdOut) std::fflush(stdout);  // keep order with the program's own printing
        std::string out(line);
        out += '\n';
        size_t done = 0;
        while (done < out.size()) {
            ssize_t n = ::write(s.fd, out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
    }
    for (auto& [id, listener] : s.listeners)
        listener(line);
}

int Log::AddListener(Listener listener) {
    Sink& s = TheSink();
    std::lock_guard<std::mutex> lock(s.mutex);
    int id = s.nextListener++;
    s.listeners.emplace(id, std::move(listener));
    return id;
}

void Log::RemoveListener(int id) {
    Sink& s = TheSink();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.listeners.erase(id);
}

void LogClient::OutputString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = Format(format, args);
    va_end(args);
    Log::Write(text);
}

void LogClient::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = Format(format, args);
    va_end(args);
    Log::Write(text);
}

}  // namespace Kiv
