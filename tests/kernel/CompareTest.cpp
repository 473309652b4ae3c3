// tests/kernel/CompareTest.cpp: compare-buffers on memory blocks of characters.
#include "Support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// A memory pointer holding the bytes of text; freed when the test is done with it.
class Buffer {
public:
    explicit Buffer(const std::string& text) : m_size(static_cast<uint32_t>(text.size()))
    {
        m_address = newMemoryPointer(std::max<uint32_t>(m_size, 1));
        std::memcpy(hostAddress(m_address), text.data(), text.size());
    }
    ~Buffer() { disposeMemoryPointer(m_address); }
    Value pointer() const { return makePointer(gMemoryPointerKind, m_address); }
    Value length() const { return makeImmediate(static_cast<int32_t>(m_size)); }

private:
    uint32_t m_address;
    uint32_t m_size;
};

Value compareBuffers(const Buffer& a, const Buffer& b)
{
    return funcall(globalValue(intern("compare-buffers")), a.pointer(), a.length(), b.pointer(), b.length());
}

std::string compareText(const std::string& a, const std::string& b)
{
    Buffer x(a), y(b);
    return printedText(compareBuffers(x, y));
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\r') {
            lines.push_back(text.substr(from, i + 1 - from));
            from = i + 1;
        }
    return lines;
}

size_t commonSubsequence(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    std::vector<std::vector<size_t>> t(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j)
            t[i][j] = a[i - 1] == b[j - 1] ? t[i - 1][j - 1] + 1 : std::max(t[i - 1][j], t[i][j - 1]);
    return t[a.size()][b.size()];
}

int32_t intAt(Value list, int n)
{
    for (; n > 0; --n)
        list = cdr(list);
    return integerValue(car(list));
}

} // namespace

TEST(CompareBuffers, Examples)
{
    const struct {
        const char *a, *b, *expected;
    } cases[] = {
        { "a\rb\r", "a\rc\r", "(1 (0 4 2 4) (1 4 2 4))" },
        { "a\rb\rc", "a\rc", "(1 (0 4 2 4))" },
        { "a\rb\r", "a\rb\r", "(0)" },
        { "", "", "(0)" },
        { "x", "x", "(0)" },
        { "a\r", "a\rb\r", "(1 (1 2 2 4))" },
        { "a\rb\r", "b\r", "(1 (0 2 0 2))" },
        // The carriage return is not compared: a last line without one matches a line with one.
        { "a\rb", "a\rb\r", "(0)" },
        { "", "\r", "(0)" },
        // Two deleted lines in a row fold into one hunk.
        { "a\rb\rc\rd\r", "a\rd\r", "(1 (0 6 2 6))" },
        // Two separate changes.
        { "a\rb\rc\rd\r", "b\rc\r", "(2 (0 2 0 2) (0 8 6 8))" },
    };
    for (auto& c : cases)
        EXPECT_EQ(compareText(c.a, c.b), c.expected) << c.a << " / " << c.b;
}

TEST(CompareBuffers, SameBufferTwice)
{
    Buffer x("one\rtwo\rthree\r");
    EXPECT_EQ(printedText(compareBuffers(x, x)), "(0)");
}

// Random line sequences: the hunks, applied to the first buffer, give the second, and the number
// of lines they take and put is the least possible.
TEST(CompareBuffers, HunksRebuildTheSecondBufferWithFewestLines)
{
    std::mt19937 random(7);
    const char* words[] = { "a\r", "b\r", "cc\r", "\r" };
    for (int round = 0; round < 300; ++round) {
        std::string a, b;
        // An empty buffer reads as one empty line, so both get at least one line.
        for (int i = random() % 9 + 1; i > 0; --i)
            a += words[random() % 4];
        for (int i = random() % 9 + 1; i > 0; --i)
            b += words[random() % 4];
        Buffer x(a), y(b);
        Value result = compareBuffers(x, y);
        std::string rebuilt;
        size_t cursor = 0, linesChanged = 0;
        for (Value h = cdr(result); h != kNil; h = cdr(h)) {
            int32_t kind = intAt(car(h), 0), position = intAt(car(h), 1), start = intAt(car(h), 2),
                    end = intAt(car(h), 3);
            if (kind == 0) {
                ASSERT_LE(cursor, size_t(start));
                rebuilt += a.substr(cursor, start - cursor);
                cursor = end;
                linesChanged += std::count(a.begin() + start, a.begin() + end, '\r');
            } else {
                ASSERT_LE(cursor, size_t(position));
                rebuilt += a.substr(cursor, position - cursor) + b.substr(start, end - start);
                cursor = position;
                linesChanged += std::count(b.begin() + start, b.begin() + end, '\r');
            }
        }
        rebuilt += a.substr(cursor);
        EXPECT_EQ(rebuilt, b) << "a=" << a << " b=" << b;
        auto la = splitLines(a), lb = splitLines(b);
        EXPECT_EQ(linesChanged, la.size() + lb.size() - 2 * commonSubsequence(la, lb)) << "a=" << a << " b=" << b;
        EXPECT_EQ(integerValue(car(result)) == 0, a == b);
    }
}

TEST(CompareBuffers, BadArgumentsAreReported)
{
    Buffer x("a\r");
    Value f = globalValue(intern("compare-buffers"));
    const struct {
        Value p1, l1;
        const char* report;
    } cases[] = {
        { makeImmediate(5), makeImmediate(2), "Error: 1010-2, 5, " },
        { x.pointer(), intern("two"), "Error: 1010-2, two, " },
        { x.pointer(), makeImmediate(-1), "Error: 1010-2, -1, " },
        { makePointer(gPlainPointerKind, 0), makeImmediate(2), "Error: 1010-2, " },
    };
    for (auto& c : cases) {
        std::string report = reportOf([&] { funcall(f, c.p1, c.l1, x.pointer(), x.length()); });
        EXPECT_EQ(report.substr(0, std::strlen(c.report)), c.report);
    }
}
