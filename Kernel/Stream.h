// Kernel/Stream.h: the native byte-stream interface that the reader, the printer and the Lisp
// stream classes share, with streams over a file, a string and a memory handle.
#pragma once

#include "Kernel/Memory.h"
#include "Platform/Files/Files.h"

#include <cstdio>
#include <string>
#include <vector>

class NativeStream {
public:
    static constexpr int kEnd = -1;

    NativeStream();
    virtual ~NativeStream();
    NativeStream(const NativeStream&) = delete;
    NativeStream& operator=(const NativeStream&) = delete;
    virtual void seek(int64_t position) = 0;
    virtual int64_t position() = 0;
    virtual bool atEnd() { return peekByte() == kEnd; }
    virtual int readByte() = 0;  // kEnd at the end
    virtual int peekByte() = 0;
    virtual size_t readBlock(void* buffer, size_t count);
    virtual void advance(int64_t count) { seek(position() + count); }
    virtual int readCharacter() { return readByte(); }
    virtual int64_t length() = 0;
    virtual int64_t remaining() { return length() - position(); }
    virtual void writeByte(int byte) = 0;
    virtual void writeBlock(const void* data, size_t count);
    // Writes a block turning each carriage return into carriage return + line feed.
    virtual void writeBlockCrLf(const void* data, size_t count);
    // Writes text turning each carriage return into the host's line end.
    virtual void writeText(const void* data, size_t count) { writeBlock(data, count); }
    virtual void flush() {}
    virtual bool setLength(int64_t length) { return false; }
    virtual void close() {}

    // Lisp stream object the stream belongs to, if any (user macro characters run in its context).
    // The Stream Module marks it for every live native stream, except kernel objects, which mark
    // it themselves while their pointer is reachable (a root would keep them alive for ever).
    Value m_lispObject = kNil;

protected:
    // Kernel objects leave the list of streams whose Lisp object is a root.
    void leaveRoots();

private:
    friend class StreamRoots;
    NativeStream* m_previousRoot = nullptr;
    NativeStream* m_nextRoot = nullptr;
    bool m_isRoot = false;
};

// The file errors: a host code becomes the Lisp error with the culprit. 2 (not found) is 31,
// 17 (exists) 33, 24 (too many open files) 32 with nil, 28 (disk full) 46; any other code is 36
// with the code as culprit.
[[noreturn]] void raiseFileError(int code, Value culprit);
namespace FileErrorCode {
enum : int32_t { NotFound = 31, TooManyOpen = 32, Exists = 33, Other = 36, DiskFull = 46, NotAStream = 47 };
}

// Called before writing to the current output, at most every 100 ms: the event pump installs a
// function that pumps pending events when the event-block counter allows.
void setOutputEventPump(void (*pump)());
void pumpEventsForOutput();

// Output collected into a native string (format to t, the string conversion of Values).
class StringOutputStream final : public NativeStream {
public:
    void seek(int64_t p) override { m_position = static_cast<size_t>(p < 0 ? 0 : p); }
    int64_t position() override { return static_cast<int64_t>(m_position); }
    int readByte() override { return m_position < m_text.size() ? static_cast<uint8_t>(m_text[m_position++]) : kEnd; }
    int peekByte() override { return m_position < m_text.size() ? static_cast<uint8_t>(m_text[m_position]) : kEnd; }
    int64_t length() override { return static_cast<int64_t>(m_text.size()); }
    void writeByte(int byte) override;
    void writeBlock(const void* data, size_t count) override;
    const std::string& text() const { return m_text; }
    std::string& text() { return m_text; }

private:
    std::string m_text;
    size_t m_position = 0;
};

// Input from a copy of some bytes (a Lisp string, a file read whole, an --eval argument).
class StringInputStream final : public NativeStream {
public:
    explicit StringInputStream(std::string text) : m_text(std::move(text)) {}
    void seek(int64_t p) override { m_position = static_cast<size_t>(p < 0 ? 0 : (p > length() ? length() : p)); }
    int64_t position() override { return static_cast<int64_t>(m_position); }
    int readByte() override { return m_position < m_text.size() ? static_cast<uint8_t>(m_text[m_position++]) : kEnd; }
    int peekByte() override { return m_position < m_text.size() ? static_cast<uint8_t>(m_text[m_position]) : kEnd; }
    int64_t length() override { return static_cast<int64_t>(m_text.size()); }
    void writeByte(int) override {}

private:
    std::string m_text;
    size_t m_position = 0;
};

// A host stdio stream (standard output and error). Carriage returns become line feeds.
class StdioStream final : public NativeStream {
public:
    explicit StdioStream(FILE* file) : m_file(file) {}
    void seek(int64_t) override {}
    int64_t position() override { return 0; }
    int readByte() override { return kEnd; }
    int peekByte() override { return kEnd; }
    int64_t length() override { return 0; }
    void writeByte(int byte) override { std::fputc(byte == '\r' ? '\n' : byte, m_file); }
    void writeBlock(const void* data, size_t count) override;
    void flush() override { std::fflush(m_file); }

private:
    FILE* m_file;
};

extern NativeStream* gCurrentOutput;
NativeStream& standardOutput();
NativeStream& standardError();

// Makes a stream the current output for a scope.
class OutputRedirection {
public:
    explicit OutputRedirection(NativeStream& stream) : m_saved(gCurrentOutput) { gCurrentOutput = &stream; }
    ~OutputRedirection() { gCurrentOutput = m_saved; }
    OutputRedirection(const OutputRedirection&) = delete;
    OutputRedirection& operator=(const OutputRedirection&) = delete;

private:
    NativeStream* m_saved;
};

// A host file. Positions and lengths count from the origin, a byte offset into the file. Reads
// go through a buffer, and consecutive writes are gathered before they reach the host.
class FileStream final : public NativeStream {
public:
    enum class Mode {
        Read,            // an existing file, read only
        ReadWrite,       // an existing file, read and write
        Create,          // a new empty file (an existing one is emptied), read and write
        ReadWriteCreate, // an existing file, or a new empty one, read and write
    };
    // The open stream over a host path, or nullptr with error set to the host's code (2 not found,
    // 13 access denied, 17 exists, 21 a folder, 24 too many open files, 28 disk full, ...).
    static FileStream* open(const std::string& path, Mode mode, int& error);
    ~FileStream() override;

    void seek(int64_t position) override;
    int64_t position() override { return m_position; }
    bool atEnd() override { return peekByte() == kEnd; }
    int readByte() override;
    int peekByte() override;
    size_t readBlock(void* buffer, size_t count) override;
    int64_t length() override;
    // Writes raise error 46 (disk full) with the path when the host takes fewer bytes than given,
    // and error 36 on a stream opened for reading only.
    void writeByte(int byte) override;
    void writeBlock(const void* data, size_t count) override;
    void flush() override;
    bool setLength(int64_t length) override;
    void close() override;

    const std::string& path() const { return m_path; }
    bool writable() const { return m_file.writable(); }
    bool isOpen() const { return m_file.isOpen(); }
    int error() const { return m_error; }
    int64_t origin() const { return m_origin; }
    void setOrigin(int64_t origin);
    // The culprit of the errors raised (the Lisp path); the host path when not set.
    void setCulprit(const std::string& lispPath) { m_culprit = lispPath; }
    HostFile& hostFile() { return m_file; }
    // Writes out gathered bytes; false (error set) when the host refused them.
    bool writeOut();

private:
    FileStream(HostFile file, std::string path);
    [[noreturn]] void fail(int code);
    bool fill();

    HostFile m_file;
    std::string m_path;
    std::string m_culprit;
    int m_error = 0;
    int64_t m_origin = 0;
    int64_t m_position = 0;                  // relative to the origin
    std::vector<uint8_t> m_readBuffer;
    int64_t m_readStart = 0;                 // absolute offset of m_readBuffer[0]
    std::vector<uint8_t> m_writeBuffer;
    int64_t m_writeStart = 0;                // absolute offset of m_writeBuffer[0]
};

// The bytes of a memory handle of the handle manager. The handle's data may move between calls,
// so no host address is kept: every access asks the handle manager again. Writing past the end
// grows the handle (by 1024 bytes below 4096, by a quarter below 409604, by 102400 beyond) and
// the stream's length counts the bytes written; trim() cuts the handle to that length.
class HandleStream final : public NativeStream {
public:
    enum class Ownership { Borrowed, DisposeOnClose };
    // Reading streams see the handle's whole size; writing streams start empty.
    enum class Mode { Read, Write };
    HandleStream(Handle handle, Mode mode, Ownership ownership = Ownership::Borrowed);
    ~HandleStream() override;

    void seek(int64_t position) override;
    int64_t position() override { return m_position; }
    int readByte() override;
    int peekByte() override;
    size_t readBlock(void* buffer, size_t count) override;
    int64_t length() override { return m_length; }
    void writeByte(int byte) override;
    void writeBlock(const void* data, size_t count) override;
    bool setLength(int64_t length) override;
    void close() override;

    Handle handle() const { return m_handle; }
    // Cuts the handle to the written length and hands it over: the stream no longer disposes it.
    Handle release();
    void trim();

private:
    uint8_t* data(); // host address of the data, nullptr for an empty or dead handle
    void ensureCapacity(uint64_t size);

    Handle m_handle;
    Ownership m_ownership;
    int64_t m_position = 0;
    int64_t m_length = 0;
};
