// tests/kernel/CharsetsTest.cpp: the three character-set tables, checked against the C library's
// own converters and against the lists of characters without an equivalent.
#include "Kernel/Charsets.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <set>
#include <string>

namespace {

// Converts one byte from one host character set to another; false when it has no equivalent.
bool hostConvert(const char* from, const char* to, unsigned char byte, unsigned char& out)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    char in[1] = { static_cast<char>(byte) };
    char result[8];
    char* inPtr = in;
    char* outPtr = result;
    size_t inLeft = 1, outLeft = sizeof result;
    size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1) || outPtr - result != 1)
        return false;
    out = static_cast<unsigned char>(result[0]);
    return true;
}

bool hostHasCharsets()
{
    for (const char* name : { "MACINTOSH", "CP1252", "ISO-8859-1" }) {
        iconv_t cd = iconv_open("UTF-8", name);
        if (cd == reinterpret_cast<iconv_t>(-1))
            return false;
        iconv_close(cd);
    }
    return true;
}

std::set<int> missingAbove127(const unsigned char (&table)[256])
{
    std::set<int> missing;
    for (int b = 0x80; b < 256; ++b)
        if (table[b] == 0)
            missing.insert(b);
    return missing;
}

std::set<int> range(std::initializer_list<std::pair<int, int>> spans)
{
    std::set<int> codes;
    for (auto [first, last] : spans)
        for (int b = first; b <= last; ++b)
            codes.insert(b);
    return codes;
}

} // namespace

TEST(Charsets, ControlCharacters)
{
    for (int b = 0; b < 0x20; ++b) {
        bool kept = b == 0x03 || b == 0x09 || b == 0x0A || b == 0x0B || b == 0x0D;
        EXPECT_EQ(macToWindows(b), kept ? b : 0) << b;
        EXPECT_EQ(windowsToMac(b), kept ? b : 0) << b;
        bool latinKept = b == 0x09 || b == 0x0A || b == 0x0D;
        EXPECT_EQ(latin1ToMac(b), latinKept ? b : 0) << b;
    }
    for (int b = 0x20; b < 0x7F; ++b) {
        EXPECT_EQ(macToWindows(b), b);
        EXPECT_EQ(windowsToMac(b), b);
        EXPECT_EQ(latin1ToMac(b), b);
    }
    EXPECT_EQ(macToWindows(0x7F), 0);
    EXPECT_EQ(windowsToMac(0x7F), 0);
    EXPECT_EQ(latin1ToMac(0x7F), 0);
}

TEST(Charsets, CharactersWithoutEquivalent)
{
    EXPECT_EQ(missingAbove127(charsets::kMacToWindows),
              range({ { 0xAD, 0xAD }, { 0xB0, 0xB0 }, { 0xB2, 0xB3 }, { 0xB6, 0xBA }, { 0xBD, 0xBD },
                      { 0xC3, 0xC3 }, { 0xC5, 0xC6 }, { 0xD7, 0xD7 }, { 0xDA, 0xDA }, { 0xDE, 0xDF },
                      { 0xF0, 0xF0 }, { 0xF5, 0xF5 }, { 0xF9, 0xFB }, { 0xFD, 0xFF } }));
    EXPECT_EQ(missingAbove127(charsets::kWindowsToMac),
              range({ { 0x80, 0x81 }, { 0x8A, 0x8A }, { 0x8D, 0x90 }, { 0x9A, 0x9A }, { 0x9D, 0x9E },
                      { 0xA6, 0xA6 }, { 0xAD, 0xAD }, { 0xB2, 0xB3 }, { 0xB9, 0xB9 }, { 0xBC, 0xBE },
                      { 0xD0, 0xD0 }, { 0xD7, 0xD7 }, { 0xDD, 0xDE }, { 0xF0, 0xF0 }, { 0xFD, 0xFE } }));
    EXPECT_EQ(missingAbove127(charsets::kLatin1ToMac),
              range({ { 0x80, 0xA1 }, { 0xA4, 0xA4 }, { 0xA6, 0xA6 }, { 0xA8, 0xA8 }, { 0xAA, 0xAA },
                      { 0xAD, 0xAD }, { 0xAF, 0xAF }, { 0xB2, 0xB3 }, { 0xB5, 0xB5 }, { 0xB7, 0xB9 },
                      { 0xBC, 0xBF }, { 0xD0, 0xD4 }, { 0xD7, 0xD7 }, { 0xD9, 0xDB }, { 0xDD, 0xDF },
                      { 0xF0, 0xF0 }, { 0xFD, 0xFF } }));
}

// Every entry of the Mac and Windows tables is the same character in the other set, and the two
// tables are each other's inverse.
TEST(Charsets, MacAndWindowsAgreeWithTheHost)
{
    if (!hostHasCharsets())
        GTEST_SKIP() << "the C library has no MACINTOSH, CP1252 or ISO-8859-1 converter here";
    for (int b = 0x80; b < 256; ++b) {
        unsigned char mac = static_cast<unsigned char>(b);
        unsigned char expected = 0;
        // The host's Mac set is the later form, with the euro sign at 0xDB.
        if (b == 0xDB)
            expected = 0xA4;
        else if (!hostConvert("MACINTOSH", "CP1252", mac, expected))
            expected = 0;
        EXPECT_EQ(macToWindows(mac), expected) << std::hex << b;
        if (macToWindows(mac) != 0)
            EXPECT_EQ(windowsToMac(macToWindows(mac)), mac) << std::hex << b;
    }
    int macEntries = 0, windowsEntries = 0;
    for (int b = 0; b < 256; ++b) {
        macEntries += macToWindows(b) != 0;
        windowsEntries += windowsToMac(b) != 0;
    }
    EXPECT_EQ(macEntries, windowsEntries);
}

TEST(Charsets, Latin1EntriesAreTheSameCharacter)
{
    if (!hostHasCharsets())
        GTEST_SKIP() << "the C library has no MACINTOSH, CP1252 or ISO-8859-1 converter here";
    int entries = 0;
    for (int b = 0x80; b < 256; ++b) {
        if (latin1ToMac(b) == 0)
            continue;
        ++entries;
        unsigned char expected = 0;
        ASSERT_TRUE(hostConvert("ISO-8859-1", "MACINTOSH", b, expected)) << std::hex << b;
        EXPECT_EQ(latin1ToMac(b), expected) << std::hex << b;
    }
    EXPECT_EQ(entries, 62);
}

TEST(Charsets, ConvertBytes)
{
    const struct {
        std::string in;
        const unsigned char (&table)[256];
        std::string out;
        ptrdiff_t firstMissing;
    } cases[] = {
        { "\x8E\x41", charsets::kMacToWindows, "\xE9\x41", -1 },
        { "a\xAD" "b\xB0", charsets::kMacToWindows, "a\xAD" "b\xB0", 1 },
        { "\xE9t\xE9", charsets::kWindowsToMac, "\x8Et\x8E", -1 },
        { "\x80\xE9", charsets::kWindowsToMac, "\x80\x8E", 0 },
        { "\xE9\xD1", charsets::kLatin1ToMac, "\x8E\xD1", 1 },
        { "", charsets::kMacToWindows, "", -1 },
    };
    for (auto& c : cases) {
        std::string bytes = c.in;
        ptrdiff_t missing = convertBytes(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), c.table);
        EXPECT_EQ(bytes, c.out);
        EXPECT_EQ(missing, c.firstMissing);
    }
}
