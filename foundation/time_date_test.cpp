#include "foundation/time_date.h"

#include <gtest/gtest.h>
#include <time.h>

namespace {

TEST(TTimeDate, PacksFieldsFromTheTopOfEachWord) {
    TTimeDate t;
    TimeDateFields f{2024, 5, 17, 5, 13, 45, 30, 999};
    ASSERT_TRUE(t.Set(f));
    // 13 << 19 | 45 << 13 | 30 << 7 | (999 & 0x7F)
    EXPECT_EQ(t.GetTimeWord(), 0x006DAF67u);
    // 2024 << 12 | 5 << 8 | 17 << 3 | 5
    EXPECT_EQ(t.GetDateWord(), 0x007E858Du);
    TimeDateFields back = t.Get();
    f.millisecond = 999 & 0x7F;
    EXPECT_EQ(back, f);
}

TEST(TTimeDate, TopBytesAreLeftAlone) {
    TTimeDate t;
    t.SetWords(0xAB000000, 0xCDFFFFFF);
    ASSERT_TRUE(t.Set({4095, 12, 31, 6, 23, 59, 60, 127}));
    EXPECT_EQ(t.GetTimeWord() >> 24, 0xABu);
    EXPECT_EQ(t.GetDateWord() >> 24, 0xCDu);
    EXPECT_EQ(t.GetDateWord() & 0xFFFFFF, 0xFFFCFEu);  // 4095, 12, 31, 6
    t.SetNow();
    EXPECT_EQ(t.GetTimeWord() >> 24, 0xABu);
}

TEST(TTimeDate, OutOfRangeFieldsAreRefused) {
    const TimeDateFields good{2000, 1, 1, 0, 0, 0, 0, 0};
    TimeDateFields bad[8];
    for (auto& b : bad)
        b = good;
    bad[0].year = 4096;
    bad[1].month = 0;
    bad[2].month = 13;
    bad[3].day = 32;
    bad[4].dayOfWeek = 7;
    bad[5].hour = 24;
    bad[6].minute = 60;
    bad[7].millisecond = 1000;
    TTimeDate t;
    ASSERT_TRUE(t.Set(good));
    for (const auto& b : bad) {
        EXPECT_FALSE(t.Set(b));
        EXPECT_EQ(t.Get(), good);
    }
}

TEST(TTimeDate, SetNowReadsTheLocalClock) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        int64_t before = CurrentTime();
        TTimeDate t;
        t.SetNow();
        if (CurrentTime() != before) continue;  // a second turned over: try again
        time_t now = static_cast<time_t>(before);
        std::tm local{};
        localtime_r(&now, &local);
        TimeDateFields f = t.Get();
        EXPECT_EQ(f.year, uint32_t(local.tm_year + 1900));
        EXPECT_EQ(f.month, uint32_t(local.tm_mon + 1));
        EXPECT_EQ(f.day, uint32_t(local.tm_mday));
        EXPECT_EQ(f.dayOfWeek, uint32_t(local.tm_wday));
        EXPECT_EQ(f.hour, uint32_t(local.tm_hour));
        EXPECT_EQ(f.minute, uint32_t(local.tm_min));
        EXPECT_EQ(f.second, uint32_t(local.tm_sec));
        return;
    }
    FAIL() << "the clock never held still for a second";
}

TEST(CalendarTime, MakeTimeInvertsLocalTimeAndNormalises) {
    EXPECT_GT(CurrentTime(), 1600000000);
    const time_t stamp = 1700000000;
    std::tm local{};
    localtime_r(&stamp, &local);
    EXPECT_EQ(MakeTime(local), 1700000000);

    std::tm jan32{};
    jan32.tm_year = 124;
    jan32.tm_mon = 0;
    jan32.tm_mday = 32;
    jan32.tm_hour = 12;
    jan32.tm_isdst = -1;
    std::tm feb1 = jan32;
    feb1.tm_mon = 1;
    feb1.tm_mday = 1;
    EXPECT_EQ(MakeTime(jan32), MakeTime(feb1));
}

}  // namespace
