// tests/interfac/PatternTest.cpp: patterns from the built-in list and from PAT# resources.
#include "Interfac/Pattern.h"
#include "tests/kernel/Support.h"

#include <gtest/gtest.h>

TEST(Pattern, ListsAndIndexes)
{
    // A resource file with PAT# 300: it announces three patterns but holds two.
    evalText(R"(
        (define Pattern-File (create-resource-file nil "LISP" "rsrc" nil nil))
        (define Pattern-Ref (openresfile Pattern-File nil))
        (define Pattern-Bytes '(0 3  129 129 129 129 129 129 129 129  15 15 15 15 240 240 240 240))
        (define Pattern-Handle (new-handle (length Pattern-Bytes)))
        (with-locked-handle Pattern-Handle
          (lambda (_p _n)
            (let ((_i 0))
              (for-each (lambda (_b) (mset 1 _b _p _i) (set! _i (+ _i 1))) Pattern-Bytes))))
        (addresource Pattern-Handle "PAT#" 300 nil))");
    const struct {
        int list, index;
        bool found;
        PatternRecord pattern;
    } cases[] = {
        { 0, 1, true, { { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF } } },
        { 0, 4, true, { { 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55 } } },
        { 0, 20, true, { { 0, 0, 0, 0, 0, 0, 0, 0 } } },
        { 300, 1, true, { { 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81 } } },
        { 300, 2, true, { { 0x0F, 0x0F, 0x0F, 0x0F, 0xF0, 0xF0, 0xF0, 0xF0 } } },
        { 300, 3, false, {} },  // announced, but past the resource's end
        { 300, 0, false, {} },
        { 300, 4, false, {} },
        { 301, 1, false, {} },  // no such resource
        { 70000, 1, false, {} },
    };
    for (auto& c : cases) {
        PatternRecord pattern;
        EXPECT_EQ(patternFromList(c.list, c.index, pattern), c.found) << c.list << " " << c.index;
        if (c.found)
            EXPECT_EQ(pattern, c.pattern) << c.list << " " << c.index;
    }
    evalText("(closeresfile Pattern-Ref) (file-remove Pattern-File)");
}
