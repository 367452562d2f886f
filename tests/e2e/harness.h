// End-to-end test harness: runs the real programs of the staged install tree, each test in a
// fresh copy of that tree, and gives back what they printed and how they ended.
//
// Use, in a GoogleTest test of this folder (file *_test.cpp, label "e2e"):
//
//     e2e::InstallTree tree;                  // a fresh copy of ${HALVEX_STAGE_DIR}
//     tree.WriteFile("work/cmds.txt", "status \"<kuid:1:2>\"\n");
//     e2e::RunResult r = tree.Run("HalvexUtil", {"@cmds.txt"});   // run from work/
//     EXPECT_EQ(r.exitCode, e2e::PosixExitCode(-1));
//     EXPECT_EQ(r.out, "...");
//
// The tree (InstallTree::Root) holds bin/ with the programs, DUVData/ and plugins/, and Data/,
// as staged; the program makes UserData/ in it as it runs. Beside the tree lies work/, the
// default working folder of a run, for the files a test hands to a program by a relative path;
// a run may name any other folder. Programs of bin/ are hard links to the staged ones where the
// file system allows: never write into one; replace it with InstallProgram.
//
// A run that outlasts its time limit is killed, with its process group, and fails the test; so
// does a program that leaves a process behind holding its standard output or error. Exit codes
// are those POSIX reports (the low 8 bits: -1 reads 255, -100 reads 156); PosixExitCode turns
// the program's own code into that form.
//
// When the InstallTree goes out of scope it stops every process of the tree's daemon
// (bin/wexdaemon) and of the utility (bin/HalvexUtil, a command host), found by the exact path
// of their executable, so processes of other trees are left alone: SIGTERM first, SIGKILL after
// a grace period. Then it removes the tree. StopPrograms does the same at any earlier point.
//
// The daemon's inter-process block is named after the tree's database folder, so tests in
// different trees run side by side.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;

// The exit code as a parent sees it on POSIX.
constexpr int PosixExitCode(int code) {
    return code & 0xFF;
}

struct RunOptions {
    std::string workingDir;  // empty: the tree's work/ folder
    std::chrono::milliseconds timeout = 60s;
    // How long the output may stay open after the program ended (something it started may
    // still be writing its last bytes); longer fails the test.
    std::chrono::milliseconds outputGrace = 2s;
    std::string input;                     // standard input; empty: /dev/null
    std::vector<std::string> environment;  // "NAME=value" entries added to (or replacing)
                                           // the test's own

    // For one-line use: RunOptions().In(dir).Input("text").
    RunOptions& In(std::string dir) {
        workingDir = std::move(dir);
        return *this;
    }
    RunOptions& Within(std::chrono::milliseconds limit) {
        timeout = limit;
        return *this;
    }
    RunOptions& OutputGrace(std::chrono::milliseconds limit) {
        outputGrace = limit;
        return *this;
    }
    RunOptions& Input(std::string text) {
        input = std::move(text);
        return *this;
    }
    RunOptions& Env(std::string entry) {
        environment.push_back(std::move(entry));
        return *this;
    }
};

struct RunResult {
    int exitCode = -1;  // 0-255 when the program exited by itself, else -1
    int signal = 0;     // the signal that ended it, else 0
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs one program (an absolute path) with the arguments after its name and waits for it,
// within the time limit. The test fails when the limit is passed or a process left behind
// keeps the program's output open; what was read until then is returned.
RunResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                     const RunOptions& options);

class InstallTree {
public:
    // Copies bin/ and Data/ of the staged tree; a stage without bin/ fails the test.
    explicit InstallTree(std::string stageDir = HALVEX_STAGE_DIR);
    ~InstallTree();
    InstallTree(const InstallTree&) = delete;
    InstallTree& operator=(const InstallTree&) = delete;

    // The folder holding the tree and work/ (everything the test made).
    const std::string& Top() const { return top_; }
    // The install root: the parent of bin/.
    std::string Root() const { return top_ + "/install"; }
    std::string Bin() const { return Root() + "/bin"; }
    std::string Program(std::string_view name) const { return Bin() + "/" + std::string(name); }
    std::string WorkDir() const { return top_ + "/work"; }

    // Runs a program of bin/ by name, or any program by absolute path.
    RunResult Run(std::string_view program, const std::vector<std::string>& args,
                  const RunOptions& options = {}) const;

    // A file of the test's folder, by a path relative to Top() (or absolute); its folders are
    // made first. Returns the absolute path.
    std::string WriteFile(std::string_view path, std::string_view body) const;
    // True when bin/libraries holds every library the native script classes register from;
    // until it does, a validation of a scripted asset says that the script system could not
    // be initialised.
    bool ShipsNativeScriptLibraries() const;
    std::string ReadFile(std::string_view path) const;

    // Every regular file below a folder, by its path relative to the folder, with its bytes.
    std::map<std::string, std::string> FilesBelow(const std::string& dir) const;

    // Puts another file in the place of the program `name` of bin/ (the staged one is not
    // touched).
    void InstallProgram(std::string_view name, const std::string& source) const;

    // Stops the running processes of the tree's daemon and utility: SIGTERM, then SIGKILL to
    // those still running after `grace`. Returns how many there were. A process that outlives
    // SIGKILL fails the test.
    size_t StopPrograms(std::chrono::milliseconds grace = 5s) const;
    // The ids of the running processes whose executable is the program `name` of bin/.
    std::vector<uint32_t> RunningProcessesOf(std::string_view name) const;

private:
    std::string AbsolutePath(std::string_view path) const;
    std::string top_;
};

}  // namespace e2e
