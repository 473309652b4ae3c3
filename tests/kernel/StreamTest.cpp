// tests/kernel/StreamTest.cpp: native streams over host files and memory handles.
#include "Support.h"

#include "Kernel/Stream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, removed at the end.
class TempFolder {
public:
    TempFolder()
    {
        m_path = fs::temp_directory_path() / ("velora-stream-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-"
                                              + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~TempFolder() { fs::remove_all(m_path); }
    std::string file(const char* name) const { return (m_path / name).string(); }
    std::string path() const { return m_path.string(); }

private:
    fs::path m_path;
};

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string readAll(NativeStream& in)
{
    std::string text;
    for (int c = in.readByte(); c != NativeStream::kEnd; c = in.readByte())
        text.push_back(static_cast<char>(c));
    return text;
}

} // namespace

TEST(FileStream, OpenModes)
{
    TempFolder folder;
    std::string existing = folder.file("existing.txt");
    writeFile(existing, "old");
    const struct { std::string path; FileStream::Mode mode; int error; std::string after; } cases[] = {
        { existing, FileStream::Mode::Read, 0, "old" },
        { existing, FileStream::Mode::ReadWrite, 0, "old" },
        { existing, FileStream::Mode::ReadWriteCreate, 0, "old" },
        { existing, FileStream::Mode::Create, 0, "" },
        { folder.file("missing.txt"), FileStream::Mode::Read, ENOENT, "" },
        { folder.file("missing.txt"), FileStream::Mode::ReadWrite, ENOENT, "" },
        { folder.file("new.txt"), FileStream::Mode::ReadWriteCreate, 0, "" },
        { folder.file("no/such/folder.txt"), FileStream::Mode::Create, ENOENT, "" },
        { folder.path(), FileStream::Mode::Read, EISDIR, "" },
    };
    for (auto& c : cases) {
        int error = -1;
        std::unique_ptr<FileStream> stream(FileStream::open(c.path, c.mode, error));
        EXPECT_EQ(error, c.error) << c.path;
        EXPECT_EQ(stream != nullptr, c.error == 0) << c.path;
        if (stream) {
            EXPECT_EQ(stream->writable(), c.mode != FileStream::Mode::Read);
            EXPECT_EQ(readAll(*stream), c.after) << c.path;
        }
    }
    EXPECT_TRUE(fs::exists(folder.file("new.txt")));
}

TEST(FileStream, ReadSeekAndLength)
{
    TempFolder folder;
    std::string path = folder.file("data.bin");
    writeFile(path, "hello, world");
    int error = 0;
    std::unique_ptr<FileStream> in(FileStream::open(path, FileStream::Mode::Read, error));
    ASSERT_TRUE(in);
    EXPECT_EQ(in->length(), 12);
    EXPECT_EQ(in->peekByte(), 'h');
    EXPECT_EQ(in->position(), 0);
    EXPECT_EQ(in->readByte(), 'h');
    in->advance(5);
    EXPECT_EQ(in->position(), 6);
    EXPECT_EQ(in->remaining(), 6);
    char block[16] = {};
    EXPECT_EQ(in->readBlock(block, sizeof block), 6u);
    EXPECT_STREQ(block, " world");
    EXPECT_TRUE(in->atEnd());
    EXPECT_EQ(in->readByte(), NativeStream::kEnd);
    in->seek(7);
    EXPECT_EQ(in->readCharacter(), 'w');
    in->setOrigin(7); // positions now count from byte 7
    EXPECT_EQ(in->position(), 0);
    EXPECT_EQ(in->length(), 5);
    EXPECT_EQ(readAll(*in), "world");
    // Writing to a stream opened for reading is refused with an error report.
    EXPECT_NE(reportOf([&] { in->writeByte('x'); }), "");
    EXPECT_FALSE(in->setLength(1));
    EXPECT_EQ(contents(path), "hello, world");
}

TEST(FileStream, WriteLineEndsAndSetLength)
{
    TempFolder folder;
    std::string path = folder.file("out.txt");
    int error = 0;
    std::unique_ptr<FileStream> out(FileStream::open(path, FileStream::Mode::Create, error));
    ASSERT_TRUE(out);
    out->writeBlock("ab", 2);
    out->writeByte('\r');
    out->writeBlockCrLf("c\rd\r", 4);
    out->flush();
    EXPECT_EQ(contents(path), "ab\rc\r\nd\r\n");
    EXPECT_EQ(out->length(), 9);
    out->seek(1);
    EXPECT_EQ(out->readByte(), 'b');
    out->writeByte('X'); // a write right after a read goes where the read stopped
    out->flush();
    EXPECT_EQ(contents(path), "abXc\r\nd\r\n");
    EXPECT_TRUE(out->setLength(4));
    EXPECT_EQ(out->length(), 4);
    EXPECT_TRUE(out->setLength(6));
    out->close();
    EXPECT_EQ(contents(path), std::string("abXc\0\0", 6));
    EXPECT_FALSE(out->isOpen());
    EXPECT_EQ(out->readByte(), NativeStream::kEnd);
    EXPECT_NE(reportOf([&] { out->writeByte('x'); }), "") << "a closed stream takes no writes";
}

TEST(FileStream, TheReaderReadsAFile)
{
    TempFolder folder;
    std::string path = folder.file("forms.lisp");
    writeFile(path, "(a b) ; comment\n\"text\" 42");
    int error = 0;
    std::unique_ptr<FileStream> in(FileStream::open(path, FileStream::Mode::Read, error));
    ASSERT_TRUE(in);
    std::string seen;
    while (!readerAtEnd(*in))
        seen += printedText(readValue(*in), PrintStyle::Write) + " ";
    EXPECT_EQ(seen, "(a b) \"text\" 42 ");
}

TEST(HandleStream, ReadsTheHandleBytes)
{
    const char text[] = "(1 2) x";
    Handle h = newHandle(sizeof text - 1);
    ASSERT_NE(h, 0u);
    std::memcpy(hostAddress(handleAddress(h)), text, sizeof text - 1);
    {
        HandleStream in(h, HandleStream::Mode::Read);
        EXPECT_EQ(in.length(), 7);
        EXPECT_EQ(printedText(readValue(in), PrintStyle::Write), "(1 2)");
        EXPECT_EQ(in.position(), 5);
        EXPECT_EQ(in.remaining(), 2);
        in.seek(100);
        EXPECT_EQ(in.position(), 7) << "seeks stay inside the data";
        in.seek(0);
        char block[4] = {};
        EXPECT_EQ(in.readBlock(block, 3), 3u);
        EXPECT_EQ(std::string(block, 3), "(1 ");
        // A handle shrunk behind the stream's back ends the input there.
        ASSERT_TRUE(setHandleSize(h, 4));
        EXPECT_EQ(in.readByte(), '2');
        EXPECT_EQ(in.readByte(), NativeStream::kEnd);
    }
    EXPECT_TRUE(isHandle(h)) << "a borrowed handle stays with its owner";
    disposeHandle(h);
    HandleStream dead(h, HandleStream::Mode::Read);
    EXPECT_EQ(dead.length(), 0);
    EXPECT_EQ(dead.readByte(), NativeStream::kEnd);
}

TEST(HandleStream, WritingGrowsTheHandle)
{
    const struct { size_t bytes; int32_t capacity; } cases[] = {
        { 1, 1024 },
        { 1024, 1024 },
        { 1025, 2048 },
        { 5000, 5120 },     // 1024 steps up to 4096, then one more
        { 6000, 6400 },     // 5120 grows by a quarter
    };
    for (auto& c : cases) {
        Handle h = newHandle(0);
        ASSERT_NE(h, 0u);
        HandleStream out(h, HandleStream::Mode::Write, HandleStream::Ownership::DisposeOnClose);
        std::string data(c.bytes, 'z');
        data[0] = 'a';
        out.writeBlock(data.data(), data.size());
        EXPECT_EQ(handleSize(h), c.capacity) << c.bytes;
        EXPECT_EQ(out.length(), static_cast<int64_t>(c.bytes));
        out.seek(0);
        EXPECT_EQ(out.readByte(), 'a');
        out.close();
        EXPECT_FALSE(isHandle(h)) << "disposed when closed";
    }
}

TEST(HandleStream, ReleaseTrimsAndHandsOver)
{
    Handle h = newHandle(0);
    Handle released = 0;
    {
        HandleStream out(h, HandleStream::Mode::Write, HandleStream::Ownership::DisposeOnClose);
        out.writeBlockCrLf("a\rb", 3);
        EXPECT_TRUE(out.setLength(6));
        EXPECT_EQ(out.length(), 6);
        out.seek(6);
        out.writeByte('!');
        released = out.release();
    }
    ASSERT_TRUE(isHandle(released));
    ASSERT_EQ(handleSize(released), 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(hostAddress(handleAddress(released))), 7), std::string("a\r\nb\0\0!", 7));
    disposeHandle(released);
}

TEST(StringOutputStream, WriteBlockCrLf)
{
    StringOutputStream out;
    out.writeBlockCrLf("\rx\r\ry", 5);
    EXPECT_EQ(out.text(), "\r\nx\r\n\r\ny");
}
