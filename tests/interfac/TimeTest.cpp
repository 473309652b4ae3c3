// tests/interfac/TimeTest.cpp: date and time texts under settings read from a profile file, and
// the day and month names of each language.
#include "Interfac/Time.h"
#include "../kernel/Support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// A profile file with the given [intl] lines, named by VELORA_WIN_INI, and Paris time, while the
// object lives.
class SettingsFixture {
public:
    explicit SettingsFixture(const std::string& intlLines)
    {
        char pattern[] = "/tmp/velora-win-ini-XXXXXX";
        int fd = mkstemp(pattern);
        EXPECT_GE(fd, 0);
        close(fd);
        m_path = pattern;
        std::ofstream(m_path) << "[other]\nsDate=#\n[intl]\n" << intlLines;
        setenv("VELORA_WIN_INI", m_path.c_str(), 1);
        setenv("TZ", "Europe/Paris", 1);
    }
    ~SettingsFixture()
    {
        unsetenv("VELORA_WIN_INI");
        unlink(m_path.c_str());
    }

private:
    std::string m_path;
};

std::string evaluated(const std::string& code)
{
    std::string printed;
    EXPECT_EQ(reportOf([&] { printed = evalText(code); }), "") << code;
    return printed;
}

int gLanguage = 0;
int testLanguage() { return gLanguage; }

} // namespace

TEST(Time, TextsFollowTheSettingsFile)
{
    const struct { const char* settings; const char* code; const char* text; } cases[] = {
        { "iDate=1\nsDate=.\n", "(iudatestring (date->time '(2004 3 5)) nil)", "5.3.04" },
        { "iDate=2\nsDate=.\n", "(iudatestring (date->time '(2004 3 5)) nil)", "04.3.5" },
        { "iDate=0\nsDate=-\n", "(iudatestring (date->time '(2004 3 5)) nil)", "3-5-04" },
        { "IDATE = 1\nsdate=//\n", "(iudatestring (date->time '(2009 12 25)) nil)", "25/12/09" },
        { "sDate=\n", "(iudatestring (date->time '(2004 3 5)) nil)", "3/5/04" },
        { "iTime=1\nsTime=h\n", "(iutimestring (date->time '(2004 3 5 13 5 9)) t)", "13h05h09" },
        { "iTime=1\n", "(iutimestring (date->time '(2004 3 5 9 5 9)) nil)", "09:05" },
        { "iTime=0\ns1159=matin\ns2359=soir\n", "(iutimestring (date->time '(2004 3 5 9 5 9)) nil)", " 9:05 mati " },
        { "s2359=pm\n", "(iutimestring (date->time '(2004 3 5 23 59 0)) t)", " 11:59:00 pm " },
        { "sDecimal=,\n", "(get-dotmark)", "44" },
        { "sDecimal=.\n", "(get-dotmark)", "46" },
        { "", "(get-dotmark)", "46" },
    };
    for (auto& c : cases) {
        SettingsFixture settings(c.settings);
        EXPECT_EQ(evaluated(c.code), c.text) << c.settings;
    }
}

TEST(Time, NamesOfEveryLanguage)
{
    SettingsFixture settings("");
    setDateLanguageSource(testLanguage);
    const struct { int language; const char* date; const char* text; } cases[] = {
        { 0, "'(2000 2 29)", "Tuesday, 29 February 2000" },
        { 1, "'(2000 2 29)", "Mardi, 29 F\xE9vrier 2000" },
        { 1, "'(2004 8 15)", "Dimanche, 15 Ao\xFBt 2004" },
        { 1, "'(2004 12 1)", "Mercredi, 01 D\xE9" "cembre 2004" },
        { 2, "'(2004 12 1)", "Mi\xE9rcoles, 01 Diciembre 2004" },
        { 2, "'(2004 8 14)", "S\xE1" "bado, 14 Agosto 2004" },
        { 7, "'(2004 8 14)", "Saturday, 14 August 2004" },
    };
    for (auto& c : cases) {
        gLanguage = c.language;
        EXPECT_EQ(evaluated(std::string("(iudatestring (date->time ") + c.date + ") t)"), c.text);
    }
    setDateLanguageSource(nullptr);
}

TEST(Time, TickComparisonsAcrossTheWrap)
{
    const struct { uint32_t now, deadline; bool reached; } cases[] = {
        { 100, 100, true }, { 99, 100, false }, { 101, 100, true },
        { 5, 0xFFFFFFF0u, true },          // the count wrapped after the deadline was set
        { 0xFFFFFFF0u, 5, false },          // the deadline lies after the wrap
        { 0x7FFFFFFFu, 0, true },
    };
    for (auto& c : cases)
        EXPECT_EQ(ticksReached(c.now, c.deadline), c.reached) << c.now << " " << c.deadline;
}
