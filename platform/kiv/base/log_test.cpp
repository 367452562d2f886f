#include "platform/kiv/base/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/kiv/base/options.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(Log, ClientLinesReachListenersAndTheFileSink) {
    testsupport::TempDir tmp;
    std::vector<std::string> seen;
    int id = Kiv::Log::AddListener([&](std::string_view line) { seen.emplace_back(line); });
    ASSERT_TRUE(Kiv::Log::Init(Kiv::Options("-LogFile=" + tmp / "log.txt")));
    Kiv::LogClient client("Halvex");
    client.OutputString("%s> %d", "Fn", 42);
    client.Printf("second");
    Kiv::Log::Discard();
    client.Printf("discarded but heard");
    Kiv::Log::RemoveListener(id);
    client.Printf("unheard");
    EXPECT_EQ(seen, (std::vector<std::string>{"Fn> 42", "second", "discarded but heard"}));
    EXPECT_EQ(tmp.Read("log.txt"), "Fn> 42\nsecond\n");
    EXPECT_FALSE(Kiv::Log::Init(Kiv::Options("-LogFile=" + tmp / "no/such/folder/log.txt")));
}

TEST(Log, StdOutSinkWritesThroughStandardOutput) {
    testing::internal::CaptureStdout();
    ASSERT_TRUE(Kiv::Log::Init(Kiv::Options("-LogStdOut")));
    EXPECT_TRUE(Kiv::Log::IsToStdOut());
    Kiv::Log::Write("to the console");
    Kiv::Log::Discard();
    Kiv::Log::Write("nowhere");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "to the console\n");
}

// A listener that logs, or removes itself, while a line is delivered must neither deadlock
// nor recurse; its own line still reaches the sink.
TEST(Log, ListenersMayLogAndRemoveThemselves) {
    testsupport::TempDir tmp;
    ASSERT_TRUE(Kiv::Log::ToFile(tmp / "log.txt"));
    std::vector<std::string> echoed;
    std::vector<std::string> once;
    int echo = Kiv::Log::AddListener([&](std::string_view line) {
        echoed.emplace_back(line);
        Kiv::Log::Write("echo: " + std::string(line));
    });
    int onceId = 0;
    onceId = Kiv::Log::AddListener([&](std::string_view line) {
        once.emplace_back(line);
        Kiv::Log::RemoveListener(onceId);
    });
    Kiv::Log::Write("a");
    Kiv::Log::Write("b");
    Kiv::Log::RemoveListener(echo);
    Kiv::Log::Discard();
    EXPECT_EQ(echoed, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(once, (std::vector<std::string>{"a"}));
    EXPECT_EQ(tmp.Read("log.txt"), "a\necho: a\nb\necho: b\n");
}

}  // namespace
