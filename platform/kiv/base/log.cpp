#include "platform/kiv/base/log.h"

#include "platform/kiv/base/text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/kiv/base/options.h"

namespace Kiv {
namespace {

struct Sink {
    std::recursive_mutex mutex;
    int fd = -1;  // file sink; -1 with stdOut false: discard
    bool stdOut = false;
    bool delivering = false;  // a listener's own lines are not delivered again
    int nextListener = 1;
    std::map<int, std::shared_ptr<Log::Listener>> listeners;
};

Sink& TheSink() {
    static Sink* sink = new Sink;  // lines may be written from static destructors
    return *sink;
}

void CloseFile(Sink& s) {
    if (s.fd != -1) ::close(s.fd);
    s.fd = -1;
    s.stdOut = false;
}

void WriteAll(int fd, const std::string& out) {
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::write(fd, out.data() + done, out.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

}  // namespace

bool Log::Init(const Options& options) {
    if (options.Has("LogStdOut")) {
        ToStdOut();
        return true;
    }
    if (std::optional<std::string> file = options.GetValue("LogFile")) return ToFile(*file);
    return true;
}

void Log::ToStdOut() {
    Sink& s = TheSink();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    CloseFile(s);
    s.stdOut = true;
}

bool Log::ToFile(std::string_view path) {
    std::string p(path);
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd == -1) return false;
    Sink& s = TheSink();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    CloseFile(s);
    s.fd = fd;
    return true;
}

void Log::Discard() {
    Sink& s = TheSink();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    CloseFile(s);
}

bool Log::IsToStdOut() {
    Sink& s = TheSink();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    return s.stdOut;
}

void Log::Write(std::string_view line) {
    Sink& s = TheSink();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    std::string out(line);
    out += '\n';
    if (s.stdOut) {
        // Through stdio, in order with the program's own printing and through whatever
        // standard output has been redirected to.
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
    } else if (s.fd != -1) {
        WriteAll(s.fd, out);
    }
    if (s.delivering || s.listeners.empty()) return;

    // Deliver to the listeners registered now; one removed meanwhile is skipped.
    std::vector<std::pair<int, std::shared_ptr<Listener>>> now(s.listeners.begin(),
                                                               s.listeners.end());
    struct Delivering {
        bool& flag;
        explicit Delivering(bool& f) : flag(f) { flag = true; }
        ~Delivering() { flag = false; }
    } delivering(s.delivering);
    for (auto& [id, listener] : now) {
        if (s.listeners.count(id) == 0) continue;
        (*listener)(line);
    }
}

int Log::AddListener(Listener listener) {
    Sink& s = TheSink();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    int id = s.nextListener++;
    s.listeners.emplace(id, std::make_shared<Listener>(std::move(listener)));
    return id;
}

void Log::RemoveListener(int id) {
    Sink& s = TheSink();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    s.listeners.erase(id);
}

void LogClient::OutputString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    Log::Write(text);
}

void LogClient::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    Log::Write(text);
}

}  // namespace Kiv
