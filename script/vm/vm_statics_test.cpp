#include "script/vm/vm_statics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "foundation/statics.h"

namespace {

__attribute__((constructor(101))) void ArmCheck() {
    ArmStaticsExitCheck();  // released in reverse order at exit, or the program fails
}

// Looked at before anything here touches the statics: they were built before main.
TEST(ScriptMachineStatics, ExistBeforeMain) {
    std::vector<std::string> live = LiveStatics();
    for (const char* name : {"#GSMachine", "#GSContext", "script contexts"})
        EXPECT_NE(std::find(live.begin(), live.end(), name), live.end()) << name;
}

TEST(ScriptMachineStatics, HeapsAreNamedAndServeBlocks) {
    EXPECT_EQ(GSMachineHeap().GetName(), "#GSMachine");
    EXPECT_EQ(GSContextHeap().GetName(), "#GSContext");
    void* block = GSContextHeap().Alloc(36);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GSContextHeap().LiveBlocks(), 1);
    GSContextHeap().Free(block);
    EXPECT_EQ(GSContextHeap().LiveBlocks(), 0);
    EXPECT_TRUE(LiveScriptContexts().empty());
}

std::string g_logged;

void CaptureScriptLog(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_logged = line;
}

TEST(ScriptMachineStatics, LogHookIsOffUntilSet) {
    EXPECT_EQ(GetScriptLogHook(), nullptr);
    SetScriptLogHook(CaptureScriptLog);
    GetScriptLogHook()("%s %d", "line", 7);
    EXPECT_EQ(g_logged, "line 7");
    SetScriptLogHook(nullptr);
    EXPECT_EQ(GetScriptLogHook(), nullptr);
}

}  // namespace
