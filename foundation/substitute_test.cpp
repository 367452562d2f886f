#include "foundation/substitute.h"

#include <gtest/gtest.h>

namespace {

TEST(SubstituteVariable, ReplacesEveryPlaceholderOfTheName) {
    struct Case {
        const char* text;
        const char* name;
        const char* value;
        const char* result;
    };
    const Case cases[] = {
        {"Asset $(kuid) installed", "KUID", "<kuid:1:2>", "Asset <kuid:1:2> installed"},
        {"$(Kuid)/$(KUID)", "kuid", "x", "x/x"},
        {"$(a)$(a)$(a)", "a", "", ""},
        {"no placeholder", "kuid", "x", "no placeholder"},
        {"$(kuidx) $(kuid $(kuid", "kuid", "x", "$(kuidx) $(kuid $(kuid"},
        {"$(other) stays", "kuid", "x", "$(other) stays"},
        {"", "kuid", "x", ""},
    };
    for (const Case& c : cases) {
        Kiv::String text(c.text);
        SubstituteVariable(text, c.name, c.value);
        EXPECT_EQ(text, c.result) << c.text;
    }
}

// A value holding its own placeholder is inserted as it is: the search goes on behind it, so
// the substitution ends (it would grow the text for ever otherwise).
TEST(SubstituteVariable, ValueHoldingItsOwnPlaceholderIsNotExpandedAgain) {
    Kiv::String text("[$(name)] and [$(NAME)]");
    SubstituteVariable(text, "name", "$(Name)$(name)");
    EXPECT_EQ(text, "[$(Name)$(name)] and [$(Name)$(name)]");

    // A placeholder formed by the value's end and the text after it is not one either.
    Kiv::String joined("$(x)x)");
    SubstituteVariable(joined, "x", "$(");
    EXPECT_EQ(joined, "$(x)");
}

}  // namespace
