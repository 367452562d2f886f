#include "platform/kiv/base/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

TEST(Log, ClientLinesReachListenersAndTheFileSink) {
    testsupport::TempDir tmp;
    std::vector<std::string> seen;
    int id = Kiv::Log::AddListener([&](std::string_view line) { seen.emplace_back(line); });
    ASSERT_TRUE(Kiv::Log::ToFile(tmp / "log.txt"));
    Kiv::LogClient client("Halvex");
    client.OutputString("%s> %d", "Fn", 42);
    client.Printf("second");
    Kiv::Log::Discard();
    client.Printf("discarded but heard");
    Kiv::Log::RemoveListener(id);
    client.Printf("unheard");
    EXPECT_EQ(seen, (std::vector<std::string>{"Fn> 42", "second", "discarded but heard"}));
    EXPECT_EQ(tmp.Read("log.txt"), "Fn> 42\nsecond\n");
}

}  // namespace
