// Kernel/StreamObject.h: the kernel objects of the Lisp stream classes.
//
// A stream object is the kernel object behind an instance of a stream class. Its Lisp stream
// object (m_lispObject) is the instance, so the reader runs user macro characters in that
// instance's context. Most classes hold a native stream and pass every operation on to it; until
// the instance is opened there is none, and the operations raise error 47.
#pragma once

#include "Kernel/KernelObject.h"

#include <memory>

class StreamObject : public KernelObject {
public:
    explicit StreamObject(Value instance) { m_lispObject = instance; }
    bool isKernelObject() const override { return true; }
    void markValues() override;
    void open() override;

    // Read the instance's slots and open the stream; called by open in the instance's context.
    virtual void openStream() {}
};

// A stream object that passes its operations on to the native stream it holds.
class ForwardingStreamObject : public StreamObject {
public:
    using StreamObject::StreamObject;

    void seek(int64_t position) override { stream().seek(position); }
    int64_t position() override { return stream().position(); }
    bool atEnd() override { return stream().atEnd(); }
    int readByte() override { return stream().readByte(); }
    int peekByte() override { return stream().peekByte(); }
    size_t readBlock(void* buffer, size_t count) override { return stream().readBlock(buffer, count); }
    void advance(int64_t count) override { stream().advance(count); }
    int readCharacter() override { return stream().readCharacter(); }
    int64_t length() override { return stream().length(); }
    int64_t remaining() override { return stream().remaining(); }
    void writeByte(int byte) override { stream().writeByte(byte); }
    void writeBlock(const void* data, size_t count) override { stream().writeBlock(data, count); }
    void writeBlockCrLf(const void* data, size_t count) override { stream().writeBlockCrLf(data, count); }
    void writeText(const void* data, size_t count) override { stream().writeText(data, count); }
    void flush() override { stream().flush(); }
    bool setLength(int64_t length) override { return stream().setLength(length); }
    void close() override
    {
        if (m_stream)
            m_stream->close();
    }

    bool isOpenStream() const { return m_stream != nullptr; }

protected:
    NativeStream& stream();
    std::unique_ptr<NativeStream> m_stream;
};

// The obj-file stream object is made by the file unit; the stream unit registers the methods that
// only files have on it.
class FileStream;
class FileStreamObject : public ForwardingStreamObject {
public:
    using ForwardingStreamObject::ForwardingStreamObject;
    bool isInputStream() const override { return true; }
    bool isOutputStream() const override { return true; }
    bool isFile() const override { return true; }
    virtual FileStream* fileStream() = 0; // nullptr until opened
};

// The Lisp stream object of a Value given as a stream: an instance (or class) of a stream class,
// or its "cpp object" pointer. nullptr for any other Value.
KernelObject* streamObjectOf(Value v);

// Declares a slot of a native class with its default, as defslot does.
void declareSlot(Value classValue, const char* name, Value initial);
