// What the script world's tests stand on: the real wexdaemon in a temporary install tree (the
// client link open, the script host's asset spec registry installed), the script libraries compiled
// by our compiler from the shipped sources plus the world's classes, made known to the program's
// script machine from the tree's bin/libraries, the natives registered once and the class slots
// filled; then runs of a test script's methods in a HalvexScriptContext (or any other context),
// with the script log of the run.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "script/compiler/compile_state.h"
#include "script/compiler/compiler_driver.h"
#include "script/host/spec_registry_host.h"
#include "script/natives/class_natives.h"
#include "script/natives/gso_image.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_machine.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/gs_thread.h"
#include "script/vm/testing/script_runner.h"
#include "script/vm/vm_test_support.h"
#include "script/world/world_natives.h"
#include "services/wexdaemon/client_test_support.h"
#include "tests/support/log_lines.h"

namespace worldtest {

namespace fs = std::filesystem;

// The world's script classes as far as the tests need them, each native declared with its
// table's signature.
inline const std::map<std::string, std::string> kWorldStubs = {
    {"asset.gs", R"(include "gs.gs"
include "kuid.gs"
include "Soup.gs"
include "KUIDList.gs"
include "StringTable.gs"
include "Image.gs"
final class Asset isclass GSObject
{
  public native KUID GetKUID();
  public native string GetLocalisedName();
  public native string GetLocalisedDescription();
  public native string GetCreatorName();
  public native KUID LookupKUIDTable(string name);
  public native Asset FindAsset(string name);
  public native StringTable GetStringTable();
  public native Soup GetConfigSoup();
  public native KUIDList GetDependencyList();
  public native bool SupportsHalvexBuildVersion(float version);
  public native Image LoadImage(string name);
  public native bool IsLocallyModified();
  public native string GetInfoURL();
  public native bool GetIsFavorite();
  public native void SetIsFavorite(bool favorite);
  public native Asset GetParent();
  public native string GetCategoryEra();
  public native string GetCategoryRegion();
  public native Soup GetSessionRuleData(string name);
  public native bool IsBuiltIn();
  public native bool IsOnTheVendrix();
};
)"},
    {"SecurityToken.gs", R"(include "gs.gs"
final class SecurityToken isclass GSObject
{
  public native bool IsOwnerLocallyModified();
};
)"},
    {"PropertyObject.gs", R"(include "gs.gs"
include "Soup.gs"
game class PropertyObject isclass GameObject
{
  public void SetProperties(Soup soup) { }
  public Soup GetProperties() { return null; }
};
)"},
    {"HalvexGameObject.gs", R"(include "gs.gs"
include "kuid.gs"
include "asset.gs"
include "SecurityToken.gs"
include "PropertyObject.gs"
game class HalvexGameObject isclass PropertyObject
{
  Asset m_asset;
  public void Init(Asset asset) { m_asset = asset; }
  public Asset GetAsset() { return m_asset; }
  public native SecurityToken IssueSecurityToken(KUID kuid, string[] rights);
  public native SecurityToken IssueSecurityToken(SecurityToken token, KUID kuid, string[] rights);
  public native SecurityToken MergeSecurityTokens(SecurityToken[] tokens);
  public native bool Validate(SecurityToken token, HalvexGameObject grantor, string right);
  public native bool Validate(SecurityToken token, KUID grantor, string right);
};
)"},
    {"OnlineAccess.gs", "include \"gs.gs\"\nfinal class OnlineAccess isclass GSObject { };\n"},
    {"Menu.gs", "include \"gs.gs\"\nclass Menu isclass GSObject { };\n"},
    {"Library.gs", R"(include "gs.gs"
include "asset.gs"
include "HalvexGameObject.gs"
include "OnlineAccess.gs"
include "Menu.gs"
game class Library isclass HalvexGameObject
{
  public native OnlineAccess GetOnlineAccess();
  public native string LibraryCallNative(string function, string[] stringParams, GSObject[] objectParams);
  public native void AddSystemMenuIcon(Asset asset, string tooltip, string text);
  public native void AddSystemMenuIcon(Asset asset, string tooltip, string text, bool flag);
  public native void BlinkSystemMenuIcon(int count);
  public native void RemoveSystemMenuIcon();
  public native void ShowSystemMenuIconMenu(Menu menu);
  public native void HideSystemMenuIconMenu();
};
)"},
    {"HalvexScriptBase.gs", R"(include "gs.gs"
include "kuid.gs"
include "Soup.gs"
include "asset.gs"
include "Library.gs"
class HalvexScriptBase
{
  public native float GetSeconds();
  public native float GetNormalizedSystemTime();
  public native int GetSystemYear();
  public native int GetSystemMonth();
  public native int GetSystemDate();
  public native int GetSystemHour();
  public native int GetSystemMinute();
  public native int GetSystemSecond();
  public native Library GetLibrary(KUID kuid);
  public native Asset FindAsset(KUID kuid);
  public native Asset[] GetAssetList(string kind);
  public native Asset[] GetAssetList(string kind, string categories);
  public native KUID[] SearchAssets(string text, bool flag);
  public native Asset[] FindUpdatedAssets();
  public native Soup HalvexSystemCall(string name, Soup soup);
  public native bool OpenURL(string url);
  public native int QueryVendrixAccess();
  public native void Log(string text);
  public native float GetHalvexVersion();
  public native int GetHalvexBuild();
  public native KUID CloneKUID(KUID kuid);
};
)"},
    {"Halvex.gs", R"(include "gs.gs"
include "asset.gs"
include "HalvexGameObject.gs"
include "Library.gs"
include "HalvexScriptBase.gs"
class HalvexVersion { };
)"},
};

using ScriptResult = GSRuntime::testing::ScriptRun;

class ScriptWorldTest : public clienttest::DaemonClientTest {
protected:
    void SetUp() override {
        InstallScriptSpecRegistry();
        clienttest::DaemonClientTest::SetUp();
        if (HasFatalFailure()) return;
        static const bool registered = [] {
            ScriptNatives::RegisterClassNatives(GSRuntime::GSNativeRegistry::Get());
            HalvexWorld::RegisterWorldNatives(GSRuntime::GSNativeRegistry::Get());
            // The one Image native the tests read.
            GSRuntime::GSNativeRegistry::Get().Add(
                std::make_unique<GSRuntime::GSCPPNativeFunction<ScriptNatives::GSOImage>>(
                    "Image", "$int@Image::GetWidth()", &ScriptNatives::GSOImage::GetWidth));
            return true;
        }();
        (void)registered;
    }
    void TearDown() override {
        contexts_.clear();
        GSRuntime::SetCurrentContext(nullptr);
        clienttest::DaemonClientTest::TearDown();
    }

    std::string Install() const { return install_; }
    std::string Scripts() const { return install_ + "/scripts"; }
    std::string Libraries() const { return install_ + "/bin/libraries"; }

    // Writes the sources into the tree's scripts/, compiles each into bin/libraries/ and makes
    // them known to the program's machine; then loads `main` (a file name) and fills the slots.
    // The world's and the shipped classes come first, then the test's own files.
    void BuildLibraries(const std::map<std::string, std::string>& own) {
        fs::create_directories(Scripts());
        fs::create_directories(Libraries());
        std::map<std::string, std::string> sources = WorldSources();
        for (const auto& [name, text] : own)
            sources[name] = text;
        for (const auto& [name, text] : sources)
            std::ofstream(Scripts() + "/" + name, std::ios::binary) << text;
        for (const auto& [name, text] : sources) {
            GSCompiler::MessageLog log;
            const std::string out = Libraries() + "/";
            const int errors = GSCompiler::CompileFile(Scripts() + "/" + name, &out, {}, log);
            std::string lines;
            for (const std::string& l : log.Lines())
                lines += l + "\n";
            ASSERT_EQ(errors, 0) << name << "\n" << lines;
        }
        GSRuntime::GSMachine& machine = GSRuntime::GSMachine::Instance();
        machine.AddLibraryFolder(Libraries(), "libraries");
        // The program's machine outlives the test and its tree. A library built from the same
        // source as an earlier test's keeps that test's entry, which must not be left to load
        // from a tree that is gone; and a file name must name this test's library, not one an
        // earlier test built from another source under that name (the folder leaves a known
        // id's name as it was). So each name is pointed at this test's file and loaded while
        // the file is there: no test's libraries depend on the tests before it in the process.
        for (const auto& [name, text] : sources) {
            const std::string file = name.substr(0, name.rfind('.')) + ".gsl";
            machine.AddLibrary("libraries", Libraries(), file);
            machine.GetLibraryByName(file);
        }
        FillSlots();
    }

    // A HalvexScriptContext of the test (made current).
    HalvexWorld::HalvexScriptContext* NewContext() {
        auto* c = new HalvexWorld::HalvexScriptContext();
        contexts_.emplace_back(c);
        GSRuntime::SetCurrentContext(c);
        return c;
    }
    void DropContext(GSRuntime::GSContext* c) {
        for (auto it = contexts_.begin(); it != contexts_.end(); ++it)
            if (it->get() == c) {
                contexts_.erase(it);
                break;
            }
    }

    GSRuntime::GSClass* Class(const char* library, const char* name) {
        GSRuntime::GSLibrary* lib = GSRuntime::GSMachine::Instance().GetLibraryByName(library);
        return lib ? lib->FindClass(name) : nullptr;
    }

    // Runs `signature` of class `cls` (library "t.gsl") on a new instance in `context`, made as
    // the given native object (a plain GSObject by default).
    ScriptResult Call(GSRuntime::GSContext* context, const char* cls, const char* signature,
                      const std::vector<uint32_t>& args = {},
                      GSRuntime::GSObject* object = nullptr) {
        GSRuntime::SetCurrentContext(context);
        // The tests' classes live in t.gs, u.gs and h.gs.
        GSRuntime::GSClass* c = nullptr;
        for (const char* library : {"t.gsl", "u.gsl", "h.gsl"})
            if (c == nullptr) c = Class(library, cls);
        GSRuntime::GSFunction* f = c ? c->FindFunction(Kiv::PString(signature)) : nullptr;
        if (f == nullptr) {
            ADD_FAILURE() << "no method " << signature << " in "
                          << (c ? c->name.c_str() : "no class");
            return {};
        }
        return GSRuntime::testing::RunOnNewInstance(context, c, f, args, object);
    }
    // Runs `signature` of the object's own class on the object, which keeps its instance.
    ScriptResult CallOn(GSRuntime::GSContext* context, GSRuntime::GSObject* object,
                        const char* signature, const std::vector<uint32_t>& args = {}) {
        GSRuntime::SetCurrentContext(context);
        GSRuntime::GSClass* c =
            object->instance ? GSRuntime::GetHeader(object->instance)->cls : nullptr;
        GSRuntime::GSFunction* f = c ? c->FindFunction(Kiv::PString(signature)) : nullptr;
        if (f == nullptr) {
            ADD_FAILURE() << "no method " << signature;
            return {};
        }
        return GSRuntime::testing::RunOnInstance(context, object->instance, f, args);
    }
    static uint32_t Str(const char* text) { return GSRuntime::GSString::Make(text); }

    // Installs an asset folder with a text config; its KUID.
    KUID InstallAsset(const std::string& name, const clienttest::Config& config,
                      const std::vector<std::pair<std::string, std::string>>& files = {}) {
        const std::string folder = Source(name);
        config.WriteTo(folder, files);
        return Install(folder);
    }
    using clienttest::DaemonClientTest::Install;

private:
    static std::map<std::string, std::string> WorldSources() {
        std::map<std::string, std::string> sources;
        for (const char* name : {"gs.gs", "kuid.gs", "Soup.gs", "KUIDList.gs", "StringTable.gs",
                                 "HTMLBuffer.gs", "Image.gs", "LinkedList.gs", "Constructors.gs"})
            sources[name] = GSRuntime::testing::ReadLibrarySource(name);
        for (const auto& [name, text] : kWorldStubs)
            sources[name] = text;
        return sources;
    }
    void FillSlots() {
        using namespace ScriptNatives;
        const struct {
            ClassSlot slot;
            const char* library;
            const char* cls;
        } kSlots[] = {
            {kGameObject, "gs.gsl", "GameObject"},
            {kKUID, "kuid.gsl", "KUID"},
            {kSoup, "soup.gsl", "Soup"},
            {kKUIDList, "kuidlist.gsl", "KUIDList"},
            {kStringTable, "stringtable.gsl", "StringTable"},
            {kHTMLBuffer, "htmlbuffer.gsl", "HTMLBuffer"},
            {kImage, "image.gsl", "Image"},
            {kAsset, "asset.gsl", "Asset"},
            {kSecurityToken, "securitytoken.gsl", "SecurityToken"},
            {kHalvexGameObject, "halvexgameobject.gsl", "HalvexGameObject"},
            {kLibrary, "library.gsl", "Library"},
        };
        for (const auto& s : kSlots) {
            GSRuntime::GSClass* c = Class(s.library, s.cls);
            ASSERT_NE(c, nullptr) << s.library;
            SetClassSlot(s.slot, c);
        }
        GSRuntime::SetGameObjectClass(Class("gs.gsl", "GameObject"));
        GSRuntime::SetMessageClass(Class("gs.gsl", "Message"));
    }

    std::vector<std::unique_ptr<GSRuntime::GSContext>> contexts_;
};

}  // namespace worldtest
