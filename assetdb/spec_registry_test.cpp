// The spec registry seam: made and destroyed by the link's open and close, the script host's
// registry taking its place through the factory, its leak report before it goes.
#include "assetdb/spec_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> events;

class HostRegistry : public SpecRegistry {
public:
    ~HostRegistry() override { events.push_back("destroyed"); }
    void Forget(const KUID&) override { events.push_back("forget"); }
    void ReportLeaks() override { events.push_back("report"); }
};

TEST(SpecRegistry, FactoryRegistryLivesFromCreateToDestroyAndReportsFirst) {
    events.clear();
    SetSpecRegistryFactory([] { return std::unique_ptr<SpecRegistry>(new HostRegistry); });
    CreateSpecRegistry();
    ASSERT_NE(dynamic_cast<HostRegistry*>(SpecRegistry::Instance()), nullptr);
    SpecRegistry::Instance()->Forget(KUID(1, 2));
    DestroySpecRegistry();
    EXPECT_EQ(SpecRegistry::Instance(), nullptr);
    EXPECT_EQ(events, (std::vector<std::string>{"forget", "report", "destroyed"}));
    DestroySpecRegistry();  // nothing left: nothing happens
    EXPECT_EQ(events.size(), 3u);

    SetSpecRegistryFactory(nullptr);
    CreateSpecRegistry();
    ASSERT_NE(SpecRegistry::Instance(), nullptr);
    SpecRegistry::Instance()->Forget(KUID(1, 2));  // the plain registry caches nothing
    DestroySpecRegistry();
    EXPECT_EQ(events.size(), 3u);
}

}  // namespace
