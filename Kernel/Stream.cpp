// Kernel/Stream.cpp: the Stream Module and the native streams every unit shares.
#include "Kernel/Stream.h"

#include "Kernel/Module.h"
#include "Kernel/Recycle.h"

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
    // The standard streams live for the whole run outside the stack; so may the current output.
    void markRoots() override
    {
        mark(standardOutput().m_lispObject);
        mark(standardError().m_lispObject);
        mark(gCurrentOutput->m_lispObject);
    }
} streamModule;

} // namespace
