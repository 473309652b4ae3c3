// Kernel/Stream.cpp: the Stream Module and the native streams every unit shares.
#include "Kernel/Stream.h"

#include "Kernel/Error.h"
#include "Kernel/Module.h"
#include "Kernel/Recycle.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

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
constexpr int32_t kDiskFullError = 46;
}

FileStream::FileStream(std::FILE* file, std::string path, bool writable)
    : m_file(file)
    , m_path(std::move(path))
    , m_writable(writable)
{
}

FileStream* FileStream::open(const std::string& path, Mode mode, int& error)
{
    error = 0;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = EISDIR;
        return nullptr;
    }
    const char* how = mode == Mode::Read ? "rb" : mode == Mode::Create ? "w+b" : "r+b";
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), how);
    if (!file && mode == Mode::ReadWriteCreate && errno == ENOENT) {
        errno = 0;
        file = std::fopen(path.c_str(), "w+b");
    }
    if (!file) {
        error = errno ? errno : EIO;
        return nullptr;
    }
    return new FileStream(file, path, mode != Mode::Read);
}

FileStream::~FileStream() { close(); }

void FileStream::setOrigin(int64_t origin)
{
    m_origin = std::max<int64_t>(origin, 0);
    seek(0);
}

void FileStream::seek(int64_t position)
{
    if (m_file)
        std::fseek(m_file, static_cast<long>(std::max<int64_t>(position, 0) + m_origin), SEEK_SET);
}

int64_t FileStream::position()
{
    if (!m_file)
        return 0;
    long p = std::ftell(m_file);
    return p < m_origin ? 0 : p - m_origin;
}

int FileStream::readByte()
{
    if (!m_file)
        return kEnd;
    int c = std::fgetc(m_file);
    return c == EOF ? kEnd : c;
}

int FileStream::peekByte()
{
    if (!m_file)
        return kEnd;
    int c = std::fgetc(m_file);
    if (c == EOF)
        return kEnd;
    std::ungetc(c, m_file);
    return c;
}

size_t FileStream::readBlock(void* buffer, size_t count)
{
    return m_file ? std::fread(buffer, 1, count, m_file) : 0;
}

int64_t FileStream::length()
{
    if (!m_file)
        return 0;
    long here = std::ftell(m_file);
    std::fseek(m_file, 0, SEEK_END);
    long end = std::ftell(m_file);
    std::fseek(m_file, here, SEEK_SET);
    return end < m_origin ? 0 : end - m_origin;
}

void FileStream::checkWritable()
{
    if (!m_file || !m_writable)
        raiseWrongType(makeString(m_path));
}

void FileStream::writeByte(int byte)
{
    uint8_t b = static_cast<uint8_t>(byte);
    writeBlock(&b, 1);
}

void FileStream::writeBlock(const void* data, size_t count)
{
    checkWritable();
    // A write after a read needs a positioning call between them.
    std::fseek(m_file, 0, SEEK_CUR);
    if (std::fwrite(data, 1, count, m_file) != count) {
        m_error = ENOSPC;
        raiseError(kDiskFullError, makeString(m_path));
    }
    std::fseek(m_file, 0, SEEK_CUR);
}

void FileStream::flush()
{
    if (m_file)
        std::fflush(m_file);
}

bool FileStream::setLength(int64_t length)
{
    if (!m_file || !m_writable || length < 0)
        return false;
    long here = std::ftell(m_file);
    std::fflush(m_file);
    std::error_code ec;
    std::filesystem::resize_file(m_path, static_cast<uintmax_t>(length + m_origin), ec);
    if (ec) {
        m_error = ec.value();
        return false;
    }
    std::fseek(m_file, std::min<long>(here, static_cast<long>(length + m_origin)), SEEK_SET);
    return true;
}

void FileStream::close()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
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

namespace {

class StreamModule final : public Module {
public:
    StreamModule() : Module("Stream") {}
    // The standard streams live for the whole run outside the stack; so may the current output.
    void markRoots() override
    {
        mark(standardOutput().m_lispObject);
        mark(standardError().m_lispObject);
        mark(gCurrentOutput->m_lispObject);
    }
} streamModule;

} // namespace
