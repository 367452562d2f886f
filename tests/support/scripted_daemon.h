// Test and benchmark support: a scripted stand-in of the database daemon on loopback. It
// publishes its port in the shared-state block of a database path (holding the block as a
// process of its own would), answers each connection's hello with the tag it is given, and
// then reads frames: message kEchoMessage is answered with the 4-byte word kEchoAnswer,
// message 270 (close the daemon) ends the connection when closeOnRequest is set; a script's
// onFrame sees every frame and may answer through Send (replies, notifications). Everything a
// connection sends is kept, so tests compare the bytes.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/shared_state.h"
#include "platform/system/named_mutex.h"
#include "platform/system/shared_memory.h"
#include "tests/support/loopback_listener.h"

namespace testsupport {

class ScriptedDaemon {
public:
    static constexpr uint32_t kEchoMessage = 9001;
    static constexpr uint32_t kEchoAnswer = 0x6B636140;  // "@ack"

    // One frame from the client.
    struct Frame {
        uint32_t messageId = 0;
        uint32_t secondWord = 0;  // the client transaction id of a request, 0 for a post
        std::string payload;
    };

    struct Script {
        uint32_t answerTag = 0x57455844;  // 'WEXD'
        uint32_t helloWords[2] = {11, 22};
        bool closeOnRequest = true;
        // Called on the daemon's thread for every frame after the built-in handling; false
        // ends the connection.
        std::function<bool(ScriptedDaemon&, const Frame&)> onFrame;
    };

    // The records a daemon sends back: a reply to a request and a notification.
    static std::string ReplyRecord(uint32_t transactionId, const std::string& body) {
        return Word(0x7265706C) + Word(transactionId) + Word(static_cast<uint32_t>(body.size())) +
               body;
    }
    static std::string NoteRecord(uint32_t type, const std::string& payload) {
        return Word(0x6E6F7465) + Word(type) + Word(static_cast<uint32_t>(payload.size())) +
               payload;
    }
    static std::string Word(uint32_t w) { return std::string(reinterpret_cast<char*>(&w), 4); }

    ScriptedDaemon(const std::string& databasePath, Script script)
        : script_(script), names_(SharedStateNamesFor(databasePath)) {
        Publish(listener_.port());
        thread_ = std::thread([this] { Serve(); });
    }
    explicit ScriptedDaemon(const std::string& databasePath)
        : ScriptedDaemon(databasePath, Script()) {}
    ~ScriptedDaemon() {
        Stop();
        thread_.join();
        if (!names_.mapping.empty()) {
            std::lock_guard<Sys::NamedMutex> hold(mutex_);
            if (mutex_.IsOnlyUser()) Sys::SharedMemory::Remove(names_.mapping);
        }
    }
    ScriptedDaemon(const ScriptedDaemon&) = delete;
    ScriptedDaemon& operator=(const ScriptedDaemon&) = delete;

    uint16_t port() const { return listener_.port(); }

    // Stops listening and ends the connections; the port stays in the block, so a client
    // that tries it finds nobody there.
    void Stop() {
        stopping_ = true;
        listener_.Close();
        std::lock_guard<std::mutex> hold(lock_);
        for (int fd : open_)
            ::shutdown(fd, SHUT_RDWR);
    }

    // The bytes each connection sent, in the order the connections came.
    std::vector<std::string> Received() {
        std::lock_guard<std::mutex> hold(lock_);
        return received_;
    }
    size_t Connections() { return Received().size(); }

    // Sends bytes on the newest connection (from any thread); false when there is none or the
    // send failed.
    bool Send(const std::string& bytes) {
        // Held throughout, so that the connection cannot close (and its descriptor be reused)
        // during the send.
        std::lock_guard<std::mutex> hold(lock_);
        if (open_.empty()) return false;
        std::lock_guard<std::mutex> write(writeLock_);
        return SendAll(open_.back(), bytes.data(), bytes.size());
    }

private:
    void Publish(uint16_t port) {
        if (names_.mutex.empty()) return;
        auto opened = mutex_.Create(names_.mutex, false);
        if (opened == Sys::NamedMutex::OpenResult::kFailed ||
            !memory_.Open(names_.mapping, kSharedStateSize))
            return;
        std::lock_guard<Sys::NamedMutex> hold(mutex_);
        WEXSharedState block(memory_.Data());
        if (opened == Sys::NamedMutex::OpenResult::kCreated)
            block.Initialise(static_cast<uint32_t>(::getpid()));
        block.SetWord(WEXSharedState::kPortOffset, port);
    }

    void Serve() {
        while (!stopping_) {
            int fd = listener_.Accept();
            if (fd < 0) return;
            size_t index;
            {
                std::lock_guard<std::mutex> hold(lock_);
                open_.push_back(fd);
                received_.emplace_back();
                index = received_.size() - 1;
            }
            Converse(fd, index);
            {
                std::lock_guard<std::mutex> hold(lock_);
                std::erase(open_, fd);
            }
            ::close(fd);
        }
    }

    // Receives exactly n bytes, keeping whatever arrives (a cut-off frame included).
    bool Take(int fd, size_t index, void* out, size_t n) {
        auto* p = static_cast<char*>(out);
        while (n > 0) {
            ssize_t r = ::recv(fd, p, n, 0);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            {
                std::lock_guard<std::mutex> hold(lock_);
                received_[index].append(p, static_cast<size_t>(r));
            }
            p += r;
            n -= static_cast<size_t>(r);
        }
        return true;
    }

    void Converse(int fd, size_t index) {
        uint32_t hello[5];
        if (!Take(fd, index, hello, sizeof hello)) return;
        std::string path(hello[4] < 4096 ? hello[4] : 0, '\0');
        if (!Take(fd, index, path.data(), path.size())) return;
        uint32_t answer[3] = {script_.answerTag, script_.helloWords[0], script_.helloWords[1]};
        {
            std::lock_guard<std::mutex> hold(writeLock_);
            if (!SendAll(fd, answer, sizeof answer)) return;
        }
        for (;;) {
            uint32_t header[3];
            if (!Take(fd, index, header, sizeof header)) return;
            std::string payload(header[2] < (1u << 20) ? header[2] : 0, '\0');
            if (!Take(fd, index, payload.data(), payload.size())) return;
            if (header[0] == kEchoMessage) {
                std::lock_guard<std::mutex> hold(writeLock_);
                if (!SendAll(fd, &kEchoAnswer, 4)) return;
            }
            if (header[0] == 270 && script_.closeOnRequest) return;
            if (script_.onFrame &&
                !script_.onFrame(*this, Frame{header[0], header[1], std::move(payload)}))
                return;
        }
    }

    Script script_;
    SharedStateNames names_;
    Sys::NamedMutex mutex_;
    Sys::SharedMemory memory_;
    LoopbackListener listener_;
    std::atomic<bool> stopping_{false};
    std::mutex lock_;
    std::mutex writeLock_;
    std::vector<int> open_;
    std::vector<std::string> received_;
    std::thread thread_;
};

}  // namespace testsupport
