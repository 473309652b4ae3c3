// Interfac/Time.cpp: the Time Module: clocks, dates as lists, calendar arithmetic, comparisons,
// pauses and date and time texts by the regional settings.
#include "Interfac/Time.h"

#include "Kernel/Error.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"
#include "Platform/Clock/Clock.h"
#include "Platform/Settings/Settings.h"

#include <algorithm>
#include <cstdio>
#include <string>

uint32_t tickCount() { return static_cast<uint32_t>(clockMilliseconds() * 3 / 50); }

int64_t clockSeconds() { return clockUnixSeconds() + kClockSecondsOffset; }

namespace {

int englishLanguage() { return 0; }
DateLanguageSource gLanguageSource = englishLanguage;

// ---- Dates ----

// A date list with its missing elements filled: month and day 1, the rest 0.
struct Date {
    int64_t part[6] = { 0, 1, 1, 0, 0, 0 };
    int64_t year() const { return part[0]; }
    int64_t month() const { return part[1]; }
    int64_t day() const { return part[2]; }
};

// The integers of a date list, at most max of them; their count goes to count.
int datePartsOf(Value date, int64_t (&parts)[6], int max = 6)
{
    int count = 0;
    Value rest = date;
    if (!isList(date))
        raiseWrongType(date);
    while (isPair(rest) && count < max) {
        parts[count++] = toInt64(car(rest));
        rest = cdr(rest);
    }
    return count;
}

Date toDate(Value date)
{
    Date d;
    int64_t parts[6];
    int count = datePartsOf(date, parts);
    for (int i = 0; i < count; ++i)
        d.part[i] = parts[i];
    return d;
}

Value makeDate(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second)
{
    ListBuilder list;
    for (int64_t n : { year, month, day, hour, minute, second })
        list.add(makeInteger(n));
    return list.head;
}

Value makeDate(const CalendarTime& c) { return makeDate(c.year, c.month, c.day, c.hour, c.minute, c.second); }

// ---- The calendar: Julian leap years before 1582, Gregorian from then on ----

constexpr int kMonthLengths[12] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
constexpr int kDaysBeforeMonth[12] = { 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334 };

bool isLeapYear(int64_t year)
{
    if (year % 4 != 0)
        return false;
    if (year < 1582)
        return true;
    return year % 400 == 0 || year % 100 != 0;
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
// How many multiples of k lie in [low, high].
int64_t multiples(int64_t k, int64_t low, int64_t high) { return high < low ? 0 : floorDiv(high, k) - floorDiv(low - 1, k); }

// Leap years in [low, high].
int64_t leapYears(int64_t low, int64_t high)
{
    if (high < low)
        return 0;
    int64_t count = multiples(4, low, high);
    int64_t from = std::max<int64_t>(low, 1582);
    return count - multiples(100, from, high) + multiples(400, from, high);
}

// The month of a date, checked: anything outside 1-12 is the wrong-type error.
int monthIndex(int64_t month, Value culprit)
{
    if (month < 1 || month > 12)
        raiseWrongType(culprit);
    return static_cast<int>(month - 1);
}

int monthLength(int64_t year, int index) { return index == 1 && isLeapYear(year) ? 29 : kMonthLengths[index]; }

// Days from an arbitrary origin to the first of the month, by the calendar above.
int64_t monthStart(int64_t year, int index)
{
    int64_t days = 365 * year + leapYears(0, year - 1) - leapYears(year, -1);
    return days + kDaysBeforeMonth[index] + (index >= 2 && isLeapYear(year));
}

// 1 Sunday ... 7 Saturday, counted from 1 January 1996, a Monday; dates up to 4 October 1582 are
// Julian, so they are 10 days further from it.
int weekDayOf(const Date& d, Value culprit)
{
    int index = monthIndex(d.month(), culprit);
    int64_t year = d.year();
    int64_t v = d.day() + kDaysBeforeMonth[index] + (index >= 2 && isLeapYear(year));
    if (year > 1996) {
        v += year - 1995 + leapYears(2000, year - 1);
    } else if (year < 1996) {
        v += 11976 - 6 * year + 6 * leapYears(year, 1992);
        if (year < 1582 || (year == 1582 && (d.month() < 10 || (d.month() == 10 && d.day() <= 4))))
            v += 10;
    }
    return static_cast<int>(((v % 7) + 7) % 7) + 1;
}

// ---- Primitives: clocks ----

Value getTime() { return makeInteger(clockSeconds()); }
Value tickCountPrimitive() { return makeInteger(tickCount()); }
Value milliseconds() { return makeInteger(static_cast<int64_t>(clockMilliseconds())); }

// Local time of Unix seconds; before 1970, or when the C library cannot convert, 1970-01-01 00:00 UTC.
CalendarTime localTimeOf(int64_t unixSeconds)
{
    if (unixSeconds < 0)
        unixSeconds = 0;
    if (auto c = clockLocalTime(unixSeconds))
        return *c;
    return clockLocalTime(0).value_or(CalendarTime {});
}

Value getDate() { return makeDate(localTimeOf(clockUnixSeconds())); }

Value timeToDate(Value seconds) { return makeDate(localTimeOf(toInt64(seconds) - kClockSecondsOffset)); }

int toIntPart(int64_t n, Value culprit)
{
    if (n < INT32_MIN || n > INT32_MAX)
        raiseWrongType(culprit);
    return static_cast<int>(n);
}

Value dateToTime(Value date)
{
    Date d = toDate(date);
    int p[6];
    for (int i = 0; i < 6; ++i)
        p[i] = toIntPart(d.part[i], date);
    auto seconds = clockFromLocalTime(p[0], p[1], p[2], p[3], p[4], p[5]);
    if (!seconds)
        raiseWrongType(date);
    return makeInteger(*seconds + kClockSecondsOffset);
}

// ---- Primitives: the calendar ----

Value leapYearP(Value year) { return boolValue(isLeapYear(toInt64(year))); }

Value weekDay(Value date) { return makeImmediate(weekDayOf(toDate(date), date)); }

Value endOfMonth(Value date)
{
    Date d = toDate(date);
    int index = monthIndex(d.month(), date);
    return makeDate(d.year(), d.month(), monthLength(d.year(), index), d.part[3], d.part[4], d.part[5]);
}

Value dayBetween(Value date1, Value date2)
{
    Date a = toDate(date1), b = toDate(date2);
    int indexA = monthIndex(a.month(), date1), indexB = monthIndex(b.month(), date2);
    if (b.year() < a.year() || (b.year() == a.year() && b.month() < a.month()))
        return makeImmediate(0);
    return makeInteger(monthStart(b.year(), indexB) + b.day() - monthStart(a.year(), indexA) - a.day());
}

// ---- Primitives: comparisons ----

// -1, 0 or 1 at the first unequal pair of the first `limit` elements both dates have; 0 when all
// are equal. extraZero tells whether every further element of the longer date is 0.
int compareDates(Value date1, Value date2, int limit, bool* extraZero = nullptr)
{
    int64_t a[6], b[6];
    int countA = datePartsOf(date1, a, limit), countB = datePartsOf(date2, b, limit);
    int common = std::min(countA, countB);
    for (int i = 0; i < common; ++i)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    if (extraZero) {
        *extraZero = true;
        for (int i = common; i < countA; ++i)
            *extraZero = *extraZero && a[i] == 0;
        for (int i = common; i < countB; ++i)
            *extraZero = *extraZero && b[i] == 0;
    }
    return 0;
}

bool datesEqual(Value d1, Value d2)
{
    bool extraZero = false;
    return compareDates(d1, d2, 6, &extraZero) == 0 && extraZero;
}

Value dateEqualP(Value d1, Value d2) { return boolValue(datesEqual(d1, d2)); }
Value dateNotEqualP(Value d1, Value d2) { return boolValue(!datesEqual(d1, d2)); }
Value dateLessP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 6) < 0); }
Value dateLessEqualP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 6) <= 0); }
Value dateGreaterP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 6) > 0); }
Value dateGreaterEqualP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 6) >= 0); }
Value monthEqualP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 2) == 0); }
Value dayEqualP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 3) == 0); }
Value dayNotEqualP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 3) != 0); }
Value dayLessP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 3) < 0); }
Value dayLessEqualP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 3) <= 0); }
Value dayGreaterP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 3) > 0); }
Value dayGreaterEqualP(Value d1, Value d2) { return boolValue(compareDates(d1, d2, 3) >= 0); }

Value localToGmtTime(Value) { raiseError(47, kNil); }
Value gmtToLocalTime(Value) { raiseError(47, kNil); }

// ---- Primitives: pauses ----

// n ticks are 16n + 2n/3 milliseconds; the wait handles no events. It sleeps instead of spinning,
// which shows the same to Lisp code and leaves the processor to others.
Value sleepTicks(Value n)
{
    int64_t ticks = toInt64(n);
    if (ticks > 0)
        clockSleepMilliseconds(static_cast<uint64_t>(16 * ticks + 2 * ticks / 3));
    return kNoValue;
}

Value sleepMilliseconds(Value n)
{
    int64_t ms = toInt64(n);
    if (ms > 0)
        clockSleepMilliseconds(static_cast<uint64_t>(ms));
    return kTrue;
}

// ---- Date and time texts ----

// The names, in code page 1252.
const char* const kDayNames[3][7] = {
    { "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday" },
    { "Dimanche", "Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi" },
    { "Domingo", "Lunes", "Martes", "Mi\xE9rcoles", "Jueves", "Viernes", "S\xE1" "bado" },
};
const char* const kMonthNames[3][12] = {
    { "January", "February", "March", "April", "May", "June", "July", "August", "September", "October",
      "November", "December" },
    { "Janvier", "F\xE9vrier", "Mars", "Avril", "Mai", "Juin", "Juillet", "Ao\xFBt", "Septembre", "Octobre",
      "Novembre", "D\xE9" "cembre" },
    { "Enero", "Febrero", "Marzo", "Abril", "Mayo", "Junio", "Julio", "Agosto", "Septiembre", "Octubre",
      "Noviembre", "Diciembre" },
};

struct RegionalSettings {
    int dateOrder;          // iDate: 0 month day year, 1 day month year, 2 year month day
    int clock24;            // iTime: 1 for the 24-hour clock
    std::string dateSeparator, timeSeparator, morning, afternoon;
};

int settingsInt(const char* key)
{
    std::string text = settingsString("intl", key, "0");
    try {
        return std::stoi(text);
    } catch (...) {
        return 0;
    }
}

std::string settingsText(const char* key, const char* fallback, size_t maxLength)
{
    std::string text = settingsString("intl", key, fallback);
    if (text.empty())
        text = fallback;
    return text.substr(0, maxLength);
}

RegionalSettings readSettings()
{
    return { settingsInt("iDate"), settingsInt("iTime"), settingsText("sDate", "/", 1),
             settingsText("sTime", ":", 1), settingsText("s1159", "AM", 4), settingsText("s2359", "PM", 4) };
}

template <typename... Args> std::string formatted(const char* format, Args... args)
{
    char text[160];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

CalendarTime localTimeOfClockSeconds(Value seconds) { return localTimeOf(toInt64(seconds) - kClockSecondsOffset); }

Value iuDateString(Value seconds, Value longFlag)
{
    RegionalSettings s = readSettings();
    CalendarTime c = localTimeOfClockSeconds(seconds);
    if (isTrue(longFlag)) {
        int language = gLanguageSource();
        if (language < 0 || language > 2)
            language = 0;
        std::string day = std::string(kDayNames[language][c.weekDay]).substr(0, 28);
        std::string month = std::string(kMonthNames[language][c.month - 1]).substr(0, 28);
        return makeString(formatted("%s, %02d %s %lld", day.c_str(), c.day, month.c_str(),
                                    static_cast<long long>(c.year)));
    }
    int year = static_cast<int>(c.year % 100);
    const char* sep = s.dateSeparator.c_str();
    if (s.dateOrder == 1)
        return makeString(formatted("%d%s%d%s%02d", c.day, sep, c.month, sep, year));
    if (s.dateOrder == 2)
        return makeString(formatted("%02d%s%d%s%d", year, sep, c.month, sep, c.day));
    return makeString(formatted("%d%s%d%s%02d", c.month, sep, c.day, sep, year));
}

Value iuTimeString(Value seconds, Value withSeconds)
{
    RegionalSettings s = readSettings();
    CalendarTime c = localTimeOfClockSeconds(seconds);
    const char* sep = s.timeSeparator.c_str();
    bool showSeconds = isTrue(withSeconds);
    if (s.clock24 == 1) {
        if (showSeconds)
            return makeString(formatted("%02d%s%02d%s%02d", c.hour, sep, c.minute, sep, c.second));
        return makeString(formatted("%02d%s%02d", c.hour, sep, c.minute));
    }
    int hour = c.hour % 12 == 0 ? 12 : c.hour % 12;
    const char* suffix = c.hour < 12 ? s.morning.c_str() : s.afternoon.c_str();
    if (showSeconds)
        return makeString(formatted(" %d%s%02d%s%02d %s ", hour, sep, c.minute, sep, c.second, suffix));
    return makeString(formatted(" %d%s%02d %s ", hour, sep, c.minute, suffix));
}

class TimeModule final : public Module {
public:
    TimeModule() : Module("Time") {}

    void start() override
    {
        Module::start();
        defineFunction0("get-time", getTime);
        defineFunction0("get-date", getDate);
        defineFunction0("tick-count", tickCountPrimitive);
        defineFunction0("milliseconds", milliseconds);
        defineFunction1("date->time", dateToTime);
        defineFunction1("time->date", timeToDate);
        defineFunction1("leap-year?", leapYearP);
        defineFunction1("week-day", weekDay);
        defineFunction1("end-of-month", endOfMonth);
        defineFunction2("day-between", dayBetween);
        defineFunction1("sleep", sleepTicks);
        defineFunction1("sleep-milliseconds", sleepMilliseconds);
        defineFunction2("date=?", dateEqualP);
        defineFunction2("date!=?", dateNotEqualP);
        defineFunction2("date<?", dateLessP);
        defineFunction2("date<=?", dateLessEqualP);
        defineFunction2("date>?", dateGreaterP);
        defineFunction2("date>=?", dateGreaterEqualP);
        defineFunction2("month=?", monthEqualP);
        defineFunction2("day=?", dayEqualP);
        defineFunction2("day!=?", dayNotEqualP);
        defineFunction2("day<?", dayLessP);
        defineFunction2("day<=?", dayLessEqualP);
        defineFunction2("day>?", dayGreaterP);
        defineFunction2("day>=?", dayGreaterEqualP);
        defineFunction1("local->gmt-time", localToGmtTime);
        defineFunction1("gmt->local-time", gmtToLocalTime);
        defineFunction2("iudatestring", iuDateString);
        defineFunction2("iutimestring", iuTimeString);
    }
} theTimeModule;

} // namespace

void setDateLanguageSource(DateLanguageSource source) { gLanguageSource = source ? source : englishLanguage; }
