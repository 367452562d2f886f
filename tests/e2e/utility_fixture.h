// A fixture for end-to-end tests of HalvexUtil's commands: a fresh install tree per test, and
// runs that are expected to end by themselves with nothing on standard error.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace e2e {

// The summary line of a command that found nothing to report.
inline constexpr const char* kClean = "OK (0 Errors, 0 Warnings)\n";

// The output of a command whose only message is this error.
inline std::string OneError(const std::string& line) {
    return "- " + line + "\nOK (1 Errors, 0 Warnings)\n";
}

class UtilityTest : public testing::Test {
protected:
    // Runs HalvexUtil from work/; the run must end by itself and print nothing on standard
    // error.
    RunResult Run(const std::vector<std::string>& args) {
        RunResult r = tree.Run("HalvexUtil", args);
        const std::string what = args.empty() ? std::string() : args[0];
        EXPECT_EQ(r.err, "") << what;
        EXPECT_EQ(r.signal, 0) << what;
        return r;
    }
    // Runs the command line and expects exactly this output and exit code.
    void ExpectRun(const std::vector<std::string>& args, int exitCode, const std::string& out) {
        RunResult r = Run(args);
        const std::string what = args.empty()      ? std::string()
                                 : args.size() > 1 ? args[0] + " " + args[1]
                                                   : args[0];
        EXPECT_EQ(r.out, out) << what;
        EXPECT_EQ(r.exitCode, PosixExitCode(exitCode)) << what;
    }

    InstallTree tree;
};

}  // namespace e2e
