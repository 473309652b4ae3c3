// tests/interfac/TextStyleTest.cpp: style designators applied to a port's text state.
#include "../kernel/Support.h"

#include "Interfac/TextStyle.h"

#include <gtest/gtest.h>

TEST(TextStyle, DesignatorsApplyToATextState)
{
    evalText("(define (styled) (let ((_s (make-instance Text-Style))) (_s (link-object)) _s))"
             "(define Base (styled)) (Base (set-text-style-font \"Times\")) (Base (set-text-style-size 18))"
             "(Base (set-text-style-style 1)) (Base (set-text-style-style-mask 1))"
             "(define Under (styled)) (Under (set-text-style-basis Base))"
             "(Under (set-text-style-style 4)) (Under (set-text-style-style-mask 4))"
             "(define Red (styled)) (Red (set-text-style-color '(65535 0 0)))"
             "(Red (set-text-style-style 0)) (Red (set-text-style-style-mask 1))"
             "(define (symbolic-font _name) (if (eq? _name 'red) Red 12))");
    PortTextState start;
    start.style = 0x82; // italic and strike-out
    start.face = "Geneva";
    const struct {
        const char* designator;
        PortTextState expected;
    } cases[] = {
        { "Base", { {}, 0x83, 18, 0, "Times" } },
        { "Under", { {}, 0x87, 18, 0, "Times" } },
        { "'red", { { 65535, 0, 0 }, 0x82, 12, 0, "Geneva" } },
        // A list applies in order: Red's mask turns off the bold that Under gave.
        { "(list Under 'red)", { { 65535, 0, 0 }, 0x86, 18, 0, "Times" } },
        { "(list 'red Under)", { { 65535, 0, 0 }, 0x87, 18, 0, "Times" } },
        { "(list (list 'red) (list Base))", { { 65535, 0, 0 }, 0x83, 18, 0, "Times" } },
        { "nil", start },
    };
    for (auto& c : cases) {
        PortTextState state = start;
        std::string report = reportOf([&] { applyStyleDesignator(eval(readText(c.designator)), state); });
        EXPECT_EQ(report, "") << c.designator;
        EXPECT_EQ(state, c.expected) << c.designator;
    }
    const struct {
        const char* designator;
        const char* report;
    } errors[] = {
        { "'other", "Error: 1010-2, 12, " },
        { "\"Times\"", "Error: 1010-2, Times, " },
        { "(cons Base 5)", "Error: 1010-2, (#<instance" },
        { "(make-instance Text-Style)", "Error: 1010-69, #<instance" },
    };
    for (auto& e : errors) {
        PortTextState state = start;
        std::string report = reportOf([&] {
            Value designator = eval(readText(e.designator));
            applyStyleDesignator(designator, state);
        });
        EXPECT_EQ(report.substr(0, std::string(e.report).size()), e.report) << e.designator << ": " << report;
    }
}
