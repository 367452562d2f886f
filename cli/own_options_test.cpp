#include "cli/own_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(OwnOptions, FoundAnywhereInAnyCase) {
    struct Case {
        std::vector<const char*> argv;
        bool renderOff;
        bool logToStdOut;
        bool clientEnabled;
        const char* engineOptions;
    };
    const Case cases[] = {
        {{"HalvexUtil", "status", "<kuid:1:2>"},
         false,
         false,
         true,
         "-render=OpenGL -hidewindow -LogFile=/dev/null "},
        {{"HalvexUtil", "status", "NoRender"},
         true,
         false,
         true,
         "-NullRender -LogFile=/dev/null "},
        {{"HalvexUtil", "-KIVLOG", "version"},
         false,
         true,
         true,
         "-render=OpenGL -hidewindow -LogStdOut "},
        {{"HalvexUtil", "version", "-nowexclient", "-nostartwexdaemon", "norender", "-kivlog"},
         true,
         true,
         false,
         "-NullRender -LogStdOut "},
        // The program's own name is scanned too; a dashed "-norender" is not the option.
        {{"norender", "version", "-norender", "nowexclient"},
         true,
         false,
         true,
         "-NullRender -LogFile=/dev/null "},
    };
    for (const Case& c : cases) {
        OwnOptions o = ScanOwnOptions(static_cast<int>(c.argv.size()), c.argv.data());
        EXPECT_EQ(o.renderOff, c.renderOff) << c.engineOptions;
        EXPECT_EQ(o.engineLogToStdOut, c.logToStdOut) << c.engineOptions;
        EXPECT_EQ(o.wexClientEnabled, c.clientEnabled) << c.engineOptions;
        EXPECT_EQ(BuildEngineOptionString(o), c.engineOptions);
    }
}

}  // namespace
