// tests/platform/FilesTest.cpp: the Windows-style namespace and the byte files of Platform/Files.
#include "Platform/Files/Files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A scratch folder under the temporary folder, removed with its contents at the end.
class Scratch {
public:
    Scratch()
    {
        std::string pattern = filesTemporaryFolder() + "/velora-files-XXXXXX";
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~Scratch()
    {
        if (!m_path.empty())
            std::system(("rm -rf '" + m_path + "'").c_str());
    }
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Restores the drive table read from the environment.
struct DriveTable {
    explicit DriveTable(const std::string& table) { filesSetDrives(table); }
    ~DriveTable() { filesSetDrives(std::getenv("VELORA_DRIVES") ? std::getenv("VELORA_DRIVES") : ""); }
};

} // namespace

TEST(Files, Cp1252RoundTripsEveryByte)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    std::string back;
    ASSERT_TRUE(utf8ToCp1252(cp1252ToUtf8(all), back));
    EXPECT_EQ(back, all);
    EXPECT_EQ(cp1252ToUtf8("\x80\xE9"), "\u20AC\u00E9");
}

TEST(Files, Utf8NamesOutsideCp1252AreRefused)
{
    const char* cases[] = {
        "\xE4\xB8\xAD",      // a CJK character
        "\xF0\x9F\x98\x80",  // an emoji
        "\xC3",              // cut short
        "\xC0\x80",          // overlong
        "\xE0\x80\xAF",      // overlong
        "\xFF",
    };
    std::string out;
    for (const char* text : cases)
        EXPECT_FALSE(utf8ToCp1252(text, out)) << text;
    ASSERT_TRUE(utf8ToCp1252("F\xC3\xA9vrier \xC5\x93", out));
    EXPECT_EQ(out, "F\xE9vrier \x9C");
}

TEST(Files, CaseFolding)
{
    EXPECT_TRUE(cp1252EqualIgnoringCase("ReadMe.TXT", "readme.txt"));
    EXPECT_TRUE(cp1252EqualIgnoringCase("\xC9T\xC9", "\xE9t\xE9"));  // ÉTÉ / été
    EXPECT_TRUE(cp1252EqualIgnoringCase("\x8A\x9F", "\x9A\xFF"));    // Š Ÿ / š ÿ
    EXPECT_FALSE(cp1252EqualIgnoringCase("\xD7", "\xF7"));           // × and ÷ are not a pair
    EXPECT_FALSE(cp1252EqualIgnoringCase("a", "ab"));
}

TEST(Files, DriveTable)
{
    DriveTable table("D:=/media/cdrom:cdrom;e:=/mnt/usb/:removable,F:=/srv/share:remote;bad;Q=/x;G:=relative");
    auto drives = filesDrives();
    ASSERT_EQ(drives.size(), 4u);
    EXPECT_EQ(drives[0].letter, 'C');
    EXPECT_EQ(drives[0].root, "/");
    EXPECT_EQ(drives[1].root, "/media/cdrom");
    EXPECT_EQ(drives[2].root, "/mnt/usb");
    EXPECT_EQ(filesDriveType('d'), DriveType::CdRom);
    EXPECT_EQ(filesDriveType('E'), DriveType::Removable);
    EXPECT_EQ(filesDriveType('F'), DriveType::Remote);
    EXPECT_EQ(filesDriveType('C'), DriveType::Fixed);
    EXPECT_EQ(filesDriveType('Z'), DriveType::NoRoot);
}

TEST(Files, HostPathMatchesCaseInsensitively)
{
    Scratch dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_EQ(filesCreateFolder(dir / "Data"), FileError::None);
    writeFile(dir / "Data/ReadMe.txt", "x");
    writeFile(dir / "Data/readme.TXT", "y"); // an exact match wins over a case-insensitive one
    writeFile(dir / "Data/F\xC3\xA9vrier", "z");
    DriveTable table("D:=" + dir.path());

    const struct { std::string lisp, host; } cases[] = {
        { "D:\\data\\README.TXT", dir / "Data/ReadMe.txt" },
        { "D:\\Data\\readme.TXT", dir / "Data/readme.TXT" },
        { "d:/DATA/f\xC9VRIER", dir / "Data/F\xC3\xA9vrier" },
        { "D:\\data\\missing\\Deeper", dir / "Data/missing/Deeper" },
        { "D:\\", dir.path() },
        { "C:\\", "/" },
    };
    for (auto& c : cases) {
        std::string host;
        ASSERT_EQ(filesHostPath(c.lisp, host), FileError::None) << c.lisp;
        EXPECT_EQ(host, c.host) << c.lisp;
    }
    std::string host;
    EXPECT_EQ(filesHostPath("Q:\\x", host), FileError::Invalid);
    EXPECT_EQ(filesHostPath(std::string("C:\\a\0b", 6), host), FileError::Invalid);
    EXPECT_EQ(filesHostPath("C:\\" + std::string(300, 'a'), host), FileError::NameTooLong);
}

TEST(Files, LispPathFromHostPath)
{
    DriveTable table("D:=/media/cdrom:cdrom;E:=/media/cdrom/inner");
    const struct { const char* host; const char* lisp; } cases[] = {
        { "/", "C:\\" },
        { "/tmp/x", "C:\\tmp\\x" },
        { "/tmp//x/", "C:\\tmp\\x" },
        { "/media/cdrom", "D:\\" },
        { "/media/cdrom/a/b", "D:\\a\\b" },
        { "/media/cdromx/a", "C:\\media\\cdromx\\a" },
        { "/media/cdrom/inner/z", "E:\\z" },
        { "/home/F\xC3\xA9vrier", "C:\\home\\F\xE9vrier" },
    };
    for (auto& c : cases) {
        std::string lisp;
        ASSERT_TRUE(filesLispPath(c.host, lisp)) << c.host;
        EXPECT_EQ(lisp, c.lisp) << c.host;
    }
    std::string lisp;
    EXPECT_FALSE(filesLispPath("relative", lisp));
    EXPECT_FALSE(filesLispPath("/tmp/\xE4\xB8\xAD", lisp));
}

TEST(Files, ReadWriteSizeAndErrors)
{
    Scratch dir;
    HostFile file;
    EXPECT_EQ(file.open(dir / "none", FileAccess::Read, FileCreate::Existing), FileError::NotFound);
    EXPECT_EQ(file.open(dir.path(), FileAccess::Read, FileCreate::Existing), FileError::IsFolder);
    ASSERT_EQ(file.open(dir / "a", FileAccess::ReadWrite, FileCreate::Exclusive), FileError::None);
    ASSERT_EQ(file.write(0, "hello", 5), FileError::None);
    ASSERT_EQ(file.write(10, "!", 1), FileError::None); // the gap reads as zero bytes
    uint64_t size = 0;
    ASSERT_EQ(file.size(size), FileError::None);
    EXPECT_EQ(size, 11u);
    char buffer[16] = {};
    size_t done = 0;
    ASSERT_EQ(file.read(3, buffer, sizeof buffer, done), FileError::None);
    EXPECT_EQ(done, 8u);
    EXPECT_EQ(std::string(buffer, done), std::string("lo\0\0\0\0\0!", 8));
    ASSERT_EQ(file.setSize(2), FileError::None);
    ASSERT_EQ(file.read(0, buffer, sizeof buffer, done), FileError::None);
    EXPECT_EQ(std::string(buffer, done), "he");
    EXPECT_EQ(file.sync(), FileError::None);
    EXPECT_EQ(file.close(), FileError::None);
    EXPECT_EQ(file.write(0, "x", 1), FileError::BadHandle);

    HostFile again;
    EXPECT_EQ(again.open(dir / "a", FileAccess::ReadWrite, FileCreate::Exclusive), FileError::Exists);
    ASSERT_EQ(again.open(dir / "a", FileAccess::Read, FileCreate::Existing), FileError::None);
    EXPECT_EQ(again.write(0, "x", 1), FileError::AccessDenied);
    EXPECT_EQ(again.setSize(0), FileError::AccessDenied);
    ASSERT_EQ(again.open(dir / "a", FileAccess::ReadWrite, FileCreate::Truncate), FileError::None);
    ASSERT_EQ(again.size(size), FileError::None);
    EXPECT_EQ(size, 0u);
}

TEST(Files, ExclusiveCreationNeverFollowsALink)
{
    Scratch dir;
    writeFile(dir / "target", "keep");
    ASSERT_EQ(filesMakeLink(dir / "target", dir / "link"), FileError::None);
    HostFile file;
    EXPECT_EQ(file.open(dir / "link", FileAccess::ReadWrite, FileCreate::Exclusive), FileError::Exists);
    std::string target;
    ASSERT_EQ(filesReadLink(dir / "link", target), FileError::None);
    EXPECT_EQ(target, dir / "target");
}

TEST(Files, LockIsExclusiveBetweenOpenFiles)
{
    Scratch dir;
    HostFile first, second;
    ASSERT_EQ(first.open(dir / "db", FileAccess::ReadWrite, FileCreate::IfMissing), FileError::None);
    ASSERT_EQ(second.open(dir / "db", FileAccess::ReadWrite, FileCreate::Existing), FileError::None);
    ASSERT_EQ(first.tryLock(), FileError::None);
    EXPECT_EQ(second.tryLock(), FileError::Busy);
    EXPECT_TRUE(filesIsLocked(dir / "db"));
    first.unlock();
    EXPECT_FALSE(filesIsLocked(dir / "db"));
    EXPECT_EQ(second.tryLock(), FileError::None);
    second.close();
    EXPECT_EQ(first.tryLock(), FileError::None);
}

TEST(Files, RenameRemoveAndReplace)
{
    Scratch dir;
    writeFile(dir / "a", "A");
    writeFile(dir / "b", "B");
    EXPECT_EQ(filesRename(dir / "a", dir / "b"), FileError::Exists);
    EXPECT_EQ(filesRename(dir / "missing", dir / "c"), FileError::NotFound);
    ASSERT_EQ(filesRename(dir / "a", dir / "c"), FileError::None);
    ASSERT_EQ(filesReplace(dir / "c", dir / "b"), FileError::None);
    EXPECT_FALSE(filesIsFile(dir / "c"));
    std::ifstream in(dir / "b");
    std::string text;
    in >> text;
    EXPECT_EQ(text, "A");
    EXPECT_EQ(filesRemove(dir / "b"), FileError::None);
    EXPECT_EQ(filesRemove(dir / "b"), FileError::NotFound);
    ASSERT_EQ(filesCreateFolder(dir / "sub"), FileError::None);
    EXPECT_EQ(filesCreateFolder(dir / "sub"), FileError::Exists);
    EXPECT_EQ(filesRemove(dir / "sub"), FileError::IsFolder);
    writeFile(dir / "sub/x", "");
    EXPECT_EQ(filesRemoveFolder(dir / "sub"), FileError::NotEmpty);
}

TEST(Files, ListingLeavesOutUnconvertibleNames)
{
    Scratch dir;
    writeFile(dir / "b.txt", "");
    writeFile(dir / "\xE4\xB8\xAD.txt", "");
    writeFile(dir / "\xC3\xA9t\xC3\xA9", "");
    ASSERT_EQ(filesCreateFolder(dir / "a"), FileError::None);
    std::vector<FolderEntry> entries;
    ASSERT_EQ(filesList(dir.path(), entries), FileError::None);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "a");
    EXPECT_TRUE(entries[0].isFolder);
    EXPECT_EQ(entries[1].name, "b.txt");
    EXPECT_EQ(entries[2].name, "\xE9t\xE9");
    EXPECT_EQ(filesList(dir / "b.txt", entries), FileError::NotFolder);
}

TEST(Files, TemporaryFilesAreExclusivePrivateAndLocked)
{
    Scratch dir;
    writeFile(dir / "velora1.tmp", "someone else's");
    ASSERT_EQ(filesMakeLink(dir / "elsewhere", dir / "velora2.tmp"), FileError::None);
    HostFile file;
    std::string path;
    ASSERT_EQ(filesCreateTemporary(dir.path(), "velora", ".tmp", file, path), FileError::None);
    EXPECT_EQ(path, dir / "velora3.tmp");
    EXPECT_FALSE(filesIsFile(dir / "elsewhere")); // the link was not followed
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(filesIsLocked(path));
    EXPECT_FALSE(filesIsLocked(dir / "velora1.tmp"));
    file.close();
    EXPECT_FALSE(filesIsLocked(path));
}

TEST(Files, TimesAndAttributes)
{
    Scratch dir;
    writeFile(dir / "f", "abc");
    const int64_t when = int64_t(1700000000) * 1000000000 + 5;
    ASSERT_EQ(filesSetTimes(dir / "f", when, when), FileError::None);
    FileInfo info;
    ASSERT_EQ(filesInfo(dir / "f", info), FileError::None);
    EXPECT_EQ(info.modificationTime, when);
    EXPECT_EQ(info.size, 3u);
    EXPECT_FALSE(info.isFolder);
    EXPECT_FALSE(info.readOnly);
    ASSERT_EQ(filesSetReadOnly(dir / "f", true), FileError::None);
    ASSERT_EQ(filesInfo(dir / "f", info), FileError::None);
    EXPECT_TRUE(info.readOnly);
    ASSERT_EQ(filesSetReadOnly(dir / "f", false), FileError::None);
    ASSERT_EQ(filesInfo(dir / "f", info), FileError::None);
    EXPECT_FALSE(info.readOnly);
    writeFile(dir / ".dot", "");
    ASSERT_EQ(filesInfo(dir / ".dot", info), FileError::None);
    EXPECT_TRUE(info.hidden);
    EXPECT_EQ(filesInfo(dir / "none", info), FileError::NotFound);
    uint64_t free = 0;
    EXPECT_EQ(filesVolumeFreeBytes(dir.path(), free), FileError::None);
}

TEST(Files, CopyRange)
{
    Scratch dir;
    std::string data(3 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 251);
    writeFile(dir / "src", data);
    HostFile from, to;
    ASSERT_EQ(from.open(dir / "src", FileAccess::Read, FileCreate::Existing), FileError::None);
    ASSERT_EQ(to.open(dir / "dst", FileAccess::ReadWrite, FileCreate::Truncate), FileError::None);
    uint64_t done = 0;
    ASSERT_EQ(filesCopyRange(from, 100, to, 0, UINT64_MAX, done), FileError::None);
    EXPECT_EQ(done, data.size() - 100);
    std::string back(data.size(), '\0');
    size_t got = 0;
    ASSERT_EQ(to.read(0, back.data(), back.size(), got), FileError::None);
    back.resize(got);
    EXPECT_EQ(back, data.substr(100));
    EXPECT_EQ(filesCopyRange(to, 0, from, 0, 10, done), FileError::AccessDenied);
}

TEST(Files, SpecialFoldersFollowTheEnvironment)
{
    setenv("VELORA_DESKTOP_DIR", "/somewhere/desk", 1);
    setenv("XDG_DATA_HOME", "/xdg/data", 1);
    unsetenv("VELORA_PROGRAMS_DIR");
    EXPECT_EQ(filesSpecialFolder(SpecialFolder::Desktop), "/somewhere/desk");
    EXPECT_EQ(filesSpecialFolder(SpecialFolder::ProgramFiles), "/xdg/data/velora/Programs");
    EXPECT_EQ(filesSpecialFolder(SpecialFolder::ProgramMenu), "/xdg/data/velora/Start Menu/Programs");
    unsetenv("VELORA_DESKTOP_DIR");
    unsetenv("XDG_DATA_HOME");
}
