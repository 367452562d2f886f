// TTimeDate: a packed local time stamp of two 24-bit words (time: hour, minute, second and the
// low 7 bits of the millisecond; date: year, month, day and day of the week), each kept in a
// 32-bit field whose top byte belongs to the owner and is left alone. Also the C runtime's
// 64-bit calendar time: CurrentTime and MakeTime.
#pragma once

#include <cstdint>
#include <ctime>

struct TimeDateFields {
    uint32_t year = 0;         // 0 to 4095
    uint32_t month = 1;        // 1 to 12
    uint32_t day = 1;          // 1 to 31
    uint32_t dayOfWeek = 0;    // 0 (Sunday) to 6
    uint32_t hour = 0;         // 0 to 23
    uint32_t minute = 0;       // 0 to 59
    uint32_t second = 0;       // 0 to 60 (a leap second)
    uint32_t millisecond = 0;  // 0 to 999; only its low 7 bits are kept

    bool operator==(const TimeDateFields&) const = default;
};

class TTimeDate {
public:
    TTimeDate() = default;
    virtual ~TTimeDate() = default;

    // Both words from the local clock.
    void SetNow();
    // Both words from the fields; false, changing nothing, when a field is out of range.
    bool Set(const TimeDateFields& fields);
    // The fields; the millisecond is what its 7 stored bits hold.
    TimeDateFields Get() const;

    // The raw 32-bit fields, top byte included, as stored.
    uint32_t GetTimeWord() const { return time_; }
    uint32_t GetDateWord() const { return date_; }
    void SetWords(uint32_t time, uint32_t date) {
        time_ = time;
        date_ = date;
    }

private:
    uint32_t time_ = 0;
    uint32_t date_ = 0;
};

// Seconds since 1970-01-01 UTC.
int64_t CurrentTime();
// The calendar time of broken-down local time (normalising out-of-range fields as mktime
// does; tm_isdst -1 lets the zone decide); -1 when it cannot be represented.
int64_t MakeTime(const std::tm& fields);
