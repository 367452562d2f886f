// The engine log: one process-wide sink for diagnostic lines, and named clients that write to
// it. Start-up points the sink at standard output ("-LogStdOut") or at a file
// ("-LogFile=path", /dev/null to discard); until then lines are discarded. Listeners (tests,
// the program's own log listeners) see every line whatever the sink.
//
// Lines are written and delivered under one re-entrant lock, so listeners see lines one at a
// time and in order. A listener may log: its own lines go to the sink but are not delivered
// to the listeners again (that would recurse without end). A listener may also remove itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Kiv {

class Options;

class Log {
public:
    using Listener = std::function<void(std::string_view line)>;

    // Applies the engine options: "-LogStdOut" sends lines to standard output,
    // "-LogFile=path" appends them to the file. False when the file cannot be opened (the sink
    // is then unchanged); without either option the sink is unchanged.
    static bool Init(const Options& options);
    // Lines go to the C library's standard output (so a redirected stdout sees them too).
    static void ToStdOut();
    // Appends to the file; false when it cannot be opened (the sink is then unchanged).
    static bool ToFile(std::string_view path);
    static void Discard();
    static bool IsToStdOut();

    // Writes one line (a line feed is added) to the sink and to every listener.
    static void Write(std::string_view line);

    // Returns an id for RemoveListener.
    static int AddListener(Listener listener);
    static void RemoveListener(int id);
};

class LogClient {
public:
    explicit LogClient(std::string_view name) : name_(name) {}

    // printf-style; the formatted text is written as one line.
    void OutputString(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Write(std::string_view text) { Log::Write(text); }

    const std::string& GetName() const { return name_; }
    // The client's state word (callers store a level in it before writing).
    // Any thread may log, so the word is atomic.
    void SetState(uint32_t state) { state_.store(state, std::memory_order_relaxed); }
    uint32_t GetState() const { return state_.load(std::memory_order_relaxed); }

private:
    std::string name_;
    std::atomic<uint32_t> state_{0};
};

}  // namespace Kiv
