#include "cli/validation_startup.h"

#include <gtest/gtest.h>

#include "cli/engine_objects.h"
#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "tests/support/temp_dir.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"

namespace {

TEST(ValidationStartup, TheStepsStartAndStopTheRealSingletonsOnAnyFolder) {
    testsupport::TempDir dir;
    const ValidationStartup steps = DefaultValidationStartup();
    steps.startErrorHandler();
    EXPECT_NE(DUVLib::ErrorHandler::Instance(), nullptr);
    // A folder that is not there still starts the manager: validations then find no kinds.
    ASSERT_TRUE(steps.startDataManager(dir / "missing/"));
    EXPECT_EQ(GetValidationDataFolder(), dir / "missing/");
    ASSERT_NE(DUVLib::DataManager::Peek(), nullptr);
    steps.giveEngineRecord(EngineRecord{});
    steps.registerVertexTypes();
    steps.unregisterVertexTypes();
    steps.stopDataManager();
    EXPECT_EQ(DUVLib::DataManager::Peek(), nullptr);
    EXPECT_EQ(GetValidationDataFolder(), "");
    steps.stopErrorHandler();
    EXPECT_EQ(DUVLib::ErrorHandler::Instance(), nullptr);
    // Stopping what never started is harmless.
    steps.stopDataManager();
    steps.stopErrorHandler();
    steps.unregisterVertexTypes();
}

TEST(ValidationStartup, PersonalDetailsAreReadAtStartAndWrittenBackAtStop) {
    testsupport::TempDir dir;
    dir.Write("DUVData/personalDetails.txt", "author \"x\"\n");
    const ValidationStartup steps = DefaultValidationStartup();
    steps.startErrorHandler();
    steps.startDataManager(dir / "DUVData/");
    steps.giveEngineRecord(EngineRecord{});
    EXPECT_EQ(DUVLib::DataManager::Instance().GetPersonalDetails().author, "x");
    EXPECT_FALSE(DUVLib::DataManager::Instance().GetPersonalDetails().inputBoxOn);
    steps.stopDataManager();
    steps.stopErrorHandler();

    TDBTagRef tree;
    ASSERT_TRUE(ReadConfigFile("", dir / "DUVData/personalDetails.txt", tree));
    EXPECT_EQ(TDBContainerTag::GetString(tree, Kiv::PString("author")).str(), "x");
    EXPECT_EQ(TDBContainerTag::GetInt(tree, Kiv::PString("isinputboxon"), -1), 0);
}

}  // namespace
