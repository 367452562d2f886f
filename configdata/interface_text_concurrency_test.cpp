#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "configdata/interface_text.h"
#include "foundation/data_root.h"
#include "tests/support/temp_dir.h"

namespace {

// Worker threads look texts up while the table is reloaded under them: every answer is the
// text, never a half-loaded table's miss.
TEST(InterfaceTextConcurrency, LookUpsWhileTheTableReloads) {
    // An install of its own: the thread-sanitiser build stages no data.
    testsupport::TempDir install;
    std::filesystem::create_directory(install / "Data");
    std::ofstream(install / "Data/InterfaceText.txt") << "$cm_general_untitled \"Untitled\"\n"
                                                      << "orvel_map_text\n{\n}\n";
    const Kiv::File::Path savedInstall = GetInstallRoot(), savedData = GetDataRoot();
    SetFolderRoots(Kiv::File::Path(install.path()), Kiv::File::Path(install / "UserData"));
    InterfaceTextDB::MarkUnloaded();
    ASSERT_EQ(GetInterfaceString("$cm_general_untitled").str(), "Untitled");

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back([&] {
            while (!stop.load()) {
                if (GetInterfaceString("$cm_general_untitled").str() != "Untitled") ++wrong;
                if (InterfaceTextDB::Instance().GetMapText().Get() == nullptr) ++wrong;
            }
        });
    for (int i = 0; i < 20; ++i) {
        InterfaceTextDB::MarkUnloaded();
        InterfaceTextDB::Instance();
    }
    stop.store(true);
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(wrong.load(), 0);

    SetFolderRoots(savedInstall, savedData);
    InterfaceTextDB::MarkUnloaded();
}

}  // namespace
