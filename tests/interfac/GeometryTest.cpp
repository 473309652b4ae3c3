// tests/interfac/GeometryTest.cpp: regions held by Lisp: the collector disposes of unreachable ones,
// and a disposed region is an error report, not a crash.
#include "../kernel/Support.h"

#include "Interfac/Geometry.h"
#include "Kernel/Recycle.h"

#include <gtest/gtest.h>

TEST(RegionModule, CollectorDisposesOfUnreachableRegions)
{
    collectGarbage(true);
    const size_t before = liveRegionCount();
    evalText("(define Kept (create-oval-rgn '(0 0 9 9)))"
             "(define (make-regions _n) (while (> _n 0) (newrgn) (set! _n (- _n 1))))"
             "(make-regions 300)");
    EXPECT_GE(liveRegionCount(), before + 1);
    collectGarbage(true);
    // The conservative stack scan may keep a stray one; the three hundred are gone.
    EXPECT_LT(liveRegionCount(), before + 5);
    EXPECT_EQ(evalText("(get-rgn-rect Kept nil)"), "(0 0 9 9)");
    evalText("(disposergn Kept)");
    EXPECT_LT(liveRegionCount(), before + 4);
}

TEST(RegionModule, UsesAfterDisposalAreReported)
{
    evalText("(define Gone (newrgn)) (disposergn Gone)");
    const struct {
        const char* form;
        const char* report;
    } cases[] = {
        { "(emptyrgn Gone)", "Error: 1010-2, <null region>, " },
        { "(offsetrgn Gone 1 1)", "Error: 1010-2, <null region>, " },
        { "(disposergn Gone)", "Error: 1010-2, <null region>, " },
        { "(ptinrgn '(0 . 0) (new-handle 4))", "Error: 1010-2, <handle " },
        { "(rect-width '(1 2 3))", "Error: 1010-2, (1 2 3), " },
    };
    for (auto& c : cases) {
        std::string report = reportOf([&] { evalText(c.form); });
        EXPECT_EQ(report.substr(0, std::string(c.report).size()), c.report) << c.form << ": " << report;
    }
}

TEST(RegionModule, PointsAndRectsConvert)
{
    EXPECT_EQ(evalText("(make-point 10 20)"), "(20 . 10)");
    Value rect = eval(readText("'(65537 2 -3 40000)"));
    EXPECT_EQ(toRect(rect), (Rect { 1, 2, -3, -25536 }));
    EXPECT_EQ(printedText(makeRect(Rect { -1, 2, 8388608, 4 }), PrintStyle::Print), "(-1 2 -8388608 4)");
    EXPECT_EQ(toPoint(eval(readText("'(3 . -4)"))), (Point { -4, 3 }));
}
