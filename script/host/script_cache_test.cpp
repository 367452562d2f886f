// The script cache of asset specs: cached files named by their CRCs and reused, rebuilt once when
// edited, cut short or unloadable, the compiler's messages after the syntax-error line, the
// ".gs"/".gse" pair, the missing primary, a disk that fills up under the compile, and the kind
// test in both directions.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "configdata/config_file.h"
#include "foundation/crc32.h"
#include "script/compiler/compiler_driver.h"
#include "script/compiler/gs_source_file.h"
#include "script/host/asset_spec.h"
#include "script/host/compile_asset.h"
#include "script/host/script_host_test_support.h"
#include "script/host/script_names.h"
#include "script/vm/gs_class.h"
#include "tests/support/file_stamp.h"
#include "tests/support/log_lines.h"

namespace {

using hosttest::Lines;

std::string Hex(uint32_t text, const char* name) {
    char out[32];
    std::snprintf(out, sizeof out, "%08x%08x.gsl", text, Crc32NoCase(name));
    return out;
}

uint32_t TextCrc(const std::string& text) {
    return Crc32(text.data(), text.size());
}

using testsupport::StampOf;
using Stamp = testsupport::FileStamp;

class ScriptCache : public hosttest::ScriptHost {
protected:
    void SetUp() override {
        hosttest::ScriptHost::SetUp();
        factory_ = std::make_unique<WEXScript_HalvexBaseSpecFactory>();
    }
    void TearDown() override {
        // The cache files made here are seeds of the library-load fuzzer (fuzz/corpus/gsl_load):
        // HALVEX_GSL_SEEDS names a folder to copy them into.
        if (const char* seeds = std::getenv("HALVEX_GSL_SEEDS")) {
            std::error_code ec;
            for (const auto& e : std::filesystem::recursive_directory_iterator(
                     dir / "UserData/cache/libraries", ec))
                if (e.path().extension() == ".gsl")
                    std::filesystem::copy_file(
                        e.path(),
                        std::filesystem::path(seeds) / ("cache_" + e.path().filename().string()),
                        std::filesystem::copy_options::overwrite_existing, ec);
        }
        factory_.reset();
        hosttest::ScriptHost::TearDown();
    }

    // An asset folder with its config text (a "kuid" line first) and its sources.
    std::string Asset(const std::string& name, const std::string& config,
                      const std::vector<std::pair<std::string, std::string>>& sources) {
        const std::string folder = "assets/" + name;
        dir.Write(folder + "/config.txt", config);
        for (const auto& [file, text] : sources)
            dir.Write(folder + "/" + file, text);
        return dir / folder;
    }
    HalvexBaseSpec* Load(const std::string& folder) {
        Registry().SetCurrentFactory(factory_.get());
        auto* spec = dynamic_cast<HalvexBaseSpec*>(Registry().LoadSpecFromFolder(folder));
        Registry().SetCurrentFactory(nullptr);
        return spec;
    }
    // CacheScripts on a fresh asset spec of the folder; the log's lines.
    std::vector<std::string> Cache(const std::string& folder, const std::string& primary,
                                   bool* result = nullptr) {
        HalvexBaseSpec* spec = Load(folder);
        EXPECT_NE(spec, nullptr);
        if (spec == nullptr) return {"no spec"};
        ResultsLog log;
        bool ok = spec->CacheScripts(folder, primary, log);
        if (result != nullptr) *result = ok;
        Registry().Release(spec);
        Registry().ReportLeaks();
        return Lines(log);
    }
    std::vector<std::string> Compile(const std::string& folder, bool* result = nullptr) {
        ResultsLog log;
        bool ok = WEXCompileAsset(folder, log);
        if (result != nullptr) *result = ok;
        Registry().ReportLeaks();
        return Lines(log);
    }

private:
    std::unique_ptr<WEXScript_HalvexBaseSpecFactory> factory_;
};

constexpr const char* kCar = "include \"Vehicle.gs\"\n\nclass Car isclass Vehicle\n{\n};\n";
constexpr const char* kHelper = "class Helper\n{\n  public int n;\n};\n";

TEST_F(ScriptCache, NamesEachCachedLibraryByItsCrcsAndReusesItUntouched) {
    const std::string folder =
        Asset("car", "kuid <kuid:424242:1>\n",
              {{"Car.gs", kCar}, {"helper.gs", kHelper}, {"notes.txt", "x"}});
    bool ok = false;
    EXPECT_EQ(Cache(folder, "car.gs", &ok), std::vector<std::string>{});
    EXPECT_TRUE(ok);
    const std::vector<std::string> files{Hex(TextCrc(kCar), "car.gs"),
                                         Hex(TextCrc(kHelper), "helper.gs")};
    std::vector<std::string> sorted = files;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(CacheFiles("kuid 424242 1"), sorted);

    std::vector<Stamp> before;
    for (const std::string& f : files)
        before.push_back(StampOf(CacheFolder("kuid 424242 1") + "/" + f));
    EXPECT_EQ(Cache(folder, "car.gs", &ok), std::vector<std::string>{});
    EXPECT_TRUE(ok);
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(StampOf(CacheFolder("kuid 424242 1") + "/" + files[i]), before[i]) << files[i];
    EXPECT_EQ(CacheFiles("kuid 424242 1"), sorted);
}

TEST_F(ScriptCache, RunsOncePerSpecEvenWhenTheFirstRunFailed) {
    const std::string folder = Asset("once", "kuid <kuid:424242:2>\n", {{"bad.gs", "class {"}});
    HalvexBaseSpec* spec = Load(folder);
    ASSERT_NE(spec, nullptr);
    ResultsLog first;
    EXPECT_FALSE(spec->CacheScripts(folder, "bad.gs", first));
    EXPECT_EQ(first.GetErrorCount(), 1u);
    std::filesystem::remove_all(CacheFolder("kuid 424242 2"));
    ResultsLog second;
    EXPECT_TRUE(spec->CacheScripts(folder, "bad.gs", second));
    EXPECT_EQ(second.GetCount(), 0u);
    EXPECT_FALSE(std::filesystem::exists(CacheFolder("kuid 424242 2")));  // the disk untouched
    Registry().Release(spec);
}

TEST_F(ScriptCache, ASyntaxErrorIsOneErrorWithTheCompilersMessagesAfterIt) {
    const std::string folder = Asset("syntax", "kuid <kuid:424242:3>\n",
                                     {{"broken.gs", "class Broken\n{\n  public int ;\n};\n"}});
    bool ok = true;
    std::vector<std::string> lines = Cache(folder, "broken.gs", &ok);
    EXPECT_FALSE(ok);
    ASSERT_EQ(lines.size(), 1u);
    const std::string head =
        "3 HalvexBaseSpec::CacheScripts> Syntax error in script of asset 'kuid 424242 3 "
        "\"syntax\"'\n\n";
    EXPECT_EQ(lines[0].substr(0, head.size()), head);
    EXPECT_GT(lines[0].size(), head.size());  // the compiler's own words follow
    EXPECT_EQ(CacheFiles("kuid 424242 3"), std::vector<std::string>{});
}

TEST_F(ScriptCache, AnEditedHeaderIsRebuiltOnceAndACutShortFileToo) {
    const std::string folder = Asset("heal", "kuid <kuid:424242:4>\n", {{"helper.gs", kHelper}});
    ASSERT_EQ(Cache(folder, "helper.gs"), std::vector<std::string>{});
    const std::string path =
        CacheFolder("kuid 424242 4") + "/" + Hex(TextCrc(kHelper), "helper.gs");
    std::string good;
    {
        std::ifstream in(path, std::ios::binary);
        good.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(good.size(), 40u);

    // The header's id edited: the file no longer matches its name.
    std::string edited = good;
    edited[12] ^= 0x5A;
    std::ofstream(path, std::ios::binary) << edited;
    EXPECT_EQ(Cache(folder, "helper.gs"), std::vector<std::string>{});
    std::ifstream again(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), std::istreambuf_iterator<char>()),
              good);

    // Cut short after its header, as a crash while writing would leave it, in a process that
    // has not loaded it yet.
    for (size_t keep : {size_t{24}, size_t{8}}) {
        const std::string text = std::string(kHelper) + "// " + std::to_string(keep) + "\n";
        const std::string name = "cut" + std::to_string(keep);
        const std::string cut = Asset(
            name, "kuid <kuid:424242:" + std::to_string(40 + keep) + ">\n", {{"helper.gs", text}});
        const std::string cached = CacheFolder("kuid 424242 " + std::to_string(40 + keep)) + "/" +
                                   Hex(TextCrc(text), "helper.gs");
        std::filesystem::create_directories(std::filesystem::path(cached).parent_path());
        {
            GSCompiler::IncludeFolderScope scope({cut});
            ASSERT_EQ(GSCompiler::CompileForCache("helper.gs", cached.c_str(), nullptr), 0);
        }
        const uintmax_t whole = std::filesystem::file_size(cached);
        std::filesystem::resize_file(cached, keep);
        EXPECT_EQ(Cache(cut, "helper.gs"), std::vector<std::string>{}) << keep;
        EXPECT_EQ(std::filesystem::file_size(cached), whole) << keep;
    }
}

TEST_F(ScriptCache, AGsAndGseOfOneNameWithDifferentTextsAreReported) {
    const std::string folder = Asset("pair", "kuid <kuid:424242:5>\n", {{"twin.gs", kHelper}});
    GSCompiler::GSSourceFile scrambled;
    const std::string other = "class Other\n{\n};\n";
    dir.Write("other/twin.gs", other);
    ASSERT_TRUE(scrambled.Load("", dir / "other/twin.gs"));
    ASSERT_TRUE(scrambled.Save("", folder + "/twin.gse"));
    bool ok = true;
    EXPECT_EQ(Cache(folder, "twin.gs", &ok),
              std::vector<std::string>{"3 CRC Mismatch on '" + Hex(TextCrc(other), "twin.gs") +
                                       "' after recompile. Do you have both .gs and .gse "
                                       "present?"});
    EXPECT_FALSE(ok);

    // A ".gse" alone counts as the ".gs" of its name.
    const std::string lone = Asset("lone", "kuid <kuid:424242:6>\n", {});
    ASSERT_TRUE(scrambled.Save("", lone + "/Lone.gse"));
    EXPECT_EQ(Cache(lone, "lone.gs", &ok), std::vector<std::string>{});
    EXPECT_TRUE(ok);
    EXPECT_EQ(CacheFiles("kuid 424242 6"),
              std::vector<std::string>{Hex(TextCrc(other), "lone.gs")});
}

TEST_F(ScriptCache, ACrLfSourceIsNamedByTheIdTheCompilerWrites) {
    const std::string crlf = "class Crlf\r\n{\r\n  public int n;\r\n};\r\n";
    const std::string folder = Asset("crlf", "kuid <kuid:424242:7>\n", {{"crlf.gs", crlf}});
    bool ok = false;
    EXPECT_EQ(Cache(folder, "crlf.gs", &ok), std::vector<std::string>{});
    EXPECT_TRUE(ok);
    EXPECT_EQ(
        CacheFiles("kuid 424242 7"),
        std::vector<std::string>{Hex(TextCrc("class Crlf\n{\n  public int n;\n};\n"), "crlf.gs")});
}

TEST_F(ScriptCache, UnreadableSourcesMissingPrimaryAndAnUnwritableCache) {
    const std::string folder =
        Asset("misc", "kuid <kuid:424242:8>\n",
              {{"junk.gse", "not a scrambled file"}, {"helper.gs", kHelper}});
    bool ok = true;
    EXPECT_EQ(
        Cache(folder, "helper.gs", &ok),
        std::vector<std::string>{"3 Unable to read script source file '" + folder + "/junk.gse'"});
    EXPECT_FALSE(ok);

    const std::string nomain = Asset("nomain", "kuid <kuid:424242:9>\n", {{"helper.gs", kHelper}});
    EXPECT_EQ(Cache(nomain, "main.gs", &ok),
              std::vector<std::string>{"3 Unable to locate primary script source file 'main.gs'"});
    EXPECT_FALSE(ok);

    // A cache folder that cannot be made (a file stands in its place): the compile's own
    // error, and nothing written.
    const std::string locked = Asset("locked", "kuid <kuid:424242:10>\n", {{"helper.gs", kHelper}});
    dir.Write("UserData/cache/libraries/kuid 424242 10", "in the way");
    std::vector<std::string> lines = Cache(locked, "helper.gs", &ok);
    EXPECT_FALSE(ok);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Unable to open output file"), std::string::npos) << lines[0];
    EXPECT_EQ(dir.Read("UserData/cache/libraries/kuid 424242 10"), "in the way");
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir / "UserData/cache/libraries"))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(std::count_if(left.begin(), left.end(),
                            [](const std::string& n) { return n.find("temp-") == 0; }),
              0);
}

// The class look-up, once per asset spec, says in the process log what it could not find: the class
// in the asset's library, or a library at all.
TEST_F(ScriptCache, TheClassLookUpLogsWhatItCouldNotFindOnce) {
    const std::string noclass = Asset(
        "noclass", "kuid <kuid:424242:12>\nscript main\nclass Missing\n", {{"main.gs", kHelper}});
    const std::string nolib = Asset("nolib", "kuid <kuid:424242:13>\nscript main\nclass Main\n",
                                    {{"main.gs", "class {"}});
    for (const auto& [folder, line] :
         {std::pair{noclass,
                    std::string("HalvexBaseSpec::GetGSClass> Could not load Halvex class Missing "
                                "from library main for kuid 424242 12 \"noclass\"")},
          std::pair{nolib, std::string("HalvexBaseSpec::GetGSClass> Could not load Halvex library "
                                       "main for 'kuid 424242 13 \"nolib\"'")}}) {
        HalvexBaseSpec* spec = Load(folder);
        ASSERT_NE(spec, nullptr);
        testsupport::LogLines log;
        EXPECT_EQ(spec->GetGSClass(), nullptr);
        EXPECT_EQ(spec->GetGSClass(), nullptr);
        EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), line), 1)
            << testing::PrintToString(log.lines);
        Registry().Release(spec);
    }
    Registry().ReportLeaks();
}

// A disk that fills up while a library is written (the process's file size limit stands in for
// it): the compile says so and leaves no file cut short, neither under the library's name nor
// as a temporary twin; once there is room the same source compiles.
TEST_F(ScriptCache, ADiskThatFillsUpLeavesNoHalfWrittenLibrary) {
    const std::string folder = Asset("full", "kuid <kuid:424242:11>\n", {{"helper.gs", kHelper}});
    std::filesystem::create_directories(CacheFolder("kuid 424242 11"));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*savedSignal)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;  // well under the library's size
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool ok = true;
    std::vector<std::string> lines = Cache(folder, "helper.gs", &ok);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);
    EXPECT_FALSE(ok);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Unable to open output file"), std::string::npos) << lines[0];
    EXPECT_EQ(CacheFiles("kuid 424242 11"), std::vector<std::string>{});

    EXPECT_EQ(Cache(folder, "helper.gs", &ok), std::vector<std::string>{});
    EXPECT_TRUE(ok);
    EXPECT_EQ(CacheFiles("kuid 424242 11"),
              std::vector<std::string>{Hex(TextCrc(kHelper), "helper.gs")});
}

struct KindCase {
    const char* config;   // after the kuid line
    const char* script;   // the asset's class source
    const char* message;  // null: passes
};

class KindTest : public ScriptCache, public testing::WithParamInterface<KindCase> {};

TEST_P(KindTest, MatchesTheClassAgainstTheAssetsKindBothWays) {
    static int serial = 100;
    const KindCase& c = GetParam();
    const int id = ++serial;
    const std::string folder = Asset("kind" + std::to_string(id),
                                     "kuid <kuid:424242:" + std::to_string(id) + ">\n" + c.config,
                                     {{"main.gs", c.script}});
    bool ok = false;
    std::vector<std::string> lines = Compile(folder, &ok);
    if (c.message == nullptr) {
        EXPECT_EQ(lines, std::vector<std::string>{});
        EXPECT_TRUE(ok);
    } else {
        EXPECT_EQ(lines, std::vector<std::string>{std::string("3 ") + c.message});
        EXPECT_FALSE(ok);
    }
}

constexpr const char* kVehicleClass = "include \"Vehicle.gs\"\nclass Main isclass Vehicle\n{\n};\n";
constexpr const char* kSignalClass = "include \"Signal.gs\"\nclass Main isclass Signal\n{\n};\n";
constexpr const char* kTracksideClass =
    "include \"Trackside.gs\"\nclass Main isclass Trackside\n{\n};\n";
constexpr const char* kPlainClass = "class Main\n{\n};\n";

INSTANTIATE_TEST_SUITE_P(
    Kinds, KindTest,
    testing::Values(
        KindCase{"kind traincar\nscript main\nclass Main\n", kVehicleClass, nullptr},
        KindCase{"kind traincar\nscript main\nclass Main\n", kTracksideClass,
                 "Script class does not match asset kind (vehicle)."},
        KindCase{"kind scenery\nscript main\nclass Main\n", kVehicleClass,
                 "Script class does not match asset kind (vehicle)."},
        KindCase{"kind mosignal\nscript main.gs\nclass Main\n", kSignalClass, nullptr},
        KindCase{"kind mosignal\nscript main\nclass Main\n", kTracksideClass,
                 "Script class does not match asset kind (signal)."},
        KindCase{"kind scenery\nscript main\nclass Main\n", kSignalClass,
                 "Script class does not match asset kind (trackside)."},
        KindCase{"kind scenery\ncategory-class \"TO\"\nscript main\nclass Main\n", kTracksideClass,
                 nullptr},
        KindCase{"kind scenery\ncategory-class \"TO\"\nscript main\nclass Main\n", kPlainClass,
                 "Script class does not match asset kind (trackside)."},
        KindCase{"kind scenery\ncategory-class \"TO\"\nscript main\nclass Main\n", kSignalClass,
                 "Script class does not match asset kind (signal)."},
        KindCase{"kind scenery\nscript main\nclass Main\n", kTracksideClass,
                 "Script class does not match asset kind (trackside)."},
        KindCase{"kind scenery\nscript main\nclass Main\n", kPlainClass, nullptr},
        KindCase{"kind scenery\nscript main\nclass Missing\n", kPlainClass,
                 "Unable to link compiled script class."},
        KindCase{"kind scenery\nscript \"sub/main\"\nclass Main\n", kPlainClass, kUnsafeScriptName},
        KindCase{"kind scenery\nscript main\nclass \"Ma\\\"in\"\n", kPlainClass, kUnsafeScriptName},
        KindCase{"kind scenery\nscript main.gse\nclass \"Main\"\n", kPlainClass, nullptr}));

TEST(ScriptNames, RefusesQuotesLineEndsAndSeparators) {
    for (const char* bad : {"a\"b", "a'b", "a\nb", "a\rb", "a/b", "a\\b"})
        EXPECT_FALSE(IsSafeScriptName(bad)) << bad;
    EXPECT_FALSE(IsSafeScriptName(std::string_view("a\0b", 3)));
    EXPECT_TRUE(IsSafeScriptName("My Script.gs"));
    EXPECT_EQ(PrimaryScriptFile("main"), "main.gs");
    EXPECT_EQ(PrimaryScriptFile("Main.GSE"), "Main.gs");
}

}  // namespace
