#include "services/wexdaemon/command_host_manager.h"

#include <unistd.h>

#include <filesystem>

#include "services/wexdaemon/daemon_log.h"

namespace wexd {

namespace {

// How often a waiting call looks whether the host's link or process is gone.
constexpr std::chrono::milliseconds kLookStep{50};

// The process still runs the program started: a process id may have been reused since.
bool StillRunsProgram(Sys::ProcessId pid, const std::string& program) {
    if (pid == 0 || !Sys::IsProcessAlive(pid)) return false;
    std::error_code ec;
    std::filesystem::path real = std::filesystem::canonical(program, ec);
    return !ec && Sys::GetProcessExecutable(pid) == real.string();
}

}  // namespace

CommandHostManager::CommandHostManager(Options options) : options_(std::move(options)) {}

CommandHostManager::~CommandHostManager() = default;

void CommandHostManager::Register(const std::shared_ptr<NoteSink>& link) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (host_ && !host_->IsGone()) {
        DaemonLog("link %llu asked to be the command host; link %llu is; ignored",
                  static_cast<unsigned long long>(link->LinkId()),
                  static_cast<unsigned long long>(host_->LinkId()));
        return;
    }
    host_ = link;
    DaemonLog("link %llu is the command host", static_cast<unsigned long long>(link->LinkId()));
    changed_.notify_all();
}

void CommandHostManager::Answer(uint64_t linkId, const void* bytes, uint32_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!host_ || host_->LinkId() != linkId || !waiting_) {
        DaemonLog("link %llu sent a command-host answer nobody waits for; ignored",
                  static_cast<unsigned long long>(linkId));
        return;
    }
    const auto* p = static_cast<const uint8_t*>(bytes);
    answer_.assign(p, p + length);
    answered_ = true;
    changed_.notify_all();
}

void CommandHostManager::NoteHandle(uint64_t linkId, uint64_t handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (waiting_ && host_ && host_->LinkId() == linkId) callHandles_.insert(handle);
}

uint64_t CommandHostManager::HostLink() {
    std::lock_guard<std::mutex> lock(mutex_);
    return host_ && !host_->IsGone() ? host_->LinkId() : 0;
}

Sys::ProcessId CommandHostManager::LaunchedHost() {
    std::lock_guard<std::mutex> lock(mutex_);
    return launched_;
}

bool CommandHostManager::HostGoneLocked() const {
    return !host_ || host_->IsGone();
}

bool CommandHostManager::HaveHostLocked(std::unique_lock<std::mutex>& lock, std::string& why) {
    if (!HostGoneLocked()) return true;
    host_.reset();
    if (options_.program.empty()) {
        why =
            "no command host is registered, and none is started for a database outside the "
            "install's own UserData folder";
        return false;
    }
    if (::access(options_.program.c_str(), X_OK) != 0) {
        why = "there is no " + options_.program + " to run as the command host";
        return false;
    }
    Sys::LaunchRequest request;
    request.file = options_.program;
    request.arguments = {"wexcommandhost", "norender"};
    request.directory = options_.program.substr(0, options_.program.find_last_of('/'));
    request.outputPath = options_.logFile;
    Sys::ProcessId pid = Sys::LaunchDetached(request);
    if (pid == 0) {
        why = "the command host " + options_.program + " could not be started";
        return false;
    }
    launched_ = pid;
    DaemonLog("started the command host (process %u)", pid);
    auto deadline = std::chrono::steady_clock::now() + options_.registerWait;
    while (HostGoneLocked()) {
        if (!Sys::IsProcessAlive(pid)) {
            why = "the command host ended before it registered (see " + options_.logFile + ")";
            launched_ = 0;
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            why = "the command host did not register in time";
            Sys::TerminateProcess(pid);
            launched_ = 0;
            return false;
        }
        changed_.wait_for(lock, kLookStep);
    }
    return true;
}

void CommandHostManager::FailLocked(std::unique_lock<std::mutex>& lock) {
    std::shared_ptr<NoteSink> host = std::move(host_);
    if (StillRunsProgram(launched_, options_.program)) {
        DaemonLog("ending the command host (process %u)", launched_);
        Sys::TerminateProcess(launched_);
    }
    launched_ = 0;
    std::set<uint64_t> handles;
    handles.swap(callHandles_);
    lock.unlock();
    for (uint64_t handle : handles)
        if (options_.revert) options_.revert(handle);
    lock.lock();
}

bool CommandHostManager::Call(const std::vector<uint8_t>& payload, std::vector<uint8_t>& answer,
                              std::string& why) {
    answer.clear();
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t ticket = nextTicket_++;
    changed_.wait(lock, [&] { return serving_ == ticket; });
    struct Next {
        CommandHostManager& m;
        ~Next() {
            m.serving_++;
            m.changed_.notify_all();
        }
    } next{*this};

    if (!HaveHostLocked(lock, why)) return false;
    waiting_ = true;
    answered_ = false;
    answer_.clear();
    callHandles_.clear();
    std::shared_ptr<NoteSink> host = host_;
    lock.unlock();
    const bool sent =
        host->SendNote(kNoteCommandHostCall, payload.data(), static_cast<uint32_t>(payload.size()));
    lock.lock();

    auto deadline = std::chrono::steady_clock::now() + options_.callLimit;
    if (!sent) why = "the command host's link dropped";
    while (sent && !answered_) {
        if (host->IsGone()) {
            why = "the command host's link dropped";
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            why = "the command host did not answer in time";
            break;
        }
        changed_.wait_for(lock, kLookStep);
    }
    waiting_ = false;
    if (answered_ && answer_.empty()) why = "the command host answered nothing";
    if (answered_ && !answer_.empty()) {
        answer.swap(answer_);
        callHandles_.clear();
        return true;
    }
    DaemonLog("command-host call failed: %s", why.c_str());
    FailLocked(lock);
    return false;
}

}  // namespace wexd
