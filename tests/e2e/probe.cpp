// A tiny program for proving the end-to-end harness: it prints, exits with a chosen code,
// echoes its input, sleeps, and starts detached processes that outlive it, as the real daemon
// does. Tests put it in a tree's bin/ in place of a program of the install.
//
//   probe print OUT ERR CODE   writes OUT to standard output and ERR to error, exits with CODE
//   probe args ARG...          writes each argument between brackets on a line of its own
//   probe cwd                  writes the working folder
//   probe env NAME             writes the value of the environment variable NAME
//   probe cat                  copies standard input to standard output
//   probe sleep                waits until it is killed
//   probe daemon [stubborn]    starts a detached copy of itself that waits until it is killed
//                              (ignoring SIGTERM when stubborn), writes its process id and ends
//   probe hold                 starts a copy that keeps this run's output open, and ends
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

[[noreturn]] void WaitForever() {
    for (;;)
        ::pause();
}

// The child of a fork that leaves this process's session and output.
void Detach() {
    ::setsid();
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (null > 2) ::close(null);
}

int StartDaemon(bool stubborn) {
    int ready[2];
    if (::pipe(ready) != 0) return 2;
    pid_t child = ::fork();
    if (child < 0) return 2;
    if (child == 0) {
        ::close(ready[0]);
        Detach();
        if (stubborn) ::signal(SIGTERM, SIG_IGN);
        // Only now may the test try to stop it.
        ssize_t ignored = ::write(ready[1], "r", 1);
        (void)ignored;
        ::close(ready[1]);
        WaitForever();
    }
    ::close(ready[1]);
    char c = 0;
    if (::read(ready[0], &c, 1) != 1) return 2;
    std::cout << child << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "print" && argc == 5) {
        std::cout << argv[2];
        std::cerr << argv[3];
        std::cout.flush();
        std::cerr.flush();
        return std::atoi(argv[4]);
    }
    if (mode == "args") {
        for (int i = 2; i < argc; ++i)
            std::cout << '[' << argv[i] << "]\n";
        return 0;
    }
    if (mode == "cwd") {
        char* cwd = ::getcwd(nullptr, 0);
        std::cout << (cwd ? cwd : "") << '\n';
        std::free(cwd);
        return 0;
    }
    if (mode == "env" && argc == 3) {
        const char* v = std::getenv(argv[2]);
        std::cout << (v ? v : "<unset>") << '\n';
        return 0;
    }
    if (mode == "cat") {
        std::cout << std::cin.rdbuf();
        return 0;
    }
    if (mode == "sleep") WaitForever();
    if (mode == "daemon") return StartDaemon(argc > 2 && std::strcmp(argv[2], "stubborn") == 0);
    if (mode == "hold") {
        if (::fork() == 0) {
            ::setsid();
            WaitForever();
        }
        return 0;
    }
    std::cerr << "probe: unknown mode\n";
    return 2;
}
