#include "platform/kiv/os/plugin.h"

#include <gtest/gtest.h>

namespace {

class Codec : public Kiv::PluginBase {
public:
    using PluginBase::PluginBase;
};

const Kiv::UId kOtherFamily = *Kiv::UId::Parse("00000000-0000-0000-0000-000000000001");

TEST(PluginRegistry, LookupBeforeAnyProviderFindsNothing) {
    EXPECT_EQ(Kiv::PluginBase::LookupPluginType(Kiv::ImagePluginFamily(), "bmp"), nullptr);
    EXPECT_TRUE(Kiv::PluginBase::ListPluginTypes(Kiv::ImagePluginFamily()).empty());
}

TEST(PluginRegistry, TypesAreFoundByFamilyAndNameIgnoringCase) {
    auto bmp = std::make_shared<Codec>(Kiv::ImagePluginFamily(), "BMP");
    ASSERT_TRUE(Kiv::PluginBase::RegisterPluginType(bmp));
    // The same name in the same family is refused; another family may reuse it.
    EXPECT_FALSE(Kiv::PluginBase::RegisterPluginType(
        std::make_shared<Codec>(Kiv::ImagePluginFamily(), "bmp")));
    auto other = std::make_shared<Codec>(kOtherFamily, "bmp");
    EXPECT_TRUE(Kiv::PluginBase::RegisterPluginType(other));
    EXPECT_FALSE(Kiv::PluginBase::RegisterPluginType(nullptr));

    EXPECT_EQ(Kiv::PluginBase::LookupPluginType(Kiv::ImagePluginFamily(), "bmp"), bmp);
    EXPECT_EQ(Kiv::PluginBase::LookupPluginType(kOtherFamily, "Bmp"), other);
    EXPECT_EQ(Kiv::PluginBase::LookupPluginType(Kiv::ImagePluginFamily(), "tga"), nullptr);
    EXPECT_EQ(Kiv::PluginBase::ListPluginTypes(Kiv::ImagePluginFamily()).size(), 1u);

    // A holder keeps its type alive after the provider withdraws it.
    auto held = Kiv::PluginBase::LookupPluginType(kOtherFamily, "bmp");
    std::weak_ptr<Kiv::PluginBase> watch = other;
    other.reset();
    EXPECT_TRUE(Kiv::PluginBase::UnregisterPluginType(kOtherFamily, "BMP"));
    EXPECT_FALSE(Kiv::PluginBase::UnregisterPluginType(kOtherFamily, "bmp"));
    EXPECT_EQ(Kiv::PluginBase::LookupPluginType(kOtherFamily, "bmp"), nullptr);
    EXPECT_FALSE(watch.expired());
    held.reset();
    EXPECT_TRUE(watch.expired());

    EXPECT_TRUE(Kiv::PluginBase::UnregisterPluginType(Kiv::ImagePluginFamily(), "bmp"));
}

}  // namespace
