// Test support: runs a program with its standard output on a pipe (standard error silenced),
// for servers that print where they listen on their first line; the destructor stops it with
// SIGTERM and reaps it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

class ServerProcess {
public:
    ServerProcess(const std::string& program, std::vector<std::string> args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            int quiet = ::open("/dev/null", O_WRONLY);
            if (quiet >= 0) ::dup2(quiet, 2);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        output_ = ::fdopen(out[0], "r");
    }
    ~ServerProcess() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGTERM);
            Wait();
        }
        if (output_) std::fclose(output_);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    std::string FirstLine() {
        char line[256] = {};
        if (!output_ || !std::fgets(line, sizeof(line), output_)) return "";
        return line;
    }
    // The exit code, -1 when the program did not exit by itself.
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
    bool reaped_ = false;
};

}  // namespace testsupport
