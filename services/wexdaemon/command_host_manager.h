// The daemon's command host: a copy of the program run as "wexcommandhost" that carries out the
// work the daemon cannot do itself (validating, converting textures, installing archived
// assets). A link becomes the host by posting 140; one host at a time. With none registered,
// a call starts one (bin/HalvexUtil wexcommandhost norender, in bin/, its output appended to
// "commandhost.log" in the data root) and waits for its 140, but only where the daemon's data
// root is the install's own UserData: the host finds its database from where it lies.
//
// Calls go out one at a time, in the order they came, each as a note of type 1 on the host's
// link; the next 141 on that link is its answer. A call fails when the host cannot be had,
// the time limit passes, the link drops or the answer is empty; the daemon then ends a host it
// started, reverts the edits the host's link opened during the call, and the next call gets a
// fresh host.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/system/process.h"
#include "services/wexdaemon/request_table.h"

namespace wexd {

// The note that carries a call to the host.
constexpr uint32_t kNoteCommandHostCall = 1;

class CommandHostManager {
public:
    struct Options {
        // The program started as the host; empty: no host is ever started here.
        std::string program;
        std::string logFile;
        std::chrono::milliseconds registerWait{std::chrono::seconds(30)};
        std::chrono::milliseconds callLimit{std::chrono::minutes(10)};
        // Throws away the editing copy of a handle (a failed call's edits).
        std::function<void(uint64_t handle)> revert;
    };

    explicit CommandHostManager(Options options);
    ~CommandHostManager();
    CommandHostManager(const CommandHostManager&) = delete;
    CommandHostManager& operator=(const CommandHostManager&) = delete;

    // Post 140 on a link.
    void Register(const std::shared_ptr<NoteSink>& link);
    // Post 141 on a link: the answer to the call in progress when it came on the host's link.
    void Answer(uint64_t linkId, const void* bytes, uint32_t length);
    // A handle the link opened or created (its edits are reverted should the call fail).
    void NoteHandle(uint64_t linkId, uint64_t handle);
    // The host's link, 0 when none is registered.
    uint64_t HostLink();
    // The process of a host this daemon started and still counts on; 0 when none.
    Sys::ProcessId LaunchedHost();

    // One call: its payload (u32 command id and the rest). True with the answer's bytes; false
    // with a sentence saying why (a failed call has done what failure undoes).
    bool Call(const std::vector<uint8_t>& payload, std::vector<uint8_t>& answer, std::string& why);

private:
    // Holds the calls' order: a ticket each, served in turn.
    class Turn;

    // A live host's link; starts one when none is registered. False with why.
    bool HaveHostLocked(std::unique_lock<std::mutex>& lock, std::string& why);
    // Drops the host after a failed call: ends a started one and reverts the call's edits.
    void FailLocked(std::unique_lock<std::mutex>& lock);
    bool HostGoneLocked() const;

    Options options_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::shared_ptr<NoteSink> host_;
    Sys::ProcessId launched_ = 0;
    bool waiting_ = false;
    bool answered_ = false;
    std::vector<uint8_t> answer_;
    std::set<uint64_t> callHandles_;
    uint64_t nextTicket_ = 0;
    uint64_t serving_ = 0;
};

}  // namespace wexd
