// The plug-in loader against plug-ins of our own copied into a temporary install tree.
#include "script/world/plugin_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/data_root.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using HalvexPlugins::PluginLoad;

class PluginLoader : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path bin = fs::path(dir_.path()) / "install/bin";
        fs::create_directories(bin / "plugins");
        fs::copy_file(fs::path(HALVEX_STAGE_DIR) / "bin/libhalvexnativeinterface.so",
                      bin / "libhalvexnativeinterface.so");
        for (const char* name : {"hnitest", "hnitest_noentry", "hnitest_refuses"})
            fs::copy_file(fs::path(HALVEX_TEST_PLUGIN_DIR) / (std::string(name) + ".so"),
                          bin / "plugins" / (std::string(name) + ".so"));
        SetFolderRoots((fs::path(dir_.path()) / "install").string(),
                       (fs::path(dir_.path()) / "install/UserData").string());
        host_ = HNIAllocString("host");
    }
    void TearDown() override {
        HNIRelease(host_);
        SetFolderRoots("", "");
    }
    std::string PluginPath(const char* name) const {
        return dir_ / ("install/bin/plugins/" + std::string(name) + ".so");
    }
    bool IsLoaded(const char* name) const {
        void* h = ::dlopen(PluginPath(name).c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (h) ::dlclose(h);
        return h != nullptr;
    }
    // The text a library function gives for no arguments.
    static std::string Call(HNIHandle library, const char* function) {
        HNIHandle name = HNIAllocString(function);
        HNIHandle r = HNICallLibraryFunction(library, name, HNI_NONE);
        std::string text = HNIGetStringText(r) ? HNIGetStringText(r) : "<none>";
        HNIRelease(r);
        HNIRelease(name);
        return text;
    }

    testsupport::TempDir dir_;
    HNIHandle host_ = HNI_NONE;
};

TEST_F(PluginLoader, APlugInLoadsAndItsInitRunsOnce) {
    const int64_t before = HalvexPlugins::PluginAllocatedBytes();
    HalvexPlugins::PluginHolder holder;
    holder.host = host_;
    HNIAddRef(host_);
    holder.library = PluginLoad(host_, "hnitest");
    ASSERT_NE(holder.library, HNI_NONE);
    EXPECT_STREQ(HNIGetObjectClass(holder.library), "HNITestLibrary");
    EXPECT_EQ(Call(holder.library, "InitCount"), "1");
    EXPECT_GT(HalvexPlugins::PluginAllocatedBytes(), before);
    HalvexPlugins::ReleasePlugins(holder);
    EXPECT_EQ(holder.library, HNI_NONE);
    EXPECT_EQ(holder.host, HNI_NONE);
    EXPECT_STREQ(HNIGetStringText(host_), "host") << "the holder's own reference only";
    HNIRelease(host_);
    host_ = HNI_NONE;
    EXPECT_EQ(HalvexPlugins::PluginAllocatedBytes(), 0) << "every counted byte came back";
    EXPECT_TRUE(IsLoaded("hnitest")) << "a loaded plug-in stays for the process";
    HalvexPlugins::ReleasePlugins(holder);  // empty handles: nothing happens
}

TEST_F(PluginLoader, WhatCannotGiveALibraryObjectGivesNone) {
    EXPECT_EQ(PluginLoad(host_, "missing"), HNI_NONE);
    EXPECT_EQ(PluginLoad(host_, "hnitest_noentry"), HNI_NONE);
    EXPECT_EQ(PluginLoad(host_, "hnitest_refuses"), HNI_NONE);
    EXPECT_FALSE(IsLoaded("hnitest_refuses")) << "unloaded when its entry gives none";
}

TEST_F(PluginLoader, NamesThatCouldLeaveThePlugInFolderGiveNone) {
    // A copy of the plug-in one folder up, which "../hnitest" etc. would reach.
    fs::copy_file(PluginPath("hnitest"), dir_ / "install/bin/hnitest.so");
    fs::copy_file(PluginPath("hnitest"), dir_ / "install/bin/plugins/a..b.so");
    for (const char* name :
         {"", "../hnitest", "..\\hnitest", "sub/hnitest", "a..b", "..", "/abs/hnitest"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(PluginLoad(host_, name), HNI_NONE);
    }
}

std::string gCalls;

TEST(PluginNotify, CallsInBitOrderAndStopsAfterBitFour) {
    static const HNIObjectOps ops = {nullptr, [](void*) { gCalls += "1"; },
                                     [](void*) { gCalls += "2"; }, [](void*) { gCalls += "3"; }};
    HNIHandle object = HNIAllocObject("notified", &ops, nullptr);
    const struct {
        uint32_t flags;
        const char* calls;
    } cases[] = {{0, ""}, {1, "1"}, {2, "2"}, {4, "3"}, {6, "23"}, {0xFFFFFFFF, "123"}, {8, ""}};
    for (const auto& c : cases) {
        gCalls.clear();
        HalvexPlugins::PluginNotify(object, c.flags);
        EXPECT_EQ(gCalls, c.calls) << c.flags;
    }
    HNIRelease(object);
}

}  // namespace
