#include "cli/validation_startup.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

TEST(ValidationStartup, TheDataManagerStartsOnlyOnAFolderThatIsThere) {
    testsupport::TempDir dir;
    dir.Write("DUVData/kind.txt", "");
    dir.Write("file.txt", "");
    const ValidationStartup steps = DefaultValidationStartup();
    EXPECT_FALSE(steps.startDataManager(dir / "missing/"));
    EXPECT_FALSE(steps.startDataManager(dir / "file.txt"));
    EXPECT_FALSE(steps.startDataManager(""));
    EXPECT_EQ(GetValidationDataFolder(), "");
    ASSERT_TRUE(steps.startDataManager(dir / "DUVData/"));
    EXPECT_EQ(GetValidationDataFolder(), dir / "DUVData/");
    steps.stopDataManager();
    EXPECT_EQ(GetValidationDataFolder(), "");
    // Stopping what never started is harmless.
    steps.stopDataManager();
    steps.stopErrorHandler();
    steps.unregisterVertexTypes();
}

}  // namespace
