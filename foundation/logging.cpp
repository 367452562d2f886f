#include "foundation/logging.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "foundation/console_out.h"
#include "foundation/crash.h"
#include "platform/kiv/base/sync.h"
#include "platform/kiv/base/text.h"

namespace {

// The line writer's lock, its listeners and the byte that keeps a listener's own lines from
// being delivered again. Never destroyed: crash and console lines come late.
struct LineWriter {
    Kiv::CriticalSection lock;
    std::set<LogListener*> listeners;
    bool delivering = false;
};

LineWriter& Writer() {
    static LineWriter* writer = new LineWriter;
    return *writer;
}

}  // namespace

Kiv::LogClient& ProcessLogClient() {
    static Kiv::LogClient* client = new Kiv::LogClient("Halvex");
    return *client;
}

namespace {

// Formats and logs one line as LogOutputf does; returns the text.
std::string LogFormatted(const char* format, va_list args) {
    std::string text = Kiv::VFormat(format, args);
    Kiv::LogClient& client = ProcessLogClient();
    client.SetState(2);
    client.OutputString("%s", text.c_str());
    return text;
}

}  // namespace

void LogOutputf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogFormatted(format, args);
    va_end(args);
}

void FatalError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = LogFormatted(format, args);
    va_end(args);
    std::fprintf(stderr, "Error: %s\n", text.c_str());
    OS::ExitCrashCheck();
    EndProcess(1);
}

void AddLogListener(LogListener* listener) {
    LineWriter& w = Writer();
    Kiv::SingleLock lock(&w.lock, true);
    w.listeners.insert(listener);
}

void RemoveLogListener(LogListener* listener) {
    LineWriter& w = Writer();
    Kiv::SingleLock lock(&w.lock, true);
    w.listeners.erase(listener);
}

namespace OS {

void LogLine(const char* text) {
    LineWriter& w = Writer();
    Kiv::SingleLock lock(&w.lock, true);
    std::string line(text != nullptr ? text : "");
    line += '\n';
    // Linux has no debugger output channel; standard output is the one target. stdio converts
    // to UTF-16 itself when standard output is the parent's pipe.
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    if (w.delivering || w.listeners.empty()) return;
    struct Delivering {
        bool& flag;
        explicit Delivering(bool& f) : flag(f) { flag = true; }
        ~Delivering() { flag = false; }
    } delivering(w.delivering);
    // A listener may remove itself or another one meanwhile.
    std::vector<LogListener*> now(w.listeners.begin(), w.listeners.end());
    for (LogListener* l : now)
        if (w.listeners.count(l) != 0) l->OnLogLine(line.c_str());
}

void LogLineA(const char* format, ...) {
    std::vector<char> buffer;
    for (size_t size = kLogLineStart;; size *= 2) {
        buffer.assign(size, '\0');
        va_list args;
        va_start(args, format);
        int n = std::vsnprintf(buffer.data(), size, format, args);
        va_end(args);
        if (n < 0) buffer[0] = '\0';
        if (n < 0 || static_cast<size_t>(n) < size || size >= kLogLineMax) break;
    }
    LogLine(buffer.data());
}

void LogLineW(const wchar_t* format, ...) {
    std::vector<wchar_t> buffer;
    for (size_t size = kLogLineStart;; size *= 2) {
        buffer.assign(size, L'\0');
        va_list args;
        va_start(args, format);
        int n = std::vswprintf(buffer.data(), size, format, args);
        va_end(args);
        // vswprintf reports -1 both for text that does not fit and for text it cannot convert.
        if (n >= 0 || size >= kLogLineMax) break;
    }
    buffer.back() = L'\0';
    std::string text = WideToUtf8(buffer.data(), std::wcslen(buffer.data()));
    LogLine(text.c_str());
}

}  // namespace OS
