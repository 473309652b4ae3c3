// Platform/Clock/Clock.cpp: the clocks through POSIX clock_gettime and the C library's local time.
#include "Platform/Clock/Clock.h"

#include <cerrno>
#include <ctime>
#include <time.h>

namespace {

uint64_t monotonicMilliseconds()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint64_t(t.tv_sec) * 1000 + uint64_t(t.tv_nsec) / 1000000;
}

// Taken when the program's static objects are made, before any Module starts.
const uint64_t gOrigin = monotonicMilliseconds();

} // namespace

uint64_t clockMilliseconds() { return monotonicMilliseconds() - gOrigin; }

int64_t clockUnixSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec;
}

void clockSleepMilliseconds(uint64_t milliseconds)
{
    timespec wait { static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000 };
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

std::optional<CalendarTime> clockLocalTime(int64_t unixSeconds)
{
    tzset();
    time_t t = static_cast<time_t>(unixSeconds);
    tm broken {};
    if (!localtime_r(&t, &broken))
        return std::nullopt;
    CalendarTime c;
    c.year = int64_t(broken.tm_year) + 1900;
    c.month = broken.tm_mon + 1;
    c.day = broken.tm_mday;
    c.hour = broken.tm_hour;
    c.minute = broken.tm_min;
    c.second = broken.tm_sec;
    c.weekDay = broken.tm_wday;
    return c;
}

std::optional<int64_t> clockFromLocalTime(int year, int month, int day, int hour, int minute, int second)
{
    tzset();
    tm broken {};
    broken.tm_year = year - 1900;
    broken.tm_mon = month - 1;
    broken.tm_mday = day;
    broken.tm_hour = hour;
    broken.tm_min = minute;
    broken.tm_sec = second;
    broken.tm_isdst = -1;
    broken.tm_wday = -1; // mktime sets it on success: tells a failure from the time -1
    time_t t = mktime(&broken);
    if (t == static_cast<time_t>(-1) && broken.tm_wday == -1)
        return std::nullopt;
    return static_cast<int64_t>(t);
}
