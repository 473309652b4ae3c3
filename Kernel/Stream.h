// Kernel/Stream.h: the native byte-stream interface that the reader, the printer and the Lisp
// stream classes share, with streams over a file, a string and a memory handle.
#pragma once

#include "Kernel/Memory.h"

#include <cstdio>
#include <string>

class NativeStream {
public:
    static constexpr int kEnd = -1;

    virtual ~NativeStream() = default;
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
    virtual void setLength(int64_t length) {}
    virtual void close() {}

    // Lisp stream object the stream belongs to, if any (user macro characters run in its context).
    Value m_lispObject = kNil;
};

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
