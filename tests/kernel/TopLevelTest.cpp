// tests/kernel/TopLevelTest.cpp: the top level of scripts never stays in place: after every error
// report it reads on, and random input ends by itself.
#include "Support.h"
#include "tests/support/Sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <unistd.h>

namespace {

struct Step {
    TopLevelRead read;
    int64_t position; // after the step
};

std::vector<Step> stepsOf(const std::string& text)
{
    std::vector<Step> steps;
    StringInputStream in(text);
    for (int i = 0; i < 20; ++i) {
        Value form = kNil;
        TopLevelRead read = readTopLevelForm(in, form);
        steps.push_back({ read, in.position() });
        if (read == TopLevelRead::End)
            break;
    }
    return steps;
}

} // namespace

TEST(TopLevel, EveryFailedReadMovesOn)
{
    const struct {
        const char* text;
        std::vector<TopLevelRead> reads;
    } cases[] = {
        { "{", { TopLevelRead::Failed, TopLevelRead::End } },           // source reference, no Loaded-File
        { "#{", { TopLevelRead::Failed, TopLevelRead::End } },          // localized literal cut short
        { "(", { TopLevelRead::Failed, TopLevelRead::End } },
        { "\"", { TopLevelRead::Failed, TopLevelRead::End } },          // a string the input ends in
        { "#\\", { TopLevelRead::Failed, TopLevelRead::End } },
        { ")", { TopLevelRead::Failed, TopLevelRead::End } },
        { ".", { TopLevelRead::Failed, TopLevelRead::End } },
        { "|", { TopLevelRead::Form, TopLevelRead::End } },             // a symbol
        { "{a} 1", { TopLevelRead::Failed, TopLevelRead::Form, TopLevelRead::Failed, TopLevelRead::Form, TopLevelRead::End } },
        { ") ) 5", { TopLevelRead::Failed, TopLevelRead::Failed, TopLevelRead::Form, TopLevelRead::End } },
    };
    for (auto& c : cases) {
        std::vector<Step> steps = stepsOf(c.text);
        std::vector<TopLevelRead> reads;
        int64_t last = 0;
        for (const Step& step : steps) {
            reads.push_back(step.read);
            if (step.read != TopLevelRead::End) {
                EXPECT_GT(step.position, last) << c.text << ": a step that consumed nothing";
            }
            last = step.position;
        }
        EXPECT_EQ(reads, c.reads) << c.text;
    }
}

namespace {

// Returns the number of soups that failed.
int runSoups()
{
    sandbox::refuseDangerousPrimitives();
    static const char* const kWords[] = { "(", ")", "(", ")", "[", "]", "{", "}", "#", "#{", "#\\", "#(",
        "\"", "'", "`", ",", ",@", ":", "&", "_", ";", "|", "\\", ".", " . ", " ", "\n", "\r", "1", "-2",
        "3.5", "1/2", "#x1F", "car", "cdr", "cons", "list", "+", "*", "-", "/", "let", "lambda", "define",
        "if", "while", "set!", "vector", "make-string", "string-append", "format", "repeat", "catch",
        "throw", "unwind-protect", "apply", "funcall", "read", "eval", "quote", "progn", "length",
        "reverse", "nth", "error", "t", "nil", "a", "x" };
    std::mt19937 random(20261211);
    int failures = 0, abandoned = 0;
    for (int n = 0; n < 3000; ++n) {
        std::string soup;
        while (soup.size() < 400) {
            unsigned pick = random() % 10;
            if (pick == 0)
                soup.push_back(static_cast<char>(random() % 256));
            else
                soup += kWords[random() % (sizeof kWords / sizeof kWords[0])];
        }
        soup.resize(400);
        // A soup may well spell an endless loop, such as (while 'x): evaluation is abandoned
        // after half a second, and the whole run must still end within the second.
        sandbox::Outcome outcome = sandbox::runTopLevel(soup, 500);
        abandoned += outcome.overran;
        if (!outcome.progressed || outcome.milliseconds > 1000) {
            std::fprintf(stderr, "soup %d: progressed %d, overran %d, %llu ms\n", n, outcome.progressed,
                outcome.overran, static_cast<unsigned long long>(outcome.milliseconds));
            ++failures;
            if (const char* dump = std::getenv("VELORA_SOUP_DUMP")) {
                std::string path = std::string(dump) + "/soup-" + std::to_string(n);
                if (FILE* f = std::fopen(path.c_str(), "wb")) {
                    std::fwrite(soup.data(), 1, soup.size(), f);
                    std::fclose(f);
                }
            }
        }
    }
    std::fprintf(stderr, "%d soups abandoned as endless\n", abandoned);
    std::fflush(stderr);
    return failures;
}

} // namespace

// Random soups of Lisp words, syntax characters and bytes, evaluated with the primitives that
// reach the machine refused. Every one must end within a second and every step of the loop must
// consume input. VELORA_SOUP_DUMP=DIR keeps the soups that fail. It runs in a child process, since refusing primitives changes the runtime.
TEST(TopLevelDeathTest, RandomSoupsEndByThemselves)
{
    EXPECT_EXIT(_exit(runSoups() ? 1 : 0), testing::ExitedWithCode(0), "");
}
