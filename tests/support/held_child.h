// Test support: a forked child process that runs a piece of a test and stays alive while the
// test looks at what it holds (locks, shared memory), until the test releases or kills it.
// The child reports values back through a pipe. Fork it before the test process opens what
// the child should hold on its own: a forked child shares the parent's open descriptors.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>

namespace testsupport {

class HeldChild {
public:
    // The child's side of the pipes.
    class Channel {
    public:
        void Report(int64_t value) {
            ssize_t r;
            do {
                r = ::write(out_, &value, sizeof value);
            } while (r < 0 && errno == EINTR);
        }
        // Blocks until the test releases the child (or the test process ends).
        void AwaitRelease() {
            char c;
            ssize_t r;
            do {
                r = ::read(in_, &c, 1);
            } while (r < 0 && errno == EINTR);
        }

    private:
        friend class HeldChild;
        int in_ = -1;
        int out_ = -1;
    };

    explicit HeldChild(const std::function<void(Channel&)>& body) {
        int toChild[2];
        int toParent[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(toParent, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe failed";
            return;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            Channel channel;
            channel.in_ = toChild[0];
            channel.out_ = toParent[1];
            body(channel);
            ::_exit(0);
        }
        ::close(toChild[0]);
        ::close(toParent[1]);
        release_ = toChild[1];
        reports_ = toParent[0];
        if (pid_ < 0) ADD_FAILURE() << "fork failed";
    }
    ~HeldChild() {
        Release();
        Wait();
        if (reports_ != -1) ::close(reports_);
    }
    HeldChild(const HeldChild&) = delete;
    HeldChild& operator=(const HeldChild&) = delete;

    pid_t pid() const { return pid_; }

    // The next value the child reported; -1 when it ended without one.
    int64_t Next() {
        int64_t value = -1;
        size_t got = 0;
        auto* p = reinterpret_cast<char*>(&value);
        while (got < sizeof value) {
            ssize_t r = ::read(reports_, p + got, sizeof value - got);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return -1;
            got += static_cast<size_t>(r);
        }
        return value;
    }
    // Lets the child go on past AwaitRelease.
    void Release() {
        if (release_ != -1) ::close(release_);
        release_ = -1;
    }
    // Ends the child at once, as a crash would, and collects it.
    void Kill() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
        Wait();
    }
    // Collects the child; its wait status (0 when there is none to collect).
    int Wait() {
        int status = 0;
        if (pid_ > 0) {
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    int reports_ = -1;
};

}  // namespace testsupport
