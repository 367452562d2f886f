// What the native classes' script tests stand on: the shipped library sources (data/scripts)
// compiled by our compiler beside a test script, the natives registered once,
// the class slots filled from the loaded libraries, and runs of the test script's methods in a
// context of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "script/natives/class_natives.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/gs_thread.h"
#include "script/vm/testing/script_runner.h"
#include "script/vm/vm_test_support.h"

namespace ScriptNatives::testing {

// A module every test script may include: soups shared many times over, for the walks' caps.
inline const char* const kSharedSoupsModule = R"(include "Constructors.gs"
static class SharedSoups
{
  // `levels` soups above a leaf soup (one tag "leaf"), each holding the one below twice: a walk
  // visits 3 * 2^levels - 2 tags.
  public Soup Doubled(int levels) {
    Soup at = ConstructorsBase.NewSoup();
    at.SetNamedTag("leaf", 1);
    int i;
    for (i = 0; i < levels; i++) {
      Soup up = ConstructorsBase.NewSoup();
      up.SetNamedSoup("a", at);
      up.SetNamedSoup("b", at);
      at = up;
    }
    return at;
  }
};
)";

// One compiled set of libraries with a test script "t.gs".
class NativeScriptLibraries {
public:
    explicit NativeScriptLibraries(const std::string& test) {
        static const bool registered = [] {
            RegisterClassNatives(GSRuntime::GSNativeRegistry::Get());
            return true;
        }();
        (void)registered;
        std::map<std::string, std::string> sources;
        for (const char* name : {"gs.gs", "kuid.gs", "Soup.gs", "HTMLBuffer.gs", "KUIDList.gs",
                                 "StringTable.gs", "LinkedList.gs", "Image.gs", "Constructors.gs"})
            sources[name] = GSRuntime::testing::ReadLibrarySource(name);
        sources["sharedsoups.gs"] = kSharedSoupsModule;
        sources["t.gs"] = test;
        loaded = runner.Load(sources, "t.gs");
    }

    // Fills the class slots from the loaded libraries (other tests of this program change them).
    void FillSlots() {
        const struct {
            ClassSlot slot;
            const char* library;
            const char* cls;
        } kSlots[] = {
            {kKUID, "kuid.gsl", "KUID"},
            {kSoup, "soup.gsl", "Soup"},
            {kHTMLBuffer, "htmlbuffer.gsl", "HTMLBuffer"},
            {kKUIDList, "kuidlist.gsl", "KUIDList"},
            {kStringTable, "stringtable.gsl", "StringTable"},
            {kConstructorsBase, "constructors.gsl", "ConstructorsBase"},
            {kImage, "image.gsl", "Image"},
            {kGameObject, "gs.gsl", "GameObject"},
        };
        for (const auto& s : kSlots) {
            GSRuntime::GSLibrary* lib = runner.machine.GetLibraryByName(s.library);
            SetClassSlot(s.slot, lib != nullptr ? lib->FindClass(s.cls) : nullptr);
        }
        GSRuntime::GSLibrary* gs = runner.machine.GetLibraryByName("gs.gsl");
        GSRuntime::SetMessageClass(gs != nullptr ? gs->FindClass("Message") : nullptr);
        GSRuntime::SetGameObjectClass(gs != nullptr ? gs->FindClass("GameObject") : nullptr);
    }
    static void ClearSlots() {
        for (int s = 0; s < kClassSlotCount; ++s)
            SetClassSlot(static_cast<ClassSlot>(s), nullptr);
        GSRuntime::SetMessageClass(nullptr);
        GSRuntime::SetGameObjectClass(nullptr);
    }

    GSRuntime::testing::ScriptRunner runner;
    bool loaded = false;
};

using ScriptResult = GSRuntime::testing::ScriptRun;

// Runs methods of the class "Test" of the test script, each on a new instance in `context`.
class NativeScriptTest : public ::testing::Test {
protected:
    // Derived fixtures give the test script through a static of their own.
    virtual NativeScriptLibraries& Libraries() = 0;

    void SetUp() override {
        ASSERT_TRUE(Libraries().loaded) << Libraries().runner.messages;
        Libraries().FillSlots();
        context = std::make_unique<GSRuntime::GSContext>();
        GSRuntime::SetCurrentContext(context.get());
    }
    void TearDown() override {
        context.reset();
        GSRuntime::SetCurrentContext(nullptr);
        NativeScriptLibraries::ClearSlots();
    }

    GSRuntime::GSClass* TestClass() { return Libraries().runner.library->FindClass("Test"); }

    // `signature` of Test with `args` after `this`, in `in` (the fixture's context by default).
    ScriptResult Call(const char* signature, const std::vector<uint32_t>& args = {},
                      GSRuntime::GSContext* in = nullptr) {
        GSRuntime::GSContext* ctx = in != nullptr ? in : context.get();
        GSRuntime::GSClass* cls = TestClass();
        GSRuntime::GSFunction* f =
            cls != nullptr ? cls->FindFunction(Kiv::PString(signature)) : nullptr;
        if (f == nullptr) {
            ADD_FAILURE() << "no method " << signature;
            return {};
        }
        return GSRuntime::testing::RunOnNewInstance(ctx, cls, f, args);
    }
    // A new script string in the current context, for string arguments (handed to the run).
    static uint32_t Str(const char* text) { return GSRuntime::GSString::Make(text); }

    std::unique_ptr<GSRuntime::GSContext> context;
};

}  // namespace ScriptNatives::testing
