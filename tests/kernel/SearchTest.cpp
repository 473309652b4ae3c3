// tests/kernel/SearchTest.cpp: the buffer search against a plain scan, over many small random
// buffers and pattern sets, forward and backward, with and without case.
#include "Support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

namespace {

bool sameByte(char a, char b, bool ignoreCase) { return ignoreCase ? std::tolower(a) == std::tolower(b) : a == b; }

bool matchesAt(const std::string& text, int from, const std::string& pattern, bool ignoreCase)
{
    for (size_t i = 0; i < pattern.size(); ++i)
        if (!sameByte(text[from + i], pattern[i], ignoreCase))
            return false;
    return true;
}

// What the search must answer: forward, the match starting first at or after start; backward, the
// match ending last at or before min(start + 1, end); matches end at or before end; among patterns
// matching at the same place, the last listed.
std::string expectedAnswer(const std::vector<std::string>& patterns, const std::string& text, int start, int end,
                           bool backward, bool ignoreCase)
{
    size_t shortest = 255;
    for (auto& p : patterns)
        shortest = std::min(shortest, p.size());
    const int window = static_cast<int>(shortest);
    auto answerAt = [&](int windowStart) -> std::string {
        for (int k = static_cast<int>(patterns.size()) - 1; k >= 0; --k) {
            const std::string& p = patterns[k];
            int from = backward ? windowStart + window - static_cast<int>(p.size()) : windowStart;
            int to = from + static_cast<int>(p.size());
            if (from >= 0 && to <= end && matchesAt(text, from, p, ignoreCase))
                return "(" + p + " . " + std::to_string(from) + ")";
        }
        return {};
    };
    if (!backward) {
        for (int w = start; w + window <= end; ++w)
            if (auto a = answerAt(w); !a.empty())
                return a;
    } else {
        for (int w = std::min(start + 1, end) - window; w >= 0; --w)
            if (auto a = answerAt(w); !a.empty())
                return a;
    }
    return "()";
}

std::string randomText(std::mt19937& random, int maxLength, const char* alphabet)
{
    std::string text(random() % (maxLength + 1), ' ');
    for (char& c : text)
        c = alphabet[random() % std::strlen(alphabet)];
    return text;
}

} // namespace

TEST(Search, AgreesWithAPlainScan)
{
    std::mt19937 random(20261211);
    int found = 0;
    for (int round = 0; round < 1500; ++round) {
        const char* alphabet = round % 3 == 0 ? "aAbB" : "ab";
        std::string text = randomText(random, 24, alphabet);
        std::vector<std::string> patterns;
        for (int n = 1 + random() % 3; n > 0; --n) {
            std::string p = randomText(random, 4, alphabet);
            patterns.push_back(p.empty() ? "a" : p);
        }
        int end = text.empty() ? 0 : random() % (text.size() + 1);
        int start = random() % (text.size() + 2);
        bool backward = random() % 2, ignoreCase = random() % 2;
        std::string code = "(search-buffer-subr '(";
        for (auto& p : patterns)
            code += "\"" + p + "\" ";
        code += ") \"" + text + "\" " + std::to_string(start) + " " + std::to_string(end) + (backward ? " t" : " nil")
            + (ignoreCase ? " t" : " nil") + " nil)";
        std::string printed;
        EXPECT_EQ(reportOf([&] { printed = evalText(code); }), "") << code;
        ASSERT_EQ(printed, expectedAnswer(patterns, text, start, end, backward, ignoreCase)) << code;
        found += printed != "()";
    }
    EXPECT_GT(found, 500); // the cases are not all misses
}

TEST(Search, WildCardsAgreeWithAPlainScan)
{
    std::mt19937 random(1211);
    int found = 0;
    for (int round = 0; round < 800; ++round) {
        std::string text = randomText(random, 20, "abAB");
        std::string pattern = randomText(random, 4, "ab?A");
        if (pattern.empty())
            pattern = "?";
        int end = random() % (text.size() + 1);
        int start = random() % (text.size() + 2);
        bool ignoreCase = random() % 2;
        std::string expected = "()";
        for (int p = start; p + static_cast<int>(pattern.size()) < end && expected == "()"; ++p) {
            bool ok = true;
            for (size_t i = 0; i < pattern.size() && ok; ++i)
                ok = pattern[i] == '?' || sameByte(text[p + i], pattern[i], ignoreCase);
            if (ok)
                expected = std::to_string(p);
        }
        std::string code = "(search-buffer-wild-card \"" + pattern + "\" \"" + text + "\" " + std::to_string(start) + " "
            + std::to_string(end) + (ignoreCase ? " t" : " nil") + " nil)";
        std::string printed;
        EXPECT_EQ(reportOf([&] { printed = evalText(code); }), "") << code;
        ASSERT_EQ(printed, expected) << code;
        found += printed != "()";
    }
    EXPECT_GT(found, 80); // the cases are not all misses
}
