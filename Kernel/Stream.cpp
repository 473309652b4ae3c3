// Kernel/Stream.cpp: the Stream Module and the native streams every unit shares.
#include "Kernel/Stream.h"

#include "Kernel/Module.h"

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

void StringOutputStream::writeByte(int byte)
{
    if (m_position == m_text.size())
        m_text.push_back(static_cast<char>(byte));
    else
        m_text[m_position] = static_cast<char>(byte);
    ++m_position;
}

void StringOutputStream::writeBlock(const void* data, size_t count)
{
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

namespace {

class StreamModule final : public Module {
public:
    StreamModule() : Module("Stream") {}
} streamModule;

} // namespace
