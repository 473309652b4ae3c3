// tests/shell/ApplTest.cpp: the messages the runtime sends to the application object Appl.
#include "Interfac/VAppl.h"
#include "tests/kernel/Support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// An application class that records each message it gets, newest first, in Appl-Log.
const char* const kRecorder = R"(
(define Appl-Log nil)
(define Recorder (new-class 'Recorder))
(Recorder (define (open-file _path _type) (set! Appl-Log (cons (list 'open-file _path _type) Appl-Log))))
(Recorder (define (open-folder _path) (set! Appl-Log (cons (list 'open-folder _path) Appl-Log))))
(Recorder (define (print-file _path _type) (set! Appl-Log (cons (list 'print-file _path _type) Appl-Log))))
(Recorder (define (start-appl) (set! Appl-Log (cons 'start-appl Appl-Log))))
(Recorder (define (resume) (set! Appl-Log (cons 'resume Appl-Log))))
(Recorder (define (suspend) (set! Appl-Log (cons 'suspend Appl-Log))))
(Recorder (define creator "LORN"))
(set! Appl (make-instance Recorder))
)";

class Appl : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/velora-appl-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        std::ofstream(m_folder + "/Read Me.txt") << "text";
        evalText(kRecorder);
    }
    void TearDown() override
    {
        evalText("(set! Appl nil)");
        std::string command = "rm -rf '" + m_folder + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    // The native path Lisp sees for a host path (C: is the host's root).
    std::string native(const std::string& name) const
    {
        std::string path = "C:" + m_folder + "/" + name;
        for (char& c : path)
            if (c == '/')
                c = '\\';
        return path;
    }
    static std::string log() { return evalText("Appl-Log"); }
    std::string m_folder;
};

} // namespace

TEST_F(Appl, DocumentRequestsBecomeMessages)
{
    EXPECT_TRUE(applOpenDocument(native("Read Me.txt"), false));
    EXPECT_TRUE(applOpenDocument(native("read me.TXT"), true)) << "names are matched ignoring case";
    EXPECT_TRUE(applOpenDocument(native(""), false)) << "the folder itself";
    EXPECT_FALSE(applOpenDocument(native("missing.txt"), false));
    EXPECT_FALSE(applOpenDocument(native(""), true)) << "a folder is not printed";
    std::string folder = evalText("(pathname-name (cadr (car Appl-Log)))");
    EXPECT_EQ(evalText("(map car Appl-Log)"), "(open-folder print-file open-file)");
    EXPECT_EQ(evalText("(caddr (cadr Appl-Log))"), "TEXT") << "the type of a .txt file";
    EXPECT_EQ(evalText("(pathname-name (cadr (caddr Appl-Log)))"), "Read Me.txt");
}

TEST_F(Appl, ShellCommandsNameDocuments)
{
    std::string command = "[open(\"" + native("Read Me.txt") + "\")][print(\"" + native("Read Me.txt")
        + "\")][open(\"" + native("missing") + "\")][bogus(\"x\")][open(\"unterminated";
    EXPECT_EQ(applShellCommand(command), 2);
    EXPECT_EQ(evalText("(map car Appl-Log)"), "(print-file open-file)");
}

TEST_F(Appl, StartActivationAndCreator)
{
    applStart();
    applStart();
    applActivate(true);
    applActivate(false);
    EXPECT_EQ(log(), "(suspend resume start-appl)") << "start-appl goes once";
    EXPECT_EQ(printedText(applCreator(), PrintStyle::Print), "LORN");
    evalText("(set! Appl nil)");
    EXPECT_EQ(applCreator(), kNil);
    EXPECT_FALSE(applOpenDocument(native("Read Me.txt"), false)) << "nothing is sent while Appl is nil";
}
