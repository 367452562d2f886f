#include "cli/engine_objects.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/kiv/base/os.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/res/resource_system.h"

namespace {

constexpr const char* kRetryLine = "Unable to load render kernel. Retrying with -NullRender.\n";

class EngineObjects : public testing::Test {
protected:
    void TearDown() override {
        Kiv::RenderKernel::FailNextInitsForTesting(0);
        DestroyEngineObjects(record);
        EXPECT_EQ(record.os, nullptr);
        EXPECT_EQ(record.resourceSystem, nullptr);
        EXPECT_EQ(record.renderKernel, nullptr);
        EXPECT_EQ(Kiv::RenderKernel::GetCurrent(), nullptr);
        EXPECT_EQ(Kiv::ResourceSystem::GetCurrent(), nullptr);
        EXPECT_EQ(Kiv::OS::GetCurrent(), nullptr);
    }
    EngineRecord record;
    std::ostringstream err;
};

TEST_F(EngineObjects, StartWithTheOptionStringAndNoWindow) {
    ASSERT_TRUE(StartEngineObjects(record, "-render=OpenGL -hidewindow -LogFile=/dev/null ", err));
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(record.os->GetAppName(), "HalvexUtil");
    EXPECT_TRUE(record.os->IsInitialised());
    EXPECT_EQ(record.resourceSystem->GetOptions().GetString("LogFile"), "/dev/null");
    EXPECT_TRUE(record.renderKernel->IsInitialised());
    EXPECT_FALSE(record.renderKernel->IsNullRender());
    EXPECT_EQ(record.renderKernel->GetDetail(), 8.0f);
    EXPECT_EQ(Kiv::RenderKernel::GetCurrent(), record.renderKernel);
    EXPECT_EQ(Kiv::ResourceSystem::GetCurrent(), record.resourceSystem);
}

TEST_F(EngineObjects, ARenderKernelThatFailsOnceStartsWithNullRender) {
    Kiv::RenderKernel::FailNextInitsForTesting(1);
    ASSERT_TRUE(StartEngineObjects(record, "-render=OpenGL -hidewindow -LogFile=/dev/null ", err));
    EXPECT_EQ(err.str(), kRetryLine);
    EXPECT_TRUE(record.os->GetOptions().Has("NullRender"));
    EXPECT_TRUE(record.renderKernel->IsNullRender());
}

TEST_F(EngineObjects, ARenderKernelThatFailsTwiceEndsStartUp) {
    Kiv::RenderKernel::FailNextInitsForTesting(2);
    EXPECT_FALSE(StartEngineObjects(record, "-NullRender -LogFile=/dev/null ", err));
    EXPECT_EQ(err.str(), std::string(kRetryLine) + "- Unable to initialize render system\n\n");
    EXPECT_FALSE(record.renderKernel->IsInitialised());
}

TEST_F(EngineObjects, AnOSObjectThatFailsTwiceEndsStartUpBeforeTheRenderKernel) {
    EXPECT_FALSE(StartEngineObjects(record, "-render=OpenGL \"unclosed", err));
    EXPECT_EQ(err.str(), std::string(kRetryLine) + "- Kiv OS initialisation failed.\n");
    EXPECT_FALSE(record.renderKernel->IsInitialised());
    EXPECT_FALSE(record.resourceSystem->IsInitialised());
}

}  // namespace
