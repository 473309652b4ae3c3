// Kernel/Stream.cpp: the Stream Module and the native streams every unit shares.
#include "Kernel/Stream.h"

#include "Kernel/Charsets.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Number.h"
#include "Kernel/Object.h"
#include "Kernel/Reader.h"
#include "Kernel/StreamArgument.h"
#include "Kernel/StreamObject.h"
#include "Kernel/Symbol.h"
#include "Kernel/Module.h"
#include "Kernel/Recycle.h"

#include "Platform/Host.h"

#include <algorithm>
#include <cstring>
#include <new>

// ---- The native streams whose Lisp object is a root ----

class StreamRoots {
public:
    static NativeStream*& head()
    {
        static NativeStream* first = nullptr;
        return first;
    }
    static void add(NativeStream* s)
    {
        s->m_nextRoot = head();
        if (head())
            head()->m_previousRoot = s;
        head() = s;
        s->m_isRoot = true;
    }
    static void remove(NativeStream* s)
    {
        if (!s->m_isRoot)
            return;
        if (s->m_previousRoot)
            s->m_previousRoot->m_nextRoot = s->m_nextRoot;
        else
            head() = s->m_nextRoot;
        if (s->m_nextRoot)
            s->m_nextRoot->m_previousRoot = s->m_previousRoot;
        s->m_previousRoot = s->m_nextRoot = nullptr;
        s->m_isRoot = false;
    }
    static void markAll()
    {
        for (NativeStream* s = head(); s; s = s->m_nextRoot)
            mark(s->m_lispObject);
    }
};

NativeStream::NativeStream() { StreamRoots::add(this); }
NativeStream::~NativeStream() { StreamRoots::remove(this); }
void NativeStream::leaveRoots() { StreamRoots::remove(this); }

void raiseFileError(int code, Value culprit)
{
    switch (code) {
    case 2: raiseError(FileErrorCode::NotFound, culprit);
    case 17: raiseError(FileErrorCode::Exists, culprit);
    case 24: raiseError(FileErrorCode::TooManyOpen, kNil);
    case 28: raiseError(FileErrorCode::DiskFull, culprit);
    default: raiseError(FileErrorCode::Other, makeInteger(code));
    }
}

namespace {
void (*gOutputEventPump)() = nullptr;
uint64_t gLastOutputPump = 0;
} // namespace

void setOutputEventPump(void (*pump)()) { gOutputEventPump = pump; }

void pumpEventsForOutput()
{
    if (!gOutputEventPump)
        return;
    uint64_t now = hostMilliseconds();
    if (now - gLastOutputPump <= 100)
        return;
    gLastOutputPump = now;
    gOutputEventPump();
}

size_t NativeStream::readBlock(void* buffer, size_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    size_t n = 0;
    for (; n < count; ++n) {
        int b = readByte();
        if (b == kEnd)
            break;
        out[n] = static_cast<uint8_t>(b);
    }
    return n;
}

void NativeStream::writeBlock(const void* data, size_t count)
{
    auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < count; ++i)
        writeByte(bytes[i]);
}

void NativeStream::writeBlockCrLf(const void* data, size_t count)
{
    static const uint8_t kCrLf[2] = { 0x0D, 0x0A };
    auto* bytes = static_cast<const uint8_t*>(data);
    size_t start = 0;
    for (size_t i = 0; i < count; ++i)
        if (bytes[i] == 0x0D) {
            writeBlock(bytes + start, i - start);
            writeBlock(kCrLf, 2);
            start = i + 1;
        }
    writeBlock(bytes + start, count - start);
}

namespace {
// Text collected in native memory is bounded: printing a huge or endless value must end in an
// error report, not in the host running out of memory.
constexpr size_t kMaxCollectedText = 64u << 20;

void checkCollectedSize(size_t size)
{
    if (size > kMaxCollectedText)
        raiseError(ErrorCode::MemoryExhausted, kNil);
}
} // namespace

void StringOutputStream::writeByte(int byte)
{
    checkCollectedSize(m_position + 1);
    if (m_position == m_text.size())
        m_text.push_back(static_cast<char>(byte));
    else
        m_text[m_position] = static_cast<char>(byte);
    ++m_position;
}

void StringOutputStream::writeBlock(const void* data, size_t count)
{
    checkCollectedSize(m_position + count);
    if (m_position == m_text.size()) {
        m_text.append(static_cast<const char*>(data), count);
        m_position += count;
        return;
    }
    NativeStream::writeBlock(data, count);
}

void StdioStream::writeBlock(const void* data, size_t count)
{
    auto* bytes = static_cast<const char*>(data);
    for (size_t i = 0; i < count; ++i)
        std::fputc(bytes[i] == '\r' ? '\n' : bytes[i], m_file);
}

NativeStream& standardOutput()
{
    static StdioStream out(stdout);
    return out;
}

NativeStream& standardError()
{
    static StdioStream err(stderr);
    return err;
}

NativeStream* gCurrentOutput = &standardOutput();

// ---- FileStream ----

namespace {
constexpr size_t kReadBufferSize = 64 * 1024;
constexpr size_t kWriteBufferSize = 64 * 1024;
} // namespace

FileStream::FileStream(HostFile file, std::string path)
    : m_file(std::move(file))
    , m_path(std::move(path))
{
}

FileStream* FileStream::open(const std::string& path, Mode mode, int& error)
{
    error = 0;
    static const struct { FileAccess access; FileCreate create; } kModes[] = {
        { FileAccess::Read, FileCreate::Existing },
        { FileAccess::ReadWrite, FileCreate::Existing },
        { FileAccess::ReadWrite, FileCreate::Truncate },
        { FileAccess::ReadWrite, FileCreate::IfMissing },
    };
    auto& how = kModes[static_cast<int>(mode)];
    HostFile file;
    if (FileError e = file.open(path, how.access, how.create); failed(e)) {
        error = static_cast<int>(e);
        return nullptr;
    }
    auto* stream = new (std::nothrow) FileStream(std::move(file), path);
    if (!stream)
        error = static_cast<int>(FileError::NoMemory);
    return stream;
}

FileStream::~FileStream()
{
    // A failure here has no one to report to; close() reports it when called first.
    writeOut();
}

void FileStream::fail(int code)
{
    m_error = code;
    raiseFileError(code, makeString(m_culprit.empty() ? m_path : m_culprit));
}

void FileStream::setOrigin(int64_t origin)
{
    writeOut();
    m_origin = std::max<int64_t>(origin, 0);
    m_readBuffer.clear();
    m_position = 0;
}

void FileStream::seek(int64_t position) { m_position = std::max<int64_t>(position, 0); }

bool FileStream::writeOut()
{
    if (m_writeBuffer.empty())
        return true;
    FileError e = m_file.write(uint64_t(m_writeStart), m_writeBuffer.data(), m_writeBuffer.size());
    m_writeBuffer.clear();
    if (failed(e)) {
        m_error = static_cast<int>(e);
        return false;
    }
    return true;
}

// Loads the read buffer at the current position; false at the end of the file.
bool FileStream::fill()
{
    if (!m_file.isOpen())
        return false;
    if (!writeOut())
        fail(m_error);
    m_readBuffer.resize(kReadBufferSize);
    size_t got = 0;
    m_readStart = m_origin + m_position;
    if (FileError e = m_file.read(uint64_t(m_readStart), m_readBuffer.data(), m_readBuffer.size(), got); failed(e)) {
        m_readBuffer.clear();
        fail(static_cast<int>(e));
    }
    m_readBuffer.resize(got);
    return got > 0;
}

int FileStream::peekByte()
{
    int64_t at = m_origin + m_position;
    if (!m_writeBuffer.empty() || at < m_readStart || at >= m_readStart + int64_t(m_readBuffer.size()))
        if (!fill())
            return kEnd;
    return m_readBuffer[size_t(at - m_readStart)];
}

int FileStream::readByte()
{
    int c = peekByte();
    if (c != kEnd)
        ++m_position;
    return c;
}

size_t FileStream::readBlock(void* buffer, size_t count)
{
    if (!m_file.isOpen() || count == 0)
        return 0;
    if (!writeOut())
        fail(m_error);
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    int64_t at = m_origin + m_position;
    // What the read buffer already holds first.
    if (at >= m_readStart && at < m_readStart + int64_t(m_readBuffer.size())) {
        size_t n = std::min(count, size_t(m_readStart + int64_t(m_readBuffer.size()) - at));
        std::memcpy(out, m_readBuffer.data() + (at - m_readStart), n);
        done = n;
    }
    if (done < count) {
        size_t got = 0;
        if (FileError e = m_file.read(uint64_t(at + int64_t(done)), out + done, count - done, got); failed(e))
            fail(static_cast<int>(e));
        done += got;
    }
    m_position += int64_t(done);
    return done;
}

int64_t FileStream::length()
{
    if (!m_file.isOpen())
        return 0;
    uint64_t size = 0;
    if (FileError e = m_file.size(size); failed(e))
        fail(static_cast<int>(e));
    int64_t end = int64_t(size);
    if (!m_writeBuffer.empty())
        end = std::max<int64_t>(end, m_writeStart + int64_t(m_writeBuffer.size()));
    return end < m_origin ? 0 : end - m_origin;
}

void FileStream::writeByte(int byte)
{
    uint8_t b = static_cast<uint8_t>(byte);
    writeBlock(&b, 1);
}

void FileStream::writeBlock(const void* data, size_t count)
{
    if (!m_file.isOpen() || !m_file.writable())
        fail(static_cast<int>(FileError::AccessDenied));
    if (count == 0)
        return;
    int64_t at = m_origin + m_position;
    m_readBuffer.clear();
    m_readStart = 0;
    if (!m_writeBuffer.empty() && at != m_writeStart + int64_t(m_writeBuffer.size()))
        if (!writeOut())
            fail(m_error);
    if (m_writeBuffer.size() + count > kWriteBufferSize) {
        if (!writeOut())
            fail(m_error);
        if (count >= kWriteBufferSize) {
            if (FileError e = m_file.write(uint64_t(at), data, count); failed(e))
                fail(static_cast<int>(e));
            m_position += int64_t(count);
            return;
        }
    }
    if (m_writeBuffer.empty())
        m_writeStart = at;
    auto* bytes = static_cast<const uint8_t*>(data);
    m_writeBuffer.insert(m_writeBuffer.end(), bytes, bytes + count);
    m_position += int64_t(count);
}

void FileStream::flush()
{
    if (!writeOut())
        fail(m_error);
}

bool FileStream::setLength(int64_t length)
{
    if (!m_file.isOpen() || !m_file.writable() || length < 0)
        return false;
    if (!writeOut())
        return false;
    m_readBuffer.clear();
    if (FileError e = m_file.setSize(uint64_t(length + m_origin)); failed(e)) {
        m_error = static_cast<int>(e);
        return false;
    }
    return true;
}

void FileStream::close()
{
    if (!m_file.isOpen())
        return;
    bool written = writeOut();
    m_readBuffer.clear();
    m_file.close();
    if (!written)
        fail(m_error);
}

// ---- HandleStream ----

HandleStream::HandleStream(Handle handle, Mode mode, Ownership ownership)
    : m_handle(handle)
    , m_ownership(ownership)
{
    if (mode == Mode::Read)
        m_length = std::max<int32_t>(handleSize(handle), 0);
}

HandleStream::~HandleStream() { close(); }

uint8_t* HandleStream::data()
{
    uint32_t address = handleAddress(m_handle);
    return address ? hostAddress(address) : nullptr;
}

// What can be read now: the written length, but never past the handle's present size (a handle
// can be shrunk, purged or disposed behind the stream's back).
static int64_t readable(Handle h, int64_t length) { return std::min<int64_t>(length, std::max<int32_t>(handleSize(h), 0)); }

void HandleStream::seek(int64_t position) { m_position = std::clamp<int64_t>(position, 0, m_length); }

int HandleStream::readByte()
{
    int c = peekByte();
    if (c != kEnd)
        ++m_position;
    return c;
}

int HandleStream::peekByte()
{
    if (m_position >= readable(m_handle, m_length))
        return kEnd;
    uint8_t* bytes = data();
    return bytes ? bytes[m_position] : kEnd;
}

size_t HandleStream::readBlock(void* buffer, size_t count)
{
    int64_t available = readable(m_handle, m_length) - m_position;
    uint8_t* bytes = data();
    if (available <= 0 || !bytes)
        return 0;
    size_t n = std::min<uint64_t>(count, static_cast<uint64_t>(available));
    std::memcpy(buffer, bytes + m_position, n);
    m_position += static_cast<int64_t>(n);
    return n;
}

void HandleStream::ensureCapacity(uint64_t size)
{
    int32_t current = handleSize(m_handle);
    if (current < 0)
        raiseError(ErrorCode::HandleEmpty, kNil);
    if (size <= static_cast<uint64_t>(current))
        return;
    constexpr uint64_t kLimit = 0x7FFFFFF0u;
    if (size > kLimit)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    uint64_t grown = static_cast<uint64_t>(current);
    while (grown < size)
        grown += grown < 4096 ? 1024 : grown < 409604 ? grown / 4 : 102400;
    grown = std::min(grown, kLimit);
    if (!setHandleSize(m_handle, static_cast<uint32_t>(grown)))
        raiseError(ErrorCode::MemoryExhausted, kNil);
}

void HandleStream::writeByte(int byte)
{
    uint8_t b = static_cast<uint8_t>(byte);
    writeBlock(&b, 1);
}

void HandleStream::writeBlock(const void* source, size_t count)
{
    if (count == 0)
        return;
    uint64_t end = static_cast<uint64_t>(m_position) + count;
    // The source may lie in the handle itself or in the Lisp space, which growing can move.
    std::string copy(static_cast<const char*>(source), count);
    ensureCapacity(end);
    std::memcpy(data() + m_position, copy.data(), count);
    m_position = static_cast<int64_t>(end);
    m_length = std::max(m_length, m_position);
}

bool HandleStream::setLength(int64_t length)
{
    if (length < 0 || length > 0x7FFFFFF0)
        return false;
    if (length > m_length) {
        ensureCapacity(static_cast<uint64_t>(length));
        std::memset(data() + m_length, 0, static_cast<size_t>(length - m_length));
    }
    m_length = length;
    m_position = std::min(m_position, m_length);
    return true;
}

void HandleStream::trim()
{
    if (handleSize(m_handle) >= 0 && handleSize(m_handle) != m_length)
        setHandleSize(m_handle, static_cast<uint32_t>(m_length));
}

Handle HandleStream::release()
{
    trim();
    m_ownership = Ownership::Borrowed;
    return m_handle;
}

void HandleStream::close()
{
    if (m_ownership == Ownership::DisposeOnClose && isHandle(m_handle))
        disposeHandle(m_handle);
    m_ownership = Ownership::Borrowed;
    m_handle = 0;
    m_length = m_position = 0;
}

// ---- Stream objects ----

void StreamObject::markValues()
{
    KernelObject::markValues();
    mark(m_lispObject);
}

void StreamObject::open()
{
    KernelObject::open();
    if (isObject(owner()))
        m_lispObject = owner();
    openStream();
}

NativeStream& ForwardingStreamObject::stream()
{
    if (!m_stream)
        raiseError(FileErrorCode::NotAStream, kNil);
    return *m_stream;
}

KernelObject* streamObjectOf(Value v)
{
    if (isObject(v))
        v = objectField(v, ClassField::NativeObject);
    KernelObject* k = findKernelObject(v);
    return k && k->isStream() ? k : nullptr;
}

namespace {

// The value of a slot (or any symbol) in the current context, nil when unbound.
Value slot(const char* name)
{
    Value symbol = intern(name);
    return isBound(symbol) ? symbolValue(symbol) : kNil;
}

// Bytes of a memory pointer's block: every access checks that the pointer still holds them.
class PointerInputStream final : public NativeStream {
public:
    PointerInputStream(uint32_t address, uint32_t size, bool memoryPointer)
        : m_address(address), m_size(size), m_memoryPointer(memoryPointer)
    {
    }
    void seek(int64_t p) override { m_position = std::clamp<int64_t>(p, 0, m_size); }
    int64_t position() override { return m_position; }
    int readByte() override
    {
        int c = peekByte();
        if (c != kEnd)
            ++m_position;
        return c;
    }
    int peekByte() override
    {
        const uint8_t* bytes = data();
        return bytes && m_position < m_size ? bytes[m_position] : kEnd;
    }
    size_t readBlock(void* buffer, size_t count) override
    {
        const uint8_t* bytes = data();
        if (!bytes || m_position >= m_size)
            return 0;
        size_t n = std::min<uint64_t>(count, uint64_t(m_size - m_position));
        std::memcpy(buffer, bytes + m_position, n);
        m_position += int64_t(n);
        return n;
    }
    int64_t length() override { return m_size; }
    void writeByte(int) override { raiseError(FileErrorCode::NotAStream, kNil); }

private:
    const uint8_t* data()
    {
        if (m_memoryPointer && (!isMemoryPointer(m_address) || memoryPointerSize(m_address) < m_size))
            return nullptr; // disposed or shrunk since the stream was opened
        return hostAddress(m_address);
    }
    uint32_t m_address;
    int64_t m_size;
    bool m_memoryPointer;
    int64_t m_position = 0;
};

// A handle pointer that a stream object disposes itself: its address is cleared as well, so that
// the collector does not dispose it again. Only while the object is reachable (an explicit close),
// never from a destructor, which the collector may run after the pointer's cell was swept.
void disposeHandlePointer(Value& pointer)
{
    if (pointer == kNil)
        return;
    Handle h = pointerAddress(pointer);
    if (h && isHandle(h))
        disposeHandle(h);
    cellOf(pointer).cdr = 0;
    pointer = kNil;
}

// obj-input-handle: a handle (slots handle, dispose-handle?) or a memory pointer (slots pointer,
// pointer-size). The stream holds the pointer Value, so the collector keeps its memory.
class InputHandleObject final : public ForwardingStreamObject {
public:
    using ForwardingStreamObject::ForwardingStreamObject;
    bool isInputStream() const override { return true; }
    bool isHandleInput() const override { return true; }
    void markValues() override
    {
        ForwardingStreamObject::markValues();
        mark(m_source);
    }
    void openStream() override
    {
        m_stream.reset();
        m_source = kNil;
        Value handle = slot("handle");
        if (handle != kNil) {
            Handle h = toHandle(handle);
            if (handleSize(h) < 0)
                raiseWrongType(handle);
            m_stream = std::make_unique<HandleStream>(h, HandleStream::Mode::Read);
            m_source = handle;
            m_disposeHandle = slot("dispose-handle?") != kNil;
            return;
        }
        Value pointer = slot("pointer");
        uint32_t address = toPointerAddress(pointer);
        Value sizeValue = slot("pointer-size");
        uint32_t size = toUInt32(sizeValue);
        bool memoryPointer = pointerKindIndex(pointer) == gMemoryPointerKind.index();
        if (memoryPointer ? size > memoryPointerSize(address) : !address)
            raiseWrongType(sizeValue);
        checkedRange(address, size, sizeValue);
        m_stream = std::make_unique<PointerInputStream>(address, size, memoryPointer);
        m_source = pointer;
        m_disposeHandle = false;
    }
    void closeObject() override
    {
        m_stream.reset();
        if (m_disposeHandle)
            disposeHandlePointer(m_source);
        KernelObject::closeObject();
    }

private:
    Value m_source = kNil; // the handle or memory pointer read
    bool m_disposeHandle = false;
};

// Input-Stream-String: the characters of the string in slot target-string, copied at open.
class StringInputObject final : public ForwardingStreamObject {
public:
    using ForwardingStreamObject::ForwardingStreamObject;
    bool isInputStream() const override { return true; }
    bool isStringInput() const override { return true; }
    void openStream() override
    {
        Value text = slot("target-string");
        if (!isString(text))
            raiseWrongType(text);
        m_stream = std::make_unique<StringInputStream>(std::string(stringChars(text), stringLength(text)));
    }
};

// obj-output-handle: a handle that grows while it is written. The stream holds the one pointer
// Value of its handle (get-handle answers it) and disposes the handle when closed, unless
// remove-handle handed it over.
class OutputHandleObject final : public ForwardingStreamObject {
public:
    using ForwardingStreamObject::ForwardingStreamObject;
    bool isOutputStream() const override { return true; }
    bool isHandleOutput() const override { return true; }
    void markValues() override
    {
        ForwardingStreamObject::markValues();
        mark(m_handle);
    }
    void openStream() override
    {
        m_stream.reset();
        disposeHandlePointer(m_handle);
        Handle h = newHandle(0);
        if (!h)
            raiseError(ErrorCode::MemoryExhausted, kNil);
        m_handle = makePointer(gHandleKind, h);
        m_stream = std::make_unique<HandleStream>(h, HandleStream::Mode::Write);
    }
    void closeObject() override
    {
        m_stream.reset();
        disposeHandlePointer(m_handle);
        KernelObject::closeObject();
    }
    Value getHandle()
    {
        HandleStream& out = static_cast<HandleStream&>(stream());
        out.trim();
        return m_handle;
    }
    Value removeHandle()
    {
        HandleStream& out = static_cast<HandleStream&>(stream());
        out.trim();
        Value handle = m_handle;
        m_handle = kNil;
        m_stream.reset(); // the stream ends with its handle
        return handle;
    }

private:
    Value m_handle = kNil;
};

// obj-resfork: a file object that is no stream; every operation raises error 47.
class ResforkObject final : public StreamObject {
public:
    using StreamObject::StreamObject;
    bool isInputStream() const override { return true; }
    bool isOutputStream() const override { return true; }
    bool isFile() const override { return true; }
};

// PC-Stream and Mac-Stream: another stream object (slot stream) seen through the character-set
// tables. A byte without an entry throws to bad-character with the byte.
class FilterObject final : public StreamObject {
public:
    enum class Kind { Pc, Mac };
    FilterObject(Value instance, Kind kind) : StreamObject(instance), m_kind(kind) {}
    bool isInputStream() const override { return true; }
    bool isOutputStream() const override { return true; }
    void markValues() override
    {
        StreamObject::markValues();
        mark(m_inner);
    }
    void openStream() override
    {
        Value inner = slot("stream");
        if (!streamObjectOf(inner) || streamObjectOf(inner) == this)
            raiseWrongType(inner);
        m_inner = inner;
    }

    void seek(int64_t p) override { inner().seek(p); }
    int64_t position() override { return inner().position(); }
    bool atEnd() override { return inner().atEnd(); }
    int64_t length() override { return inner().length(); }
    // A rejected byte is consumed before the throw, even by a peek, so that reading can go on
    // after it.
    int peekByte() override
    {
        NativeStream& in = inner();
        int c = in.peekByte();
        if (c != kEnd && readTable()[c] == 0)
            in.readByte();
        return c == kEnd ? kEnd : convertIn(c);
    }
    int readByte() override
    {
        int c = inner().readByte();
        return c == kEnd ? kEnd : convertIn(c);
    }
    size_t readBlock(void* buffer, size_t count) override
    {
        NativeStream& in = inner();
        int64_t start = in.position();
        size_t n = in.readBlock(buffer, count);
        auto* bytes = static_cast<uint8_t*>(buffer);
        for (size_t i = 0; i < n; ++i) {
            uint8_t converted = readTable()[bytes[i]];
            if (converted == 0) {
                // The good bytes before it are answered; the next read starts at the bad one,
                // and a read that starts there consumes it and throws.
                if (i > 0) {
                    in.seek(start + int64_t(i));
                    return i;
                }
                in.seek(start + 1);
                badCharacter(bytes[i]);
            }
            if (m_kind == Kind::Mac)
                bytes[i] = converted;
        }
        return n;
    }
    void writeByte(int byte) override
    {
        uint8_t b = static_cast<uint8_t>(byte);
        writeBlock(&b, 1);
    }
    void writeBlock(const void* data, size_t count) override
    {
        auto* bytes = static_cast<const uint8_t*>(data);
        std::string converted(count, '\0');
        size_t good = 0;
        for (; good < count; ++good) {
            uint8_t entry = windowsToMac(bytes[good]);
            if (entry == 0)
                break;
            converted[good] = static_cast<char>(m_kind == Kind::Mac ? entry : bytes[good]);
        }
        inner().writeBlock(converted.data(), good);
        if (good < count)
            badCharacter(bytes[good]);
    }
    void flush() override { inner().flush(); }

private:
    NativeStream& inner()
    {
        KernelObject* k = streamObjectOf(m_inner);
        if (!k)
            raiseError(FileErrorCode::NotAStream, m_inner);
        return *k;
    }
    // Bytes read go through this table: PC-Stream only checks them against Windows-to-Mac (and keeps
    // them), Mac-Stream maps them from Mac to Windows.
    const unsigned char* readTable() const
    {
        return m_kind == Kind::Mac ? charsets::kMacToWindows : charsets::kWindowsToMac;
    }
    int convertIn(int c)
    {
        uint8_t converted = readTable()[c];
        if (converted == 0)
            badCharacter(c);
        return m_kind == Kind::Mac ? converted : c;
    }
    [[noreturn]] void badCharacter(int c) { throwTo(intern("bad-character"), makeInteger(c)); }

    Kind m_kind;
    Value m_inner = kNil;
};

template <typename T> Value makeStream(Value instance) { return adoptKernelObject(new (std::nothrow) T(instance)); }
Value makePcStream(Value instance) { return adoptKernelObject(new (std::nothrow) FilterObject(instance, FilterObject::Kind::Pc)); }
Value makeMacStream(Value instance) { return adoptKernelObject(new (std::nothrow) FilterObject(instance, FilterObject::Kind::Mac)); }

// ---- The stream methods, in the stream object's context ----

KernelObject& currentStream() { return kernelObjectOf(gSelf); }

// The host address of count bytes at a pointer, checked against what the pointer holds: a
// handle's or memory pointer's size, else the Lisp address space.
uint8_t* bufferOf(Value pointer, Value countValue, uint32_t count)
{
    if (!isPointer(pointer))
        raiseWrongType(pointer);
    uint32_t address = pointerAddress(pointer);
    uint32_t kind = pointerKindIndex(pointer);
    if (kind == gHandleKind.index()) {
        int32_t size = handleSize(address);
        if (size < 0)
            raiseWrongType(pointer);
        if (count > uint32_t(size))
            raiseWrongType(countValue);
        address = handleAddress(address);
        if (count == 0)
            return nullptr;
    } else if (kind == gMemoryPointerKind.index()) {
        if (!isMemoryPointer(address))
            raiseWrongType(pointer);
        if (count > memoryPointerSize(address))
            raiseWrongType(countValue);
    }
    return checkedRange(address, count, countValue);
}

Value endOfStreamP() { return boolValue(currentStream().atEnd()); }

Value readBlockMethod(Value pointer, Value countValue)
{
    uint32_t count = toUInt32(countValue);
    KernelObject& k = currentStream();
    uint8_t* buffer = bufferOf(pointer, countValue, count);
    return makeInteger(int64_t(count ? k.readBlock(buffer, count) : 0));
}

template <bool CrLf> Value writeBlockMethod(Value pointer, Value countValue)
{
    uint32_t count = toUInt32(countValue);
    KernelObject& k = currentStream();
    if (count == 0)
        return kNoValue;
    // A copy: the write may move handle data (an output handle writing its own bytes).
    uint8_t* buffer = bufferOf(pointer, countValue, count);
    std::string bytes(reinterpret_cast<const char*>(buffer), count);
    if (CrLf)
        k.writeBlockCrLf(bytes.data(), count);
    else
        k.writeBlock(bytes.data(), count);
    return kNoValue;
}

Value getStreamPos() { return makeInteger(currentStream().position()); }

Value setStreamPos(Value n)
{
    int64_t position = toInt64(n);
    if (position < 0)
        raiseWrongType(n);
    currentStream().seek(position);
    return n;
}

Value getStreamLength() { return makeInteger(currentStream().length()); }

Value loadFromStream()
{
    // The instance is looked up again after each form: a form may close the stream.
    Value self = gSelf;
    for (;;) {
        KernelObject& k = kernelObjectOf(self);
        if (readerAtEnd(k))
            break;
        eval(readValue(k));
    }
    return kNoValue;
}

OutputHandleObject& outputHandle()
{
    KernelObject& k = currentStream();
    if (!k.isHandleOutput())
        raiseWrongType(gSelf);
    return static_cast<OutputHandleObject&>(k);
}

Value getHandle() { return outputHandle().getHandle(); }
Value removeHandle() { return outputHandle().removeHandle(); }

// ---- Default output ----

NativeStream& toStreamObject(Value v)
{
    KernelObject* k = streamObjectOf(v);
    if (!k)
        raiseWrongType(v);
    return *k;
}

Value setDefaultOutputStream(Value s)
{
    gCurrentOutput = s == kNil ? &standardOutput() : &toStreamObject(s);
    return kNoValue;
}

// Puts back the output that was current, found again through its Lisp object when it is a stream
// object: the function may have closed it (then the standard output takes over).
class OutputRestore {
public:
    OutputRestore() : m_saved(gCurrentOutput), m_object(dynamic_cast<KernelObject*>(gCurrentOutput) ? gCurrentOutput->m_lispObject : kNil)
    {
        m_wasObject = m_object != kNil || dynamic_cast<KernelObject*>(gCurrentOutput);
    }
    ~OutputRestore()
    {
        if (!m_wasObject) {
            gCurrentOutput = m_saved;
            return;
        }
        KernelObject* k = streamObjectOf(m_object);
        gCurrentOutput = k == m_saved ? k : &standardOutput();
    }
    OutputRestore(const OutputRestore&) = delete;
    OutputRestore& operator=(const OutputRestore&) = delete;

private:
    NativeStream* m_saved;
    Value m_object;
    bool m_wasObject;
};

Value withOutputToStream(Value s, Value function)
{
    NativeStream& stream = toStreamObject(s);
    OutputRestore restore;
    gCurrentOutput = &stream;
    return funcall(function);
}

NativeStream* resolveStream(Value v) { return streamObjectOf(v); }

} // namespace

// Declares slots of a native class as defslot does (the reader may not be ready yet when the
// Modules start, so the forms are built here).
void declareSlot(Value classValue, const char* name, Value initial)
{
    ObjectContextFrame context(classValue);
    Value form = cons(intern("defslot"), cons(intern(name), cons(makeKeyword("default"), cons(initial, kNil))));
    eval(form);
}

namespace {

class StreamModule final : public Module {
public:
    StreamModule() : Module("Stream") {}
    void start() override
    {
        Module::start();
        setStreamResolver(resolveStream);
        Value kernelClass = globalValue(intern("obj-kernel-class"));
        Value resfork = registerNativeClass("obj-resfork", makeStream<ResforkObject>, kernelClass);
        Value inputHandle = registerNativeClass("obj-input-handle", makeStream<InputHandleObject>, kernelClass);
        Value inputString = registerNativeClass("Input-Stream-String", makeStream<StringInputObject>, kernelClass);
        Value outputHandle = registerNativeClass("obj-output-handle", makeStream<OutputHandleObject>, kernelClass);
        Value pc = registerNativeClass("PC-Stream", makePcStream, kernelClass);
        Value mac = registerNativeClass("Mac-Stream", makeMacStream, kernelClass);
        (void)resfork;
        for (const char* name : { "handle", "dispose-handle?", "pointer" })
            declareSlot(inputHandle, name, kNil);
        declareSlot(inputHandle, "pointer-size", makeInteger(0));
        declareSlot(inputString, "target-string", kNil);
        declareSlot(pc, "stream", kNil);
        declareSlot(mac, "stream", kNil);

        auto method = [](Value c, const char* name, auto fn, uint32_t arity) {
            defineMethod(c, name, AnyFn(fn), arity);
        };
        method(kernelClass, "end-of-stream?", endOfStreamP, 0);
        method(kernelClass, "read-block", readBlockMethod, 2);
        method(kernelClass, "write-block", writeBlockMethod<false>, 2);
        method(kernelClass, "write-block-cr-lf", writeBlockMethod<true>, 2);
        method(kernelClass, "get-stream-pos", getStreamPos, 0);
        method(kernelClass, "set-stream-pos", setStreamPos, 1);
        method(kernelClass, "get-stream-length", getStreamLength, 0);
        method(kernelClass, "load-from-stream", loadFromStream, 0);
        method(outputHandle, "get-handle", getHandle, 0);
        method(outputHandle, "remove-handle", removeHandle, 0);
        defineFunction1("set-default-output-stream", setDefaultOutputStream);
        defineFunction2("with-output-to-stream", withOutputToStream);
    }
    void stop() override
    {
        gCurrentOutput = &standardOutput();
        setStreamResolver(nullptr);
        Module::stop();
    }
    // The standard streams live for the whole run outside the stack; so may the current output.
    void markRoots() override
    {
        StreamRoots::markAll();
        mark(gCurrentOutput->m_lispObject);
    }
} streamModule;

} // namespace
