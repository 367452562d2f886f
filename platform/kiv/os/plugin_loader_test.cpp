#include "platform/kiv/os/plugin_loader.h"

#include <gtest/gtest.h>

#include "platform/kiv/os/plugin.h"

// This test program exports an entry of its own (it is linked with its symbols exported), so
// that loading "the program's own image" finds it.
namespace {
int entryCalls = 0;

class Marker : public Kiv::PluginBase {
public:
    Marker() : PluginBase(Kiv::ImagePluginFamily(), "loader-test-marker") {}
};
}  // namespace

extern "C" __attribute__((visibility("default"))) void KivGetPlugins() {
    ++entryCalls;
    Kiv::PluginBase::RegisterPluginType(std::make_shared<Marker>());
}

namespace {

TEST(PluginLoader, TheProgramsOwnImageIsCalledOnce) {
    std::string error;
    ASSERT_TRUE(Kiv::LoadPluginImage("", &error)) << error;
    EXPECT_TRUE(Kiv::LoadPluginImage("", &error)) << error;
    EXPECT_EQ(entryCalls, 1);
    EXPECT_NE(Kiv::PluginBase::LookupPluginType(Kiv::ImagePluginFamily(), "loader-test-marker"),
              nullptr);
}

TEST(PluginLoader, AMissingImageOrEntryIsAnErrorAndRegistersNothing) {
    const size_t before = Kiv::PluginBase::ListPluginTypes(Kiv::ImagePluginFamily()).size();
    std::string error;
    EXPECT_FALSE(Kiv::LoadPluginImage("/no/such/plugin.so", &error));
    EXPECT_NE(error.find("cannot open the plug-in image '/no/such/plugin.so'"), std::string::npos)
        << error;
    // A real shared object without the entry.
    EXPECT_FALSE(Kiv::LoadPluginImage("libm.so.6", &error));
    EXPECT_NE(error.find("exports no KivGetPlugins"), std::string::npos) << error;
    EXPECT_EQ(Kiv::PluginBase::ListPluginTypes(Kiv::ImagePluginFamily()).size(), before);
}

}  // namespace
