// Test support: runs a piece of a test in a forked child process, for behaviour that ends the
// process (fatal errors, crashes, exit codes) and must never end the test runner itself.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace testsupport {

struct ChildResult {
    int status = 0;
    std::string out;  // what the child wrote to standard output
    std::string err;  // and to standard error

    bool Exited() const { return WIFEXITED(status); }
    // The exit code as a caller sees it (POSIX keeps the low 8 bits: -100 reads 156).
    int ExitCode() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
    bool KilledBy(int signal) const { return WIFSIGNALED(status) && WTERMSIG(status) == signal; }
};

namespace detail {
inline std::string TakeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ::unlink(path.c_str());
    return body;
}
inline std::string MakeTempFile() {
    char name[] = "/tmp/halvex-child-XXXXXX";
    int fd = ::mkstemp(name);
    if (fd == -1)
        ADD_FAILURE() << "cannot make a temporary file";
    else
        ::close(fd);
    return name;
}
}  // namespace detail

// Runs body in a child process with standard output and error going to files; the child ends
// with exit code 0 when body returns. Returns the child's wait status and its output.
inline ChildResult RunInChild(const std::function<void()>& body) {
    std::string outPath = detail::MakeTempFile();
    std::string errPath = detail::MakeTempFile();
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(outPath.c_str(), O_WRONLY | O_TRUNC);
        int err = ::open(errPath.c_str(), O_WRONLY | O_TRUNC);
        if (out == -1 || err == -1 || ::dup2(out, 1) == -1 || ::dup2(err, 2) == -1) ::_exit(250);
        ::close(out);
        ::close(err);
        body();
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(0);
    }
    ChildResult result;
    if (pid < 0) {
        ADD_FAILURE() << "fork failed";
        return result;
    }
    ::waitpid(pid, &result.status, 0);
    result.out = detail::TakeFile(outPath);
    result.err = detail::TakeFile(errPath);
    return result;
}

}  // namespace testsupport
