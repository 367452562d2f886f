#include "foundation/time_date.h"

#include <time.h>

namespace {

constexpr uint32_t kLow24 = 0x00FFFFFF;

// Bit positions inside the 24-bit words, from the top down.
constexpr uint32_t kHourShift = 19, kMinuteShift = 13, kSecondShift = 7;
constexpr uint32_t kYearShift = 12, kMonthShift = 8, kDayShift = 3;

}  // namespace

bool TTimeDate::Set(const TimeDateFields& f) {
    if (f.year > 4095 || f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 ||
        f.dayOfWeek > 6 || f.hour > 23 || f.minute > 59 || f.second > 60 || f.millisecond > 999)
        return false;
    uint32_t time = f.hour << kHourShift | f.minute << kMinuteShift | f.second << kSecondShift |
                    (f.millisecond & 0x7F);
    uint32_t date =
        f.year << kYearShift | f.month << kMonthShift | f.day << kDayShift | f.dayOfWeek;
    time_ = (time_ & ~kLow24) | time;
    date_ = (date_ & ~kLow24) | date;
    return true;
}

TimeDateFields TTimeDate::Get() const {
    TimeDateFields f;
    f.hour = time_ >> kHourShift & 0x1F;
    f.minute = time_ >> kMinuteShift & 0x3F;
    f.second = time_ >> kSecondShift & 0x3F;
    f.millisecond = time_ & 0x7F;
    f.year = date_ >> kYearShift & 0xFFF;
    f.month = date_ >> kMonthShift & 0xF;
    f.day = date_ >> kDayShift & 0x1F;
    f.dayOfWeek = date_ & 0x7;
    return f;
}

void TTimeDate::SetNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    TimeDateFields f;
    f.year = static_cast<uint32_t>(local.tm_year + 1900);
    f.month = static_cast<uint32_t>(local.tm_mon + 1);
    f.day = static_cast<uint32_t>(local.tm_mday);
    f.dayOfWeek = static_cast<uint32_t>(local.tm_wday);
    f.hour = static_cast<uint32_t>(local.tm_hour);
    f.minute = static_cast<uint32_t>(local.tm_min);
    f.second = static_cast<uint32_t>(local.tm_sec);
    f.millisecond = static_cast<uint32_t>(now.tv_nsec / 1000000);
    Set(f);
}

int64_t CurrentTime() {
    // The same clock as SetNow: time() reads a coarser clock that can lag it by a tick, so the
    // two could disagree on the second.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec);
}

int64_t MakeTime(const std::tm& fields) {
    std::tm copy = fields;
    time_t t = mktime(&copy);
    return static_cast<int64_t>(t);
}
