// Test support for the validator: a fixture DUVData in a temporary folder, the real singletons
// started on it for one test and stopped after, the shipped interface texts, and a check driver
// that runs a configuration text through CheckAsset and reads the findings back as rows.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "configdata/config_file.h"
#include "configdata/interface_text.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/data_root.h"
#include "tests/support/temp_dir.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/tag.h"

namespace duvtest {

// One finding as a row: "E|W|M  owner  text", the owner being "-" (none),
// "container:<name>" or "tag:<name>@<container name>".
inline std::string Row(const DUVLib::ErrorRecord& r) {
    std::string s = r.severity == DUVLib::kSeverityError     ? "E "
                    : r.severity == DUVLib::kSeverityWarning ? "W "
                                                             : "M ";
    if (r.container != nullptr) {
        s += "container:" + r.container->GetName().str();
    } else if (r.tag != nullptr) {
        s += "tag:" + r.tag->name.str() + "@" +
             (r.tag->container != nullptr ? r.tag->container->GetName().str() : "");
    } else {
        s += "-";
    }
    return s + " " + r.key.str();
}

inline std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (const DUVLib::ErrorRecord& r : DUVLib::ErrorHandler::Instance()->GetRecords())
        rows.push_back(Row(r));
    return rows;
}

// The singletons on a DUVData folder of the test's own, with the shipped English texts.
class Validator : public testing::Test {
protected:
    void SetUp() override {
        savedInstall_ = GetInstallRoot();
        savedData_ = GetDataRoot();
        SetFolderRoots(Kiv::File::Path(HALVEX_STAGE_DIR), Kiv::File::Path(dir / "UserData"));
        InterfaceTextDB::SetLanguage(nullptr);
        InterfaceTextDB::MarkUnloaded();
        DUVLib::ErrorHandler::Startup();
    }
    void TearDown() override {
        DUVLib::DataManager::Shutdown();
        DUVLib::ErrorHandler::Shutdown();
        SetFolderRoots(savedInstall_, savedData_);
        InterfaceTextDB::MarkUnloaded();
        EXPECT_EQ(DUVLib::Container::LiveCount(), 0);
        EXPECT_EQ(DUVLib::Tag::LiveCount(), 0);
    }
    // Writes the fixture files (paths inside DUVData/) and starts the data manager on them.
    void StartOn(const std::map<std::string, std::string>& files) {
        for (const auto& [path, body] : files)
            dir.Write("DUVData/" + path, body);
        DUVLib::DataManager::Startup(dir / "DUVData/");
    }
    DUVLib::DataManager& Manager() { return DUVLib::DataManager::Instance(); }

    struct Checked {
        bool result = false;
        std::string root;  // the definition the asset was checked against
        std::vector<std::string> rows;
    };
    // Runs a configuration text through a fresh root container; `inspect` sees the root
    // before it is destroyed.
    template <typename Inspect>
    Checked Check(const std::string& config, Inspect inspect) {
        DUVLib::ErrorHandler::Instance()->Clear();
        const std::string path = dir.Write("asset/config.txt", config);
        TDBTagRef soup;
        EXPECT_TRUE(ReadConfigFile("", path, soup)) << config;
        Checked out;
        {
            DUVLib::Container root;
            out.result = root.CheckAsset(soup);
            out.root = root.GetName().str();
            out.rows = Rows();
            inspect(root);
        }
        EXPECT_EQ(DUVLib::Container::LiveCount(), 0);
        EXPECT_EQ(DUVLib::Tag::LiveCount(), 0);
        return out;
    }
    Checked Check(const std::string& config) {
        return Check(config, [](DUVLib::Container&) {});
    }

    struct Exported {
        bool result = false;
        std::vector<std::string> rows;
        TDBTagRef soup;
    };
    // Checks the configuration of the asset folder dir/asset (the check's findings dropped),
    // then exports it; with rootRules the root's own container rules run after. The findings
    // are the export's.
    Exported CheckAndExport(const std::string& config, bool rootRules = false) {
        const std::string path = dir.Write("asset/config.txt", config);
        TDBTagRef soup;
        EXPECT_TRUE(ReadConfigFile("", path, soup));
        Manager().SetValidationAssetFolder(Kiv::PString(""), dir / "asset");
        DUVLib::Container root;
        root.CheckAsset(soup);
        DUVLib::ErrorHandler::Instance()->Clear();
        Exported out;
        out.soup = TDBTagRef::Adopt(new TDBContainerTag());
        out.result = root.Export(out.soup);
        if (rootRules) out.result = root.RunContainerRules() && out.result;
        out.rows = Rows();
        return out;
    }

    testsupport::TempDir dir;

private:
    Kiv::File::Path savedInstall_, savedData_;
};

// One case of a check-and-export table: the configuration, what the export answers, and its
// findings as rows.
struct ExportCase {
    const char* config;
    bool result;
    std::vector<std::string> rows;
};

// A validator started on a kind.txt of the test's own and a "words.txt" list, whose cases are
// checked and exported (with the root's container rules after when rootRules is set).
class ExportOn : public Validator {
protected:
    ExportOn(const char* kinds, const char* words, bool rootRules)
        : kinds_(kinds), words_(words), rootRules_(rootRules) {}
    void SetUp() override {
        Validator::SetUp();
        StartOn({{"kind.txt", kinds_}, {"lists/words.txt", words_}});
    }
    Exported Run(const std::string& config) { return CheckAndExport(config, rootRules_); }
    // Runs each case and compares its result and the rows `keep` keeps; `after` sees each case
    // once it ran.
    template <typename Cases>
    void ExpectCases(
        const Cases& cases,
        const std::function<bool(const std::string&)>& keep =
            [](const std::string&) { return true; },
        const std::function<void(const ExportCase&)>& after = [](const ExportCase&) {}) {
        for (const ExportCase& c : cases) {
            const Exported out = Run(c.config);
            EXPECT_EQ(out.result, c.result) << c.config;
            std::vector<std::string> rows;
            for (const std::string& r : out.rows)
                if (keep(r)) rows.push_back(r);
            EXPECT_EQ(rows, c.rows) << c.config;
            after(c);
        }
    }

private:
    const char* kinds_;
    const char* words_;
    bool rootRules_;
};

}  // namespace duvtest
