#include "validation/tag.h"

#include <gtest/gtest.h>

#include "configdata/tdb_container_tag.h"
#include "validation/template_lookup.h"
#include "validation/validation_test_support.h"

namespace {

using DUVLib::Tag;

TEST(ParseFloatList, EverySeparatorEndsOneNumber) {
    struct Case {
        const char* text;
        std::vector<float> values;
    };
    const Case cases[] = {
        {"3", {3}}, {"1,2", {1, 2}}, {"1, 2", {1, 0, 2}},    {"1,,2", {1, 0, 2}},
        {"", {0}},  {"a", {0}},      {"1.5 -2", {1.5f, -2}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DUVLib::ParseFloatList(c.text), c.values) << c.text;
}

class Tags : public duvtest::Validator {
protected:
    void SetUp() override {
        duvtest::Validator::SetUp();
        StartOn({{"kind.txt", "part\n{\n  savingname \"saved\"\n}\n"}});
    }
};

TEST_F(Tags, ArraySizesAreCheckedFromBuild289) {
    Tag tag(0, nullptr, Kiv::PString("position"));
    Manager().SetBuild(3.5f);
    tag.value = Kiv::PString("1, 2");  // three values: 1, 0 and 2
    EXPECT_TRUE(DUVLib::CheckArraySize(&tag, 3));
    EXPECT_FALSE(DUVLib::CheckArraySize(&tag, 2));
    tag.value = Kiv::PString("1,2");
    EXPECT_FALSE(DUVLib::CheckArraySize(&tag, 3));
    EXPECT_EQ(duvtest::Rows(), (std::vector<std::string>{
                                   "E tag:position@ Tag 'position' needs 2 values but has 3.",
                                   "E tag:position@ Tag 'position' needs 3 values but has 2."}));
    DUVLib::ErrorHandler::Instance()->Clear();
    Manager().SetBuild(2.8f);
    EXPECT_TRUE(DUVLib::CheckArraySize(&tag, 7));
    tag.value = Kiv::PString("");
    for (float build : {2.8f, 3.5f}) {
        Manager().SetBuild(build);
        EXPECT_FALSE(DUVLib::CheckArraySize(&tag, 1));
    }
    EXPECT_FALSE(DUVLib::CheckArraySize(nullptr, 1));
    EXPECT_TRUE(duvtest::Rows().empty());
}

TEST_F(Tags, NullKUIDsWarnOutsideTheObsoleteTable) {
    Tag tag(0, nullptr, Kiv::PString("asset"));
    tag.value = Kiv::PString("<NULL>");
    EXPECT_TRUE(DUVLib::WarnIfNullKUID(&tag));
    EXPECT_TRUE(DUVLib::WarnIfNullKUID(&tag));
    tag.value = Kiv::PString("<kuid:1:2>");
    EXPECT_TRUE(DUVLib::WarnIfNullKUID(&tag));
    EXPECT_EQ(duvtest::Rows(),
              std::vector<std::string>{"W tag:asset@ Tag 'asset' names no asset (null KUID)."});
}

TEST_F(Tags, RuleNamesThatAreNoRulesAttachNothing) {
    Tag tag(0, nullptr, Kiv::PString("t"));
    TDBTagRef entry;
    TDBTagRef validation;
    TDBContainerTag::SetInt(validation, Kiv::PString("no-such-rule"), 1);
    TDBContainerTag::SetContainer(entry, Kiv::PString("validation"), validation);
    tag.SetupValidators(entry);
    EXPECT_TRUE(tag.validators.empty());
    EXPECT_EQ(tag.validators.size(), tag.parameters.size());
    EXPECT_TRUE(tag.RunValidators());
    EXPECT_TRUE(duvtest::Rows().empty());
}

TEST_F(Tags, BuildsCompareInWholeHundredths) {
    Manager().SetBuild(3.49f);
    EXPECT_FALSE(DUVLib::IsBuildAtLeast(3.5f));
    Manager().SetBuild(3.499f);
    EXPECT_TRUE(DUVLib::IsBuildAtLeast(3.5f));
    Manager().SetBuild(2.6f);
    EXPECT_TRUE(DUVLib::IsBuildAtLeast(2.60f));
}

TEST_F(Tags, ASubContainerLeavesItsParentWhenDestroyed) {
    Manager().LoadTemplates();  // no lists folder: false, with the definitions merged
    DUVLib::Container root;
    DUVLib::Container* made =
        root.CreateSubContainer(Kiv::PString("x"), &root, Kiv::PString("part"), 4, TDBTagRef());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetIndex(), 4);
    EXPECT_EQ(made->GetSavingName().str(), "saved");
    root.AddSubContainer(made);
    delete made;
    EXPECT_TRUE(root.GetSubContainers().empty());
    // A type without a definition makes nothing and is reported against the parent.
    EXPECT_EQ(
        root.CreateSubContainer(Kiv::PString("y"), &root, Kiv::PString("none"), 0, TDBTagRef()),
        nullptr);
    EXPECT_EQ(duvtest::Rows(), std::vector<std::string>{
                                   "E container: There is no container definition for 'none'."});
}

}  // namespace
