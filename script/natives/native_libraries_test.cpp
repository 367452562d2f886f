// Registration of the native classes: bound once, done only when every class is found and the
// classes whose member words natives write have those members.
#include "script/natives/native_libraries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "script/vm/gs_game_object.h"
#include "script/vm/gs_library.h"
#include "script/vm/gs_machine.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_thread.h"
#include "script/vm/testing/script_runner.h"
#include "script/vm/vm_test_support.h"

namespace ScriptNatives {
namespace {

namespace fs = std::filesystem;
using GSRuntime::GSMachine;
using GSRuntime::GSNativeRegistry;

// A folder of its own under the system's temporary folder, removed at the end.
struct TempFolder {
    TempFolder() {
        path = fs::temp_directory_path() /
               ("natlib_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() { fs::remove_all(path); }
    fs::path path;
};

// Compiles `text` as "gs.gs" into `folder`.
void WriteGs(const fs::path& folder, const std::string& text) {
    std::string messages;
    const std::vector<uint8_t> image =
        GSRuntime::testing::ScriptRunner::CompileImage({{"gs.gs", text}}, "gs.gs", &messages);
    ASSERT_FALSE(image.empty()) << messages;
    ASSERT_TRUE(GSRuntime::testing::WriteFile(folder / "gs.gsl", image));
}

// Registration fills process-wide slots with classes of the test's own machine: empty them
// before that machine goes.
struct SlotsCleared {
    ~SlotsCleared() {
        for (int s = 0; s < kClassSlotCount; ++s)
            SetClassSlot(static_cast<ClassSlot>(s), nullptr);
        GSRuntime::SetGameObjectClass(nullptr);
        GSRuntime::SetMessageClass(nullptr);
    }
};

bool Logged(const GSRuntime::testing::LogCapture& log, const std::string& prefix) {
    for (const std::string& l : log.lines())
        if (l.rfind(prefix, 0) == 0) return true;
    return false;
}

// A call that fails (no libraries) binds every native; a second failing call binds none again
// and is still not taken for done. The stand-ins stand under their classes and signatures.
TEST(NativeLibraries, NativesAreBoundOnceAndAFailedCallIsNotDone) {
    TempFolder empty;
    GSMachine machine;
    EXPECT_FALSE(RegisterNativeLibraries(machine, empty.path.string()));
    const size_t bound = GSNativeRegistry::Get().Count();
    EXPECT_FALSE(RegisterNativeLibraries(machine, empty.path.string()));
    EXPECT_EQ(GSNativeRegistry::Get().Count(), bound);
    EXPECT_EQ(GetClassSlot(kGameObject), nullptr);

    const GSNativeRegistry& r = GSNativeRegistry::Get();
    for (const auto& [cls, signature] : std::vector<std::pair<const char*, const char*>>{
             {"Asset", "$bool@Asset::IsOnTheVendrix()"},
             {"HalvexGameObject", "$bool@HalvexGameObject::Validate(SecurityToken,KUID,string)"},
             {"OnlineAccess", "$bool@OnlineAccess::CanAccessMultiplayer()"},
             {"OnlineGroup", "$int@OnlineGroup::GetUserModeFlags(string)"},
             {"Library", "$void@Library::HideSystemMenuIconMenu()"},
             {"Image", "$void@Image::DrawText(int,int,string)"},
             {"Image", "$void@Image::ImportImage(Soup)"},
             {"HalvexScriptBase", "$KUID@HalvexScriptBase::CloneKUID(KUID)"},
             {"SecurityToken", "$bool@SecurityToken::IsOwnerLocallyModified()"}})
        EXPECT_NE(r.Find(Kiv::PString(cls), Kiv::PString(signature)), nullptr) << signature;
}

// A Message whose words 2 to 6 are not major, minor, source, destination and data (in those
// kinds) fails registration with a line naming the class.
TEST(NativeLibraries, AMessageWithoutTheWordsTheMachineWritesFailsRegistration) {
    const char* const kGameObject =
        "class GSObject { };\ngame class GameObject isclass GSObject { };\n";
    struct Case {
        const char* what;
        const char* message;
        unsigned word;
    };
    const Case kCases[] = {
        {"an int major",
         "class Message { public int major; public string minor; public GameObject "
         "src; public GameObject dst; public object paramSoup; };",
         2},
        {"a string source",
         "class Message { public string major; public string minor; public "
         "string src; public GameObject dst; public object paramSoup; };",
         4},
        {"no data word",
         "class Message { public string major; public string minor; public "
         "GameObject src; public GameObject dst; };",
         6},
        {"a base moves the members",
         "class Message isclass GSObject { public string major; public "
         "string minor; public GameObject src; public GameObject dst; "
         "public object paramSoup; };",
         2},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        WriteGs(folder.path, std::string(kGameObject) + c.message);
        GSMachine machine;
        SlotsCleared cleared;
        GSRuntime::testing::LogCapture log;
        EXPECT_FALSE(RegisterNativeLibraries(machine, folder.path.string()));
        EXPECT_TRUE(log.Contains("RegisterNativeLibraries> class Message lacks member word " +
                                 std::to_string(c.word) + " of the kind its natives use"))
            << ::testing::PrintToString(log.lines());
    }
}

// The staged gs.gsl passes the check and fills the GameObject slot; registration then stops at
// the next library that is missing.
TEST(NativeLibraries, TheShippedMessageHasTheWordsTheMachineWrites) {
    TempFolder folder;
    fs::copy_file(fs::path(HALVEX_LIBRARIES_DIR) / "gs.gsl", folder.path / "gs.gsl");
    GSMachine machine;
    SlotsCleared cleared;
    GSRuntime::testing::LogCapture log;
    EXPECT_FALSE(RegisterNativeLibraries(machine, folder.path.string()));
    EXPECT_NE(GetClassSlot(kGameObject), nullptr);
    EXPECT_EQ(GetClassSlot(kWorldCoordinate), nullptr);
    EXPECT_FALSE(Logged(log, "RegisterNativeLibraries>"));
    EXPECT_FALSE(Logged(log, "Could not resolve native link"));
}

// LinkedData's words 2 to 4 are read as its text, its int and its object.
TEST(NativeLibraries, LinkedDataMembersAreCheckedByWordAndKind) {
    const MemberWord kWords[] = {
        {2, MemberKind::kString}, {3, MemberKind::kInt}, {4, MemberKind::kObject}};
    struct Case {
        const char* source;
        bool ok;
    };
    const Case kCases[] = {
        {"class LinkedData { public string text; public int value; public object data; };", true},
        {"class LinkedData { public string text; public int value; public LinkedData data; "
         "public float more; };",
         true},
        {"class LinkedData { public string text; public float value; public object data; };",
         false},
        {"class LinkedData { public int value; public string text; public object data; };", false},
        {"class LinkedData { public string text; public int value; };", false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.source);
        GSRuntime::testing::ScriptRunner runner;
        ASSERT_TRUE(runner.Load(c.source)) << runner.messages;
        const GSRuntime::GSClass* cls = runner.library->FindClass(Kiv::PString("LinkedData"));
        ASSERT_NE(cls, nullptr);
        GSRuntime::testing::LogCapture log;
        EXPECT_EQ(CheckMemberWords(cls, "LinkedData", kWords, 3), c.ok);
        EXPECT_EQ(Logged(log, "RegisterNativeLibraries> class LinkedData lacks member word"),
                  !c.ok);
    }
}

// Every shipped source, for a test script that includes them.
std::map<std::string, std::string> ShippedSources() {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(GSRuntime::testing::LibrarySourceFolder())) {
        if (e.path().extension() != ".gs") continue;
        std::ifstream in(e.path());
        out[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return out;
}

// Last in this file: once it has succeeded, registration is done for the process.
//
// On the staged tree every slot is filled, every shipped library loads with every native
// resolved, and a later call returns at once, binding nothing. Scripts then reach the natives:
// an image goes to a Soup and back, and a stand-in ends its run with its text.
TEST(NativeLibraries, TheStagedTreeFillsEverySlotAndResolvesEveryNative) {
    GSRuntime::testing::ScriptRunner runner;
    SlotsCleared cleared;
    {
        GSRuntime::testing::LogCapture log;
        ASSERT_TRUE(RegisterNativeLibraries(runner.machine, HALVEX_LIBRARIES_DIR))
            << ::testing::PrintToString(log.lines());
        for (int s = 0; s < kClassSlotCount; ++s)
            EXPECT_NE(GetClassSlot(static_cast<ClassSlot>(s)), nullptr) << s;
        for (const auto& e : fs::directory_iterator(HALVEX_LIBRARIES_DIR))
            EXPECT_NE(runner.machine.GetLibraryByName(e.path().filename().string()), nullptr)
                << e.path();
        EXPECT_FALSE(Logged(log, "Could not resolve native link"))
            << ::testing::PrintToString(log.lines());
    }
    const size_t bound = GSNativeRegistry::Get().Count();
    EXPECT_TRUE(RegisterNativeLibraries(runner.machine, "no such folder"));
    EXPECT_EQ(GSNativeRegistry::Get().Count(), bound);

    std::map<std::string, std::string> sources = ShippedSources();
    sources["t.gs"] = R"(include "Constructors.gs"
include "HalvexScriptBase.gs"
class T {
  public int RoundTrip() {
    Image a = ConstructorsBase.NewImage();
    a.Clear(3, 2);
    Soup s = a.ExportImage();
    Image b = ConstructorsBase.NewImage();
    b.ImportImage(s);
    return b.GetWidth() * 10 + b.GetHeight();
  }
  public float Seconds() { return HalvexScriptBase.GetSeconds(); }
};
)";
    ASSERT_TRUE(runner.Load(sources, "t.gs")) << runner.messages;
    GSRuntime::testing::ScriptRun run = runner.Run("T", "$int@T::RoundTrip()");
    ASSERT_EQ(run.result, GSRuntime::ER_Done) << ::testing::PrintToString(run.log);
    EXPECT_EQ(run.AsInt(), 32);
    run = runner.Run("T", "$float@T::Seconds()");
    EXPECT_EQ(run.result, GSRuntime::ER_Exception);
    bool said = false;
    for (const std::string& l : run.log)
        said = said || l.find("HalvexScriptBase.GetSeconds> not available in this build") !=
                           std::string::npos;
    EXPECT_TRUE(said) << ::testing::PrintToString(run.log);
}

}  // namespace
}  // namespace ScriptNatives
