// Platform/Clock/Clock.h: the host's clocks, local calendar time and pauses.
#pragma once

#include <cstdint>
#include <optional>

// Milliseconds of a monotonic clock, counted from the start of the process.
uint64_t clockMilliseconds();
// Seconds since 1970-01-01 00:00 UTC by the host's wall clock.
int64_t clockUnixSeconds();
// Suspends the calling thread for the given milliseconds.
void clockSleepMilliseconds(uint64_t milliseconds);

// A local calendar time as the C library sees it, in the host's time zone (TZ).
struct CalendarTime {
    int64_t year = 1970;
    int month = 1;    // 1-12
    int day = 1;      // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekDay = 0;  // 0 Sunday ... 6 Saturday; filled by clockLocalTime only
};

// The local calendar time of unixSeconds; nothing when the C library cannot convert it.
std::optional<CalendarTime> clockLocalTime(int64_t unixSeconds);
// The seconds of a local calendar time whose fields may lie outside their ranges (they carry over);
// the C library decides whether daylight saving time is in effect. Nothing when it cannot convert.
std::optional<int64_t> clockFromLocalTime(int year, int month, int day, int hour, int minute, int second);
