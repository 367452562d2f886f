#include "cli/command_loop.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "cli/engine_objects.h"
#include "platform/kiv/base/log.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace {

std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

TEST(CommandLoop, OneCommandPrintsItsOutputThenItsLogAndKeepsItsOwnExitCode) {
    EngineRecord engine;
    std::ostringstream out, err;
    std::vector<std::string> args = {"HalvexUtil", "installedversion"};
    EXPECT_EQ(RunLoggedCommand(engine, 2, Argv(args).data(), out, err), 360);
    EXPECT_EQ(out.str(), "OK (0 Errors, 0 Warnings)\n");

    args = {"HalvexUtil", "Version"};
    EXPECT_EQ(RunLoggedCommand(engine, 2, Argv(args).data(), out, err), 0);
    args = {"HalvexUtil", "unknown"};
    EXPECT_EQ(RunLoggedCommand(engine, 2, Argv(args).data(), out, err), -1);
    EXPECT_EQ(out.str(),
              "OK (0 Errors, 0 Warnings)\n"
              "Build 49922\nOK (0 Errors, 0 Warnings)\n"
              "- <NULL> : Invalid argument, please check the help for the list of valid "
              "argument\n\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(err.str(), "");
}

int ThrowingCommand(ResultsLog& log, EngineRecord&, int, char**, std::ostream& out, std::ostream&) {
    AddMessage(log, kResultsError, {}, "never printed");
    out << "before the exception" << std::endl;
    throw std::runtime_error("escapes the command");
}

TEST(CommandLoopDeathTest, AnExceptionEscapingACommandEndsTheProcessWithMinus100) {
    EngineRecord engine;
    std::vector<std::string> args = {"HalvexUtil", "anything"};
    EXPECT_EXIT(
        {
            std::ostringstream err;
            RunLoggedCommand(engine, 2, Argv(args).data(), std::cout, err, ThrowingCommand);
            std::cout << "OK after the command" << std::endl;
        },
        testing::ExitedWithCode(156), "");
}

TEST(CommandLoop, ABatchRunsEveryLineAndFailsWhenOneFails) {
    testsupport::TempDir dir;
    const std::string batch = dir.Write("Cmds.txt",
                                        "version\r\n"
                                        "\r\n"
                                        "versions\r\n"
                                        "echo \"a  b\" C\r\n"
                                        "installedversion\r\n");
    EngineRecord engine;
    std::ostringstream out, err;
    EXPECT_EQ(RunBatch(engine, batch, "HalvexUtil", out, err), -1);
    EXPECT_EQ(out.str(),
              "Build 49922\nOK (0 Errors, 0 Warnings)\n\n"
              "- <NULL> : Invalid argument, please check the help for the list of valid "
              "argument\n\nOK (1 Errors, 0 Warnings)\n\n"
              "a  b C \nOK (0 Errors, 0 Warnings)\n\n"
              "OK (0 Errors, 0 Warnings)\n\n");
    EXPECT_EQ(err.str(), "");

    // A batch whose every command succeeds ends with 0.
    dir.Write("good.txt", "version\necho \"x\"\n");
    EXPECT_EQ(RunBatch(engine, dir / "good.txt", "HalvexUtil", out, err), 0);
}

TEST(CommandLoop, AMissingBatchFileRunsNothing) {
    testsupport::TempDir dir;
    EngineRecord engine;
    std::ostringstream out, err;
    EXPECT_EQ(RunBatch(engine, dir / "none.txt", "HalvexUtil", out, err), -1);
    EXPECT_EQ(err.str(), "The file \"" + dir / "none.txt" +
                             "\" does not exist, please specify a valid filename\n");
    EXPECT_EQ(out.str(), "");
}

TEST(CommandLoop, ScriptLogLinesGoToTheProcessLogCutToTheBuffer) {
    std::vector<std::string> lines;
    int id = Kiv::Log::AddListener([&](std::string_view l) { lines.emplace_back(l); });
    ScriptLogCallback("value %d of %s", 7, "x");
    const std::string longText(20000, 'y');
    ScriptLogCallback("%s", longText.c_str());
    Kiv::Log::RemoveListener(id);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "ScriptLog> value 7 of x");
    EXPECT_EQ(lines[1], "ScriptLog> " + std::string(kScriptLogBufferSize - 1, 'y'));
}

}  // namespace
