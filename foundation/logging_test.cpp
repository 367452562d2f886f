#include "foundation/logging.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace {

TEST(LogOutputf, WritesOneLineThroughTheHalvexClient) {
    std::vector<std::string> lines;
    int id = Kiv::Log::AddListener([&](std::string_view line) { lines.emplace_back(line); });
    ProcessLogClient().SetState(0);
    LogOutputf("%s> %d%%", "WEXOpenDatabase", 50);
    LogOutputf("%s", "text with %d in it");
    Kiv::Log::RemoveListener(id);
    EXPECT_EQ(lines, (std::vector<std::string>{"WEXOpenDatabase> 50%", "text with %d in it"}));
    EXPECT_EQ(ProcessLogClient().GetName(), "Halvex");
    EXPECT_EQ(ProcessLogClient().GetState(), 2u);
}

TEST(LogOutputf, ReachesStandardOutputWithLogStdOut) {
    testing::internal::CaptureStdout();
    Kiv::Log::ToStdOut();
    LogOutputf("Fn> shown");
    Kiv::Log::Discard();
    LogOutputf("Fn> discarded");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Fn> shown\n");
}

TEST(FatalError, LogsShowsTheTextAndEndsWithExitCodeOne) {
    testsupport::ChildResult r = testsupport::RunInChild([] {
        Kiv::Log::ToStdOut();
        FatalError("Unable to determine %s.", "application installation path");
    });
    EXPECT_EQ(r.ExitCode(), 1);
    EXPECT_EQ(r.out, "Unable to determine application installation path.\n");
    EXPECT_EQ(r.err, "Error: Unable to determine application installation path.\n");
}

class Recorder : public LogListener {
public:
    std::vector<std::string> lines;
    bool echo = false;
    void OnLogLine(const char* line) override {
        lines.emplace_back(line);
        if (echo) OS::LogLineA("echo of %s", line);  // must not come back here
    }
};

TEST(LogLine, WritesToStandardOutputAndTheListeners) {
    Recorder recorder;
    recorder.echo = true;
    AddLogListener(&recorder);
    testing::internal::CaptureStdout();
    OS::LogLineA("Console Window event handler called for CtrlType=%d", 2);
    OS::LogLineW(L"%ls %d", L"w\u00e9\u20ac\U0001F600", 7);
    std::string out = testing::internal::GetCapturedStdout();
    RemoveLogListener(&recorder);
    EXPECT_EQ(out,
              "Console Window event handler called for CtrlType=2\n"
              "echo of Console Window event handler called for CtrlType=2\n\n"
              "w\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 7\n"
              "echo of w\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 7\n\n");
    EXPECT_EQ(recorder.lines,
              (std::vector<std::string>{"Console Window event handler called for CtrlType=2\n",
                                        "w\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 7\n"}));
}

// The buffer grows from 4096 characters up to 65536; longer text is cut to 65535.
TEST(LogLine, LongTextGrowsTheBufferAndIsCutAtItsEnd) {
    struct Case {
        size_t length;
        size_t kept;
    };
    const Case cases[] = {{4095, 4095},   {4096, 4096},   {40000, 40000},
                          {65535, 65535}, {65536, 65535}, {100000, 65535}};
    for (const Case& c : cases) {
        std::string text(c.length, 'a');
        std::wstring wide(c.length, L'b');
        testing::internal::CaptureStdout();
        OS::LogLineA("%s", text.c_str());
        OS::LogLineW(L"%ls", wide.c_str());
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, std::string(c.kept, 'a') + "\n" + std::string(c.kept, 'b') + "\n")
            << c.length;
    }
}

}  // namespace
