// Test support for the script host: an install tree whose "scripts" folder holds small base
// classes (Trackside, Vehicle from Trackside, Signal from Trackside) compiled once per process
// into a library folder of the machine, a fresh user-data root and spec registry per test, and
// the results log read back as "severity text" lines.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "assetdb/spec_registry.h"
#include "foundation/data_root.h"
#include "script/compiler/compiler_driver.h"
#include "script/host/compile_asset.h"
#include "script/host/spec_registry_host.h"
#include "script/vm/gs_machine.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace hosttest {

using testsupport::TempDir;

inline constexpr const char* kTrackside = "class Trackside\n{\n  public int x;\n};\n";
inline constexpr const char* kVehicle =
    "include \"Trackside.gs\"\n\nclass Vehicle isclass Trackside\n{\n  public int y;\n};\n";
inline constexpr const char* kSignal =
    "include \"Trackside.gs\"\n\nclass Signal isclass Trackside\n{\n  public int z;\n};\n";

// The install tree of the whole test program: its scripts compiled into "libraries", which the
// machine knows from the first use on.
inline const TempDir& Install() {
    static TempDir* install = [] {
        auto* dir = new TempDir;
        dir->Write("scripts/Trackside.gs", kTrackside);
        dir->Write("scripts/Vehicle.gs", kVehicle);
        dir->Write("scripts/Signal.gs", kSignal);
        std::filesystem::create_directories(*dir / "libraries");
        const std::string out = *dir / "libraries/";
        for (const char* name : {"Trackside.gs", "Vehicle.gs", "Signal.gs"}) {
            GSCompiler::MessageLog log;
            EXPECT_EQ(
                GSCompiler::CompileFile(*dir / (std::string("scripts/") + name), &out, {}, log), 0);
        }
        GSRuntime::GSMachine::Instance().AddLibraryFolder(out, "install");
        return dir;
    }();
    return *install;
}

inline std::vector<std::string> Lines(ResultsLog& log) {
    std::vector<std::string> lines;
    log.ForEachEntry([&](const ResultsLogEntry& e) {
        lines.push_back(std::to_string(e.severity) + " " + std::string(e.text.view()));
    });
    return lines;
}

// The script host's registry made the link's for a scope, and the script system taken as
// registered: test installs ship only the small base classes, none of the native classes'
// libraries, so the natives' registration is the end-to-end tests' to prove.
class ScopedScriptHostRegistry {
public:
    ScopedScriptHostRegistry() {
        InstallScriptSpecRegistry();
        CreateSpecRegistry();
        SetScriptSystemRegistration([] { return true; });
    }
    ~ScopedScriptHostRegistry() {
        SetScriptSystemRegistration(nullptr);
        DestroySpecRegistry();
        SetSpecRegistryFactory(nullptr);
    }
    ScopedScriptHostRegistry(const ScopedScriptHostRegistry&) = delete;
    ScopedScriptHostRegistry& operator=(const ScopedScriptHostRegistry&) = delete;
};

// A user-data root of its own and the script host's registry as the link's.
class ScriptHost : public testing::Test {
protected:
    void SetUp() override {
        savedInstall_ = GetInstallRoot();
        savedData_ = GetDataRoot();
        SetFolderRoots(Kiv::File::Path(Install().path()), Kiv::File::Path(dir / "UserData"));
        std::filesystem::create_directories(dir / "UserData");
        registry_.emplace();
    }
    void TearDown() override {
        registry_.reset();
        SetFolderRoots(savedInstall_, savedData_);
    }
    ScriptSpecRegistry& Registry() { return *ScriptSpecRegistry::Get(); }
    std::string CacheFolder(const std::string& display) {
        return dir / ("UserData/cache/libraries/" + display);
    }
    std::vector<std::string> CacheFiles(const std::string& display) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(CacheFolder(display), ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;

private:
    std::optional<ScopedScriptHostRegistry> registry_;
    Kiv::File::Path savedInstall_;
    Kiv::File::Path savedData_;
};

}  // namespace hosttest
