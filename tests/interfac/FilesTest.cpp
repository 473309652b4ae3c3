// tests/interfac/FilesTest.cpp: the headless file dialogs and the start-up clean-up of temporary
// files.
#include "tests/kernel/Support.h"

#include "Interfac/FileGUI.h"
#include "Platform/Files/Files.h"
#include "Platform/Host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

class Scratch {
public:
    Scratch()
    {
        std::string pattern = filesTemporaryFolder() + "/velora-dialogs-XXXXXX";
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~Scratch() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

std::string lispPath(const std::string& host)
{
    std::string lisp;
    EXPECT_TRUE(filesLispPath(host, lisp));
    return lisp;
}

// The Lisp string literal of a text with backslashes.
std::string literal(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

TEST(FileDialogs, AnswersComeFromTheReplayQueue)
{
    Scratch dir;
    std::ofstream(dir / "a.txt") << "text";
    std::string folder = lispPath(dir.path());
    clearReplayAnswers();
    evalText("(define Chosen 'none)"
             "(define (choose-file _types) (catch 'cancel (velora-choose-file (lambda (_p) (set! Chosen _p))"
             "  _types nil \"Open\" \"*.*\" \"All files\" nil nil) 'returned))");
    const struct { std::string answer, types, result, chosen; } cases[] = {
        { "", "nil", "()", "none" },                                            // no answer: cancel
        { dir / "a.txt", "nil", "returned", "(" },                              // a host path
        { lispPath(dir / "A.TXT"), "'(\"JPEG\" \"TEXT\")", "returned", "(" },  // a Lisp path, a good type
        { dir / "a.txt", "\"JPEG\"", "returned", "none" },                      // a wrong type: not called
        { "Cancel", "nil", "()", "none" },                                       // a button
        { dir / "missing.txt", "nil", "()", "none" },                           // no such file
        { dir.path(), "nil", "()", "none" },                                    // a folder is no file
    };
    for (auto& c : cases) {
        evalText("(set! Chosen 'none)");
        if (!c.answer.empty())
            queueReplayAnswer(c.answer);
        std::string result;
        EXPECT_EQ(reportOf([&] { result = evalText("(choose-file " + c.types + ")"); }), "") << c.answer;
        EXPECT_EQ(result, c.result) << c.answer;
        EXPECT_EQ(evalText("Chosen").substr(0, c.chosen.size()), c.chosen) << c.answer;
        if (c.chosen == "(")
            EXPECT_EQ(evalText("(pathname=? Chosen " + literal(lispPath(dir / "a.txt")) + ")"), "t") << c.answer;
    }

    queueReplayAnswer(lispPath(dir / "new.txt"));
    EXPECT_EQ(evalText("(catch 'cancel (velora-choose-new-file (lambda (_p) (set! Chosen _p)) \"Save\" \"new.txt\" "
                       "\"*.txt\" \"Text\" nil) 'saved)"),
              "saved");
    EXPECT_EQ(evalText("(pathname-name Chosen)"), "new.txt");

    queueReplayAnswer(dir / "a.txt");
    EXPECT_EQ(evalText("(catch 'cancel (velora-choose-directory (lambda (_p) (set! Chosen _p)) nil) 'chosen)"), "()")
        << "a file answers no folder dialog";
    queueReplayAnswer(dir.path());
    EXPECT_EQ(evalText("(catch 'cancel (velora-choose-directory (lambda (_p) (set! Chosen _p)) nil) 'chosen)"), "chosen");
    EXPECT_EQ(evalText("(velora->os Chosen)"), folder);
    std::string left;
    EXPECT_FALSE(takeReplayAnswer(left)) << "every dialog took one answer";
}

// A run deletes the stale velora*.tmp files of the temporary folder at start-up, and leaves those
// another instance holds (locked) or may be about to lock (changed in the last seconds).
TEST(TemporaryFiles, StartUpCleanUpSkipsFilesInUse)
{
    Scratch dir;
    const int64_t old = int64_t(1600000000) * 1000000000;
    for (const char* name : { "velora5.tmp", "velora6.tmp", "velora7.tmp", "other.tmp", "velora8.txt" }) {
        std::ofstream(dir / name) << "x";
        if (std::string(name) != "velora7.tmp")
            ASSERT_EQ(filesSetTimes(dir / name, old, old), FileError::None);
    }
    HostFile inUse;
    ASSERT_EQ(inUse.open(dir / "velora6.tmp", FileAccess::ReadWrite, FileCreate::Existing), FileError::None);
    ASSERT_EQ(inUse.tryLock(), FileError::None);

    std::string executable = hostExecutablePath();
    std::string velora = executable.substr(0, executable.rfind('/')) + "/../velora";
    ASSERT_TRUE(filesIsFile(velora)) << velora;
    std::string command = "TMPDIR='" + dir.path() + "' '" + velora + "' --eval 1 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);

    EXPECT_FALSE(filesIsFile(dir / "velora5.tmp")) << "stale";
    EXPECT_TRUE(filesIsFile(dir / "velora6.tmp")) << "locked by a running instance";
    EXPECT_TRUE(filesIsFile(dir / "velora7.tmp")) << "just made";
    EXPECT_TRUE(filesIsFile(dir / "other.tmp"));
    EXPECT_TRUE(filesIsFile(dir / "velora8.txt"));
}
