// Interfac/Encoding.cpp: the Encoding Module. URL percent-encoding (encode-url) and the
// Base64-Stream class, which encodes what is written to it and decodes what is read from it, on
// top of another stream object that holds the encoded text.
#include "Kernel/Error.h"
#include "Kernel/KernelObject.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Object.h"
#include "Kernel/Recycle.h"
#include "Kernel/StreamObject.h"
#include "Kernel/Symbol.h"

#include <array>
#include <new>

namespace {

constexpr int32_t kWrittenAfterRead = 3;
constexpr int32_t kReadAfterWrite = 4;
constexpr int32_t kNoKernelObject = 69;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Indexed by the unsigned byte: every character outside the alphabet, "=" included, decodes as 0.
const std::array<uint8_t, 256> kDecode = [] {
    std::array<uint8_t, 256> table {};
    for (int i = 0; i < 64; ++i)
        table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
    return table;
}();

Value slot(const char* name)
{
    Value symbol = intern(name);
    return isBound(symbol) ? symbolValue(symbol) : kNil;
}

// Base64-Stream. A reader or a writer for its whole life: the first operation fixes the mode.
// Line ends (carriage return + line feed) follow every line-length characters; the line length is
// rounded down to a multiple of 4 so that a line end never splits a group. Reading skips carriage
// returns and line feeds wherever they stand, and the end of the encoded text ends a group: two
// characters give one byte, three give two.
class Base64Object final : public StreamObject {
public:
    using StreamObject::StreamObject;
    enum Mode : int16_t { None = 0, Reading = 1, Writing = 2 };

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
        if (isObject(inner))
            kernelObjectOf(inner); // error 69 when the instance has no kernel object
        KernelObject* k = streamObjectOf(inner);
        if (!k)
            raiseError(kNoKernelObject, inner);
        if (k == this)
            raiseWrongType(inner);
        Value lineLength = slot("line-length");
        int32_t l = lineLength == kNil ? 0 : toInt32(lineLength);
        m_lineLength = l <= 0 ? 0 : l - l % 4;
        m_inner = inner;
        m_mode = None;
        m_index = m_groupSize = 0;
        m_encoded = m_groupStart = 0;
        m_length = -1;
        m_finished = false;
    }

    // ---- Reading ----
    int readByte() override
    {
        NativeStream& in = startReading();
        if (m_index >= m_groupSize) {
            if (m_groupEnded)
                return kEnd;
            decodeGroup(in);
            if (m_index >= m_groupSize)
                return kEnd;
        }
        return m_group[m_index++];
    }
    int peekByte() override
    {
        int c = readByte();
        if (c != kEnd)
            --m_index;
        return c;
    }
    size_t readBlock(void* buffer, size_t count) override
    {
        NativeStream& in = startReading();
        auto* bytes = static_cast<uint8_t*>(buffer);
        size_t n = 0;
        while (n < count) {
            if (m_index >= m_groupSize) {
                if (m_groupEnded)
                    break;
                decodeGroup(in);
                if (m_index >= m_groupSize)
                    break;
            }
            while (n < count && m_index < m_groupSize)
                bytes[n++] = m_group[m_index++];
        }
        return n;
    }
    bool atEnd() override
    {
        if (m_mode == Writing)
            return true;
        return position() >= length();
    }
    // Reading: the decoded offset of the next byte; writing: the bytes written.
    int64_t position() override { return m_groupStart + m_index; }
    void seek(int64_t n) override
    {
        NativeStream& in = startReading();
        if (n < 0)
            n = 0;
        int64_t g = n - n % 3;
        int64_t chars = g / 3 * 4;
        m_encoded = chars + (m_lineLength > 0 ? chars / m_lineLength * 2 : 0);
        m_groupStart = g;
        m_index = m_groupSize = 0;
        m_groupEnded = false;
        in.seek(m_encoded);
        decodeGroup(in);
        m_index = static_cast<int16_t>(n % 3);
    }
    int64_t length() override
    {
        if (m_mode == Writing)
            return m_groupStart + m_index;
        if (m_length >= 0)
            return m_length;
        NativeStream& in = startReading();
        int64_t e = in.length();
        // Characters without the line ends (a final one included); a short last group counts.
        int64_t chars = m_lineLength <= 0 ? e : e - (e + m_lineLength + 1) / (m_lineLength + 2) * 2;
        int64_t result = (chars + 3) / 4 * 3;
        if (result <= 0) {
            m_length = 0;
            return 0;
        }
        int64_t saved = position();
        seek(result - 3);
        m_length = result - 3 + m_groupSize;
        seek(saved);
        return m_length;
    }

    // ---- Writing ----
    void writeByte(int byte) override
    {
        NativeStream& out = startWriting();
        m_group[m_index++] = static_cast<uint8_t>(byte);
        if (m_index == 3)
            writeGroup(out);
    }
    void writeBlock(const void* data, size_t count) override
    {
        if (count == 0)
            return;
        NativeStream& out = startWriting();
        auto* bytes = static_cast<const uint8_t*>(data);
        // Whole groups are gathered into one block for the inner stream.
        std::string encoded;
        encoded.reserve(count / 3 * 4 + count / 32 + 8);
        for (size_t i = 0; i < count; ++i) {
            m_group[m_index++] = bytes[i];
            if (m_index == 3)
                appendGroup(encoded);
        }
        out.writeBlock(encoded.data(), encoded.size());
    }
    void flush() override { inner().flush(); }

    // Writes the padding and the last line end. Only from an explicit close: the collector's sweep
    // must not write to another stream, which may be gone already.
    void close() override { finishWriting(); }
    void closeObject() override
    {
        finishWriting();
        KernelObject::closeObject();
    }

private:
    NativeStream& inner()
    {
        KernelObject* k = streamObjectOf(m_inner);
        if (!k)
            raiseError(FileErrorCode::NotAStream, m_inner);
        return *k;
    }
    NativeStream& startReading()
    {
        if (m_mode == Writing)
            raiseError(kReadAfterWrite, kNil);
        NativeStream& in = inner();
        if (m_mode == None) {
            m_mode = Reading;
            m_index = m_groupSize = 0;
        }
        return in;
    }
    NativeStream& startWriting()
    {
        if (m_mode == Reading)
            raiseError(kWrittenAfterRead, kNil);
        NativeStream& out = inner();
        if (m_mode == None) {
            m_mode = Writing;
            m_index = 0;
        }
        return out;
    }

    // The next group of four characters: line ends are skipped, the end of the input ends it.
    void decodeGroup(NativeStream& in)
    {
        if (m_groupSize > 0 || m_index > 0)
            m_groupStart += 3;
        int c[4] = { 0, 0, 0, 0 };
        int k = 0;
        while (k < 4) {
            int ch = in.readByte();
            if (ch == kEnd)
                break;
            ++m_encoded;
            if (ch == '\r' || ch == '\n')
                continue;
            c[k++] = ch;
        }
        uint8_t d[4];
        for (int i = 0; i < 4; ++i)
            d[i] = kDecode[static_cast<uint8_t>(c[i])];
        m_group[0] = static_cast<uint8_t>(d[0] << 2 | d[1] >> 4);
        m_group[1] = static_cast<uint8_t>((d[1] & 15) << 4 | d[2] >> 2);
        m_group[2] = static_cast<uint8_t>((d[2] & 3) << 6 | d[3]);
        int size = k < 2 ? 0 : k - 1;
        if (k >= 3 && c[2] == '=')
            size = 1;
        else if (k == 4 && c[3] == '=')
            size = 2;
        m_groupSize = static_cast<int16_t>(size);
        m_groupEnded = k < 4;
        m_index = 0;
    }

    void appendGroup(std::string& out)
    {
        uint8_t b1 = m_group[0], b2 = m_group[1], b3 = m_group[2];
        char chars[4] = { kAlphabet[b1 >> 2], kAlphabet[(b1 & 3) << 4 | b2 >> 4],
                          kAlphabet[(b2 & 15) << 2 | b3 >> 6], kAlphabet[b3 & 63] };
        out.append(chars, 4);
        m_index = 0;
        m_encoded += 4;
        m_groupStart += 3;
        if (m_lineLength > 0 && m_encoded % (m_lineLength + 2) == m_lineLength) {
            out.append("\r\n", 2);
            m_encoded += 2;
        }
    }
    void writeGroup(NativeStream& out)
    {
        std::string encoded;
        appendGroup(encoded);
        out.writeBlock(encoded.data(), encoded.size());
    }

    void finishWriting()
    {
        if (m_mode != Writing || m_finished)
            return;
        m_finished = true;
        NativeStream* out = streamObjectOf(m_inner);
        if (!out)
            return;
        std::string tail;
        if (m_index > 0) {
            uint8_t b1 = m_group[0], b2 = m_index > 1 ? m_group[1] : 0;
            tail.push_back(kAlphabet[b1 >> 2]);
            tail.push_back(kAlphabet[(b1 & 3) << 4 | b2 >> 4]);
            tail.push_back(m_index > 1 ? kAlphabet[(b2 & 15) << 2] : '=');
            tail.push_back('=');
            if (m_lineLength > 0)
                tail.append("\r\n");
        } else if (m_lineLength > 0 && m_encoded % (m_lineLength + 2) != 0) {
            tail.append("\r\n");
        }
        m_encoded += int64_t(tail.size());
        m_groupStart += m_index;
        m_index = 0;
        out->writeBlock(tail.data(), tail.size());
    }

    Value m_inner = kNil;
    uint8_t m_group[3] = { 0, 0, 0 };
    int16_t m_index = 0;     // reading: next byte of the group; writing: pending bytes
    int16_t m_groupSize = 0; // reading: valid bytes of the group
    Mode m_mode = None;
    bool m_groupEnded = false; // the group was cut short by the end of the encoded text
    bool m_finished = false;
    int64_t m_encoded = 0;     // characters of the inner stream consumed or produced
    int64_t m_groupStart = 0;  // decoded offset of the current group (writing: bytes encoded)
    int64_t m_length = -1;
    int32_t m_lineLength = 76;
};

Value makeBase64(Value instance) { return adoptKernelObject(new (std::nothrow) Base64Object(instance)); }

NativeStream& streamArgument(Value v)
{
    KernelObject* k = streamObjectOf(v);
    if (!k)
        raiseWrongType(v);
    return *k;
}

bool isUrlPlain(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

Value encodeUrl(Value input, Value output)
{
    NativeStream& in = streamArgument(input);
    NativeStream& out = streamArgument(output);
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    uint8_t buffer[4096];
    for (;;) {
        size_t n = in.readBlock(buffer, sizeof buffer);
        if (n == 0)
            break;
        encoded.clear();
        for (size_t i = 0; i < n; ++i) {
            uint8_t b = buffer[i];
            if (isUrlPlain(b)) {
                encoded.push_back(static_cast<char>(b));
            } else {
                encoded.push_back('%');
                encoded.push_back(kHex[b >> 4]);
                encoded.push_back(kHex[b & 15]);
            }
        }
        out.writeBlock(encoded.data(), encoded.size());
    }
    return kNoValue;
}

class EncodingModule final : public Module {
public:
    EncodingModule() : Module("Encoding") {}
    void start() override
    {
        Module::start();
        Value kernelClass = globalValue(intern("obj-kernel-class"));
        Value base64 = registerNativeClass("Base64-Stream", makeBase64, kernelClass);
        declareSlot(base64, "stream", kNil);
        declareSlot(base64, "line-length", makeInteger(76));
        defineFunction2("encode-url", encodeUrl);
    }
} theEncodingModule;

} // namespace
