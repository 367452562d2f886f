#include "platform/kiv/os/uid.h"

#include <gtest/gtest.h>

namespace {

TEST(UId, TextFormRoundTripsWithCapitalDigits) {
    auto id = Kiv::UId::Parse("4C414E80-BBDA-11d4-9AD7-0001025364B8");
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->bytes[0], 0x4C);
    EXPECT_EQ(id->bytes[7], 0xD4);
    EXPECT_EQ(id->bytes[15], 0xB8);
    EXPECT_EQ(id->ToString(), "4C414E80-BBDA-11D4-9AD7-0001025364B8");
    EXPECT_EQ(Kiv::UId::Parse(id->ToString()), id);
    EXPECT_FALSE(id->IsNull());
    EXPECT_TRUE(Kiv::UId{}.IsNull());
}

TEST(UId, MalformedTextIsRefused) {
    for (const char* text : {
             "",
             "4C414E80-BBDA-11d4-9AD7-0001025364B",    // one digit short
             "4C414E80-BBDA-11d4-9AD7-0001025364B80",  // one digit over
             "4C414E80BBDA-11d4-9AD7-0001025364B8-",   // dash out of place
             "4C414E80-BBDA-11d4-9AD7-0001025364BG",   // not a digit
             "{C414E80-BBDA-11d4-9AD7-0001025364B}",   // braces
             "4C414E80 BBDA 11d4 9AD7 0001025364B8",   // blanks for dashes
         })
        EXPECT_FALSE(Kiv::UId::Parse(text).has_value()) << text;
}

}  // namespace
