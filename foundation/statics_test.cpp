#include "foundation/statics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Runs before any C++ static of the program is built; the check it arms runs after every one
// is released, and fails the test program when one was released out of order or not at all.
__attribute__((constructor(101))) void ArmCheck() {
    ArmStaticsExitCheck();
}

// Nothing in this test touches a static before looking at the ledger: what it lists was built
// during static initialisation, before main.
TEST(Statics, SharedWordsExistBeforeMainInTableOrder) {
    std::vector<std::string> built = LiveStatics();
    const std::vector<std::string> expected = {"boolean words", "empty interned string",
                                               "empty String",  "second empty String",
                                               "pipe-closed",   "english",
                                               "list-updated",  "list-destroyed"};
    std::vector<std::string> ours;
    for (const std::string& name : built) {
        for (const std::string& e : expected) {
            if (name == e) ours.push_back(name);
        }
    }
    EXPECT_EQ(ours, expected);
    EXPECT_NE(StaticsOrderFault(), nullptr) << "every static is still alive while main runs";
}

TEST(Statics, OrderCheckAcceptsOnlyReverseRelease) {
    const char* a = "a";
    const char* b = "b";
    struct Case {
        std::vector<StaticsEvent> events;
        const char* fault;
    };
    const Case cases[] = {
        {{{a, true}, {b, true}, {b, false}, {a, false}}, nullptr},
        {{{a, true}, {a, false}, {b, true}, {b, false}}, nullptr},
        {{}, nullptr},
        {{{a, true}, {b, true}, {a, false}, {b, false}}, a},  // released first, built first
        {{{a, true}, {b, true}, {b, false}}, a},              // never released
        {{{b, false}}, b},                                    // released, never built
    };
    for (const Case& c : cases)
        EXPECT_EQ(StaticsOrderFault(c.events.data(), c.events.size()), c.fault);
}

TEST(Statics, WordsAreTheInternedEntries) {
    // Users compare by identity, so each must be the cache's entry for its text.
    EXPECT_EQ(PipeClosedWord(), Kiv::PString("pipe-closed"));
    EXPECT_EQ(ListUpdatedWord(), Kiv::PString("list-updated"));
    EXPECT_EQ(ListDestroyedWord(), Kiv::PString("list-destroyed"));
    EXPECT_EQ(DefaultLanguageWord(), Kiv::PString("english"));
    EXPECT_EQ(EmptyPString(), Kiv::PString(""));
    EXPECT_FALSE(EmptyPString().IsNull());
    EXPECT_EQ(BooleanTrueWords()[0], Kiv::PString("true"));
    EXPECT_EQ(BooleanTrueWords()[1], Kiv::PString("1"));
    EXPECT_EQ(BooleanTrueWords()[2], Kiv::PString("t"));
    EXPECT_TRUE(EmptyString().IsEmpty());
    EXPECT_TRUE(EmptyDefaultString().IsEmpty());
    EXPECT_NE(&EmptyString(), &EmptyDefaultString());
}

}  // namespace
