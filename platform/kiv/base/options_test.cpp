#include "platform/kiv/base/options.h"

#include <gtest/gtest.h>

#include "platform/kiv/base/os.h"

namespace {

TEST(Options, ReadsFlagsAndValuesIgnoringCase) {
    Kiv::Options o("-NullRender  -LogFile=/dev/null -render=OpenGL -Title=\"two words\" -N=42");
    EXPECT_TRUE(o.Has("nullrender"));
    EXPECT_TRUE(o.Has("-NULLRENDER"));
    EXPECT_FALSE(o.GetValue("NullRender").has_value());  // a flag has no value
    EXPECT_EQ(o.GetString("logfile"), "/dev/null");
    EXPECT_EQ(o.GetString("RENDER"), "OpenGL");
    EXPECT_EQ(o.GetString("title"), "two words");
    EXPECT_EQ(o.GetInt("n"), 42);
    EXPECT_EQ(o.GetInt("title", -5), -5);  // not a number
    EXPECT_EQ(o.GetString("absent", "dflt"), "dflt");
    EXPECT_EQ(o.Count(), 5u);
}

TEST(Options, LaterWordsReplaceEarlierOnesAndRoundTrip) {
    Kiv::Options o("-render=OpenGL -hidewindow");
    EXPECT_TRUE(o.ProcessRaw("-RENDER=null -Empty="));
    EXPECT_EQ(o.GetString("render"), "null");
    EXPECT_EQ(o.GetValue("empty"), std::optional<std::string>(""));
    EXPECT_EQ(o.ToString(), "-render=null -hidewindow -Empty=");
    EXPECT_TRUE(o.Remove("HideWindow"));
    EXPECT_FALSE(o.Remove("hidewindow"));
    Kiv::Options again(o.ToString());
    EXPECT_EQ(again.ToString(), o.ToString());
}

TEST(Options, MalformedWordsAreReportedAndSkipped) {
    struct Case {
        const char* raw;
        const char* kept;  // what is left, written back
    };
    const Case cases[] = {
        {"NullRender -LogStdOut", "-LogStdOut"},
        {"- -=x -LogStdOut", "-LogStdOut"},
        {"-LogStdOut -Title=\"open", "-LogStdOut"},
        {"-a=1 stray -b", "-a=1 -b"},
    };
    for (const Case& c : cases) {
        Kiv::Options o;
        EXPECT_FALSE(o.ProcessRaw(c.raw)) << c.raw;
        EXPECT_FALSE(o.GetLastError().empty()) << c.raw;
        EXPECT_EQ(o.ToString(), c.kept) << c.raw;
    }
}

TEST(EngineOS, InitChecksTheOptionsAndKeepsThemEditable) {
    Kiv::OS os("HalvexUtil", "-render=OpenGL -hidewindow -LogFile=/dev/null");
    EXPECT_EQ(Kiv::OS::GetCurrent(), &os);
    EXPECT_TRUE(os.Init());
    os.GetOptions().ProcessRaw("-NullRender");
    EXPECT_TRUE(os.GetOptions().Has("nullrender"));
    EXPECT_EQ(os.GetAppName(), "HalvexUtil");

    Kiv::OS bad("HalvexUtil", "render=OpenGL");
    EXPECT_FALSE(bad.Init());
    EXPECT_NE(bad.GetLastError().find("render=OpenGL"), std::string::npos);
}

}  // namespace
