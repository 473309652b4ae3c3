// tests/shell/ShellTest.cpp: programs, documents, menu entries and the registry on the host, each
// test in a scratch folder of its own.
#include "Platform/Files/Files.h"
#include "Platform/Shell/Shell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

class ShellTest : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/velora-shell-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        setenv("VELORA_APPDATA_DIR", m_folder.c_str(), 1);
        setenv("XDG_DATA_HOME", m_folder.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("VELORA_APPDATA_DIR");
        unsetenv("XDG_DATA_HOME");
        unsetenv("VELORA_OPENER");
        std::string command = "rm -rf '" + m_folder + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    std::string write(const std::string& name, const std::string& text, mode_t mode = 0644)
    {
        std::string path = m_folder + "/" + name;
        std::ofstream(path) << text;
        chmod(path.c_str(), mode);
        return path;
    }
    static std::string read(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string m_folder;
};

template <typename Condition> bool waitFor(Condition condition)
{
    for (int i = 0; i < 500; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST_F(ShellTest, RegistryKeepsDefaultValuesOfKeys)
{
    std::string value;
    EXPECT_FALSE(shellRegistryGet(".lor", value)) << "an empty registry";
    ASSERT_TRUE(shellRegistrySet(".lor", "LorinDocument"));
    ASSERT_TRUE(shellRegistrySet("LorinDocument\\shell\\open\\command", "C:\\Lorin\\LORIN.exe \"%1\""));
    ASSERT_TRUE(shellRegistrySet("Tabs", "a\tb\nc\\d"));
    const struct {
        const char* key;
        const char* value; // nullptr: no value
    } cases[] = {
        { ".lor", "LorinDocument" },
        { ".LOR", "LorinDocument" },        // letter case is ignored
        { "\\.lor\\", "LorinDocument" },    // outer separators too
        { "lorindocument\\SHELL\\open\\command", "C:\\Lorin\\LORIN.exe \"%1\"" },
        { "LorinDocument\\shell", nullptr }, // a key with only keys below it has no value
        { "Tabs", "a\tb\nc\\d" },
        { ".lo", nullptr },
    };
    for (auto& c : cases) {
        bool found = shellRegistryGet(c.key, value);
        EXPECT_EQ(found, c.value != nullptr) << c.key;
        if (found && c.value)
            EXPECT_EQ(value, c.value) << c.key;
    }
    // A second set replaces the value; the file holds one line per key.
    ASSERT_TRUE(shellRegistrySet(".LOR", "Other"));
    ASSERT_TRUE(shellRegistryGet(".lor", value));
    EXPECT_EQ(value, "Other");
    std::string text = read(shellRegistryPath());
    EXPECT_EQ(text.find(".LOR"), std::string::npos) << "the key keeps the spelling it was first given";
    // Deleting a key deletes the keys below it; a missing key is no success.
    EXPECT_TRUE(shellRegistryDelete("LORINDOCUMENT"));
    EXPECT_FALSE(shellRegistryGet("LorinDocument\\shell\\open\\command", value));
    EXPECT_FALSE(shellRegistryDelete("LorinDocument"));
    EXPECT_TRUE(shellRegistryGet(".lor", value));
}

TEST_F(ShellTest, DamagedRegistryLinesArePassedOver)
{
    ASSERT_TRUE(shellRegistrySet("good", "1"));
    std::string path = shellRegistryPath();
    std::string text = read(path) + "no tab here\nbad\\q\tescape\n\tempty key\nalso\tgood\n";
    std::ofstream(path, std::ios::trunc) << text;
    std::string value;
    EXPECT_TRUE(shellRegistryGet("good", value));
    EXPECT_TRUE(shellRegistryGet("also", value));
    EXPECT_EQ(value, "good");
    EXPECT_FALSE(shellRegistryGet("no tab here", value));
    // The next write keeps what could be read and drops the rest.
    ASSERT_TRUE(shellRegistrySet("new", "2"));
    EXPECT_EQ(read(path), "velora registry 1\ngood\t1\nalso\tgood\nnew\t2\n");
}

TEST_F(ShellTest, StartedProgramsRunUntilTheyExit)
{
    std::string marker = m_folder + "/ran";
    std::string program = write("program", "#!/bin/sh\ntouch '" + marker + "'\nsleep 0.3\n", 0755);
    StartedProgram started;
    ASSERT_TRUE(shellStartProgram(program, started));
    EXPECT_GT(started.handle, 0);
    EXPECT_GT(started.pid, 0);
    EXPECT_TRUE(shellProgramRunning(started.handle));
    EXPECT_TRUE(waitFor([&] { return !shellProgramRunning(started.handle); }));
    EXPECT_TRUE(filesIsFile(marker));
    EXPECT_FALSE(shellProgramRunning(started.handle)) << "an ended program stays ended";
    EXPECT_FALSE(shellProgramRunning(0));
    EXPECT_FALSE(shellProgramRunning(started.handle + 100));

    StartedProgram none;
    EXPECT_FALSE(shellStartProgram(m_folder + "/missing", none));
    EXPECT_FALSE(shellStartProgram(write("not-executable", "#!/bin/sh\n", 0644), none));
}

TEST_F(ShellTest, DocumentsOpenWithTheOpenerAndNoShell)
{
    std::string log = m_folder + "/opened";
    std::string opener = write("opener", "#!/bin/sh\nprintf '%s|' \"$#\" \"$1\" > '" + log + "'\n", 0755);
    setenv("VELORA_OPENER", opener.c_str(), 1);
    std::string document = m_folder + "/a doc; $(touch " + m_folder + "/injected).txt";
    ASSERT_TRUE(shellOpenDocument(document));
    EXPECT_TRUE(waitFor([&] { return filesIsFile(log) && !read(log).empty(); }));
    EXPECT_EQ(read(log), "1|" + document + "|") << "the path is one argument, as it is";
    EXPECT_FALSE(filesIsFile(m_folder + "/injected"));
    EXPECT_FALSE(shellOpenDocument("-e"));
    EXPECT_FALSE(shellOpenDocument(""));
}

TEST_F(ShellTest, MenuEntriesShowProgramItems)
{
    std::string program = write("Lorin", "#!/bin/sh\n", 0755);
    ASSERT_TRUE(shellWriteMenuEntry("Lorin", "Lorin \xE9t\xE9", program));
    std::string path = shellMenuEntryPath("Lorin", "Lorin \xE9t\xE9");
    EXPECT_EQ(path.rfind(m_folder + "/applications/velora-", 0), 0u) << path;
    std::string text = read(path);
    EXPECT_NE(text.find("Name=Lorin \xC3\xA9t\xC3\xA9\n"), std::string::npos) << "names are UTF-8 on disk";
    EXPECT_NE(text.find("Exec=\"" + program + "\"\n"), std::string::npos) << text;
    std::string document = write("read me.txt", "text");
    ASSERT_TRUE(shellWriteMenuEntry("Lorin", "Read me", document));
    EXPECT_NE(read(shellMenuEntryPath("Lorin", "Read me")).find("Exec=xdg-open \"" + document + "\""),
        std::string::npos);
    EXPECT_TRUE(shellRemoveMenuEntry("Lorin", "Lorin \xE9t\xE9"));
    EXPECT_FALSE(filesIsFile(path));
    EXPECT_FALSE(shellRemoveMenuEntry("Lorin", "Lorin \xE9t\xE9"));
}
