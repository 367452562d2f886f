// Conversion jobs run side by side on the conversion queue's workers, each with its own
// compressor, resource and alias, sharing the results log and the resource database.
#include <gtest/gtest.h>

#include <filesystem>

#include "assetdb/resource_db_registry.h"
#include "materials/texture_conversion.h"
#include "materials/texture_test_support.h"
#include "platform/kiv/res/texture_file.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace {

TEST(TextureConversionConcurrency, ManyJobsConvertSideBySide) {
    testsupport::TempDir dir;
    Kiv::ResourceDatabase* database =
        AcquireResourceDatabase(Kiv::PString("concurrent-conversion"), dir.path());
    dir.Write("p.tga", texture_test::GradientTga(64, 64));
    constexpr int kJobs = 12;
    for (int i = 0; i < kJobs; ++i) {
        // Every third one fails, so that failures report into the shared log meanwhile.
        dir.Write("t" + std::to_string(i) + ".texture.txt",
                  i % 3 == 2 ? "Primary=missing.tga\n" : "Primary=p.tga\nCompression=dxt5\n");
    }
    for (int round = 0; round < 2; ++round) {
        ResultsLog log;
        EXPECT_FALSE(CompressTexturesInFolder(dir.path(), log));
        EXPECT_EQ(log.GetErrorCount(), 2u * (kJobs / 3));
        for (int i = 0; i < kJobs; ++i) {
            const std::string out = dir / ("t" + std::to_string(i) + ".texture");
            EXPECT_EQ(std::filesystem::exists(out), i % 3 != 2) << i;
        }
    }
    ReleaseResourceDatabase(database);
    PurgeResourceDatabases();
}

}  // namespace
