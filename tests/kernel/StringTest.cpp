// tests/kernel/StringTest.cpp: strings through native memory, and format re-entered from a
// print handler.
#include "Kernel/Format.h"
#include "Kernel/VString.h"
#include "Support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A memory pointer bound to the global P for the Lisp code of a test; freed at the end.
class MemoryFixture {
public:
    explicit MemoryFixture(uint32_t size)
        : m_address(newMemoryPointer(size))
    {
        setGlobalValue(intern("P"), makePointer(gMemoryPointerKind, m_address));
    }
    ~MemoryFixture()
    {
        setGlobalValue(intern("P"), kNil);
        disposeMemoryPointer(m_address);
    }
    uint8_t* bytes() const { return hostAddress(m_address); }
    uint32_t address() const { return m_address; }

private:
    uint32_t m_address;
};

} // namespace

TEST(String, ThroughPointers)
{
    MemoryFixture memory(300);
    const struct { const char* code; const char* printed; } cases[] = {
        { "(put-string \"hello\" P)", "<no-value>" },
        { "(ptr->string P)", "hello" },
        { "(text->string P 3)", "\x05he" },
        { "(put-string-text \"xyz\" P)", "<no-value>" },
        { "(text->string P 6)", "xyzllo" },
        { "(text->string P 0)", "" },
    };
    for (auto& c : cases) {
        std::string printed;
        EXPECT_EQ(reportOf([&] { printed = evalText(c.code); }), "") << c.code;
        EXPECT_EQ(printed, c.printed) << c.code;
    }
    EXPECT_EQ(memory.bytes()[0], 'x');
    EXPECT_EQ(std::memcmp(memory.bytes() + 1, "yzllo", 5), 0);
}

TEST(String, PutStringCutsAt255Bytes)
{
    MemoryFixture memory(300);
    std::string printed;
    EXPECT_EQ(reportOf([&] { printed = evalText("(put-string (make-string 280) P) (string-length (ptr->string P))"); }), "");
    EXPECT_EQ(printed, "255");
    EXPECT_EQ(memory.bytes()[0], 255);
}

TEST(String, AddressOutsideTheSpaceIsWrongType)
{
    MemoryFixture memory(16);
    const uint32_t outside[] = { 0, 0x10, kSpaceOrigin - 1, 0xFFFFFF00u };
    const char* codes[] = {
        "(ptr->string Q)", "(text->string Q 4)", "(put-string \"ab\" Q)", "(put-string-text \"ab\" Q)",
    };
    for (uint32_t address : outside) {
        setGlobalValue(intern("Q"), makePointer(gPlainPointerKind, address));
        for (const char* code : codes)
            EXPECT_EQ(reportOf([&] { evalText(code); }).rfind("Error: 1010-2, ", 0), 0u) << code << " " << address;
    }
    // A range that ends at the top of the space in use is readable; one byte more is not.
    uint64_t inside = 1, past = 1ull << 31;
    while (past - inside > 1) {
        uint64_t mid = (inside + past) / 2;
        (isSpaceRange(memory.address(), mid) ? inside : past) = mid;
    }
    setGlobalValue(intern("Q"), makePointer(gPlainPointerKind, static_cast<uint32_t>(memory.address() + inside - 4)));
    EXPECT_EQ(reportOf([&] { evalText("(text->string Q 4)"); }), "");
    EXPECT_EQ(reportOf([&] { evalText("(text->string Q 5)"); }).rfind("Error: 1010-2, ", 0), 0u);
    EXPECT_EQ(reportOf([&] { evalText("(put-string \"abcd\" Q)"); }).rfind("Error: 1010-2, ", 0), 0u);
    setGlobalValue(intern("Q"), kNil);
}

namespace {

// Prints a palette-index Value by running format itself, as an instance's print-self may.
class FormattingHandler final : public PrintHandler {
public:
    void print(Value v, NativeStream& out) override
    {
        const Value args[] = { makeImmediate(static_cast<int32_t>(payloadOf(v))), intern("q"), kEnd };
        formatTo(out, "<~[zero~;one~]:~3,,,'.a>", args);
    }
};

} // namespace

TEST(Format, ReenteredFromAPrintHandler)
{
    FormattingHandler handler;
    PrintHandler* saved = printHandler(Tag::PaletteIndex);
    setPrintHandler(Tag::PaletteIndex, &handler);
    const Value one = makeValue(Tag::PaletteIndex, 1);
    const struct { const char* control; Value args[4]; const char* expected; } cases[] = {
        { "~12,,,'*@a|~a", { one, makeImmediate(5), kEnd }, "***<one:q..>|5" },
        { "~:[~;~a~]~a!", { kTrue, one, makeImmediate(6), kEnd }, "<one:q..>6!" },
        { "~[~a~;x~]~2%", { makeImmediate(0), one, kEnd }, "<one:q..>\r\r" },
    };
    for (auto& c : cases) {
        std::string text;
        EXPECT_EQ(reportOf([&] { text = formatToString(c.control, c.args); }), "") << c.control;
        EXPECT_EQ(text, c.expected) << c.control;
    }
    setPrintHandler(Tag::PaletteIndex, saved);
}
