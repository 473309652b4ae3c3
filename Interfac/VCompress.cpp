// Interfac/VCompress.cpp: the VCompress Module: handles compressed with zlib. A compressed handle
// holds the uncompressed length as 4 bytes, least significant first, then a zlib stream of the data.
#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr uint32_t kPrefixBytes = 4;
// Deflate never expands data by more than this factor, so a larger announced size is a lie.
constexpr uint64_t kMaxInflation = 1032;

// The live handle of a handle pointer, with its data; a handle without data is error 60.
Handle toFilledHandle(Value pointer, uint32_t& size)
{
    Handle h = toHandle(pointer);
    int32_t n = handleSize(h);
    if (n < 0)
        raiseWrongType(pointer);
    if (n == 0 || handleAddress(h) == 0)
        raiseError(ErrorCode::HandleEmpty, pointer);
    size = static_cast<uint32_t>(n);
    return h;
}

const uint8_t* handleBytes(Handle h) { return hostAddress(handleAddress(h)); }
uint8_t* handleBytesForWriting(Handle h) { return hostAddress(handleAddress(h)); }

Value compressData(Value source)
{
    // The pointer cell comes first: making it may collect, and a failure then leaks nothing.
    // Nothing allocates Lisp memory after it, so the source handle stays where it is.
    Value result = makePointer(gHandleKind, 0);
    uint32_t size = 0;
    Handle from = toFilledHandle(source, size);
    uLong bound = compressBound(size);
    if (bound > 0xFFFFFFFFul - kPrefixBytes)
        return kNil;
    Handle to = newHandle(static_cast<uint32_t>(kPrefixBytes + bound));
    if (!to)
        return kNil;
    uLongf compressedSize = bound;
    int status = compress2(handleBytesForWriting(to) + kPrefixBytes, &compressedSize, handleBytes(from), size, 9);
    if (status != Z_OK) {
        disposeHandle(to);
        return kNil;
    }
    uint8_t* prefix = handleBytesForWriting(to);
    for (uint32_t i = 0; i < kPrefixBytes; ++i)
        prefix[i] = static_cast<uint8_t>(size >> (8 * i));
    setHandleSize(to, static_cast<uint32_t>(kPrefixBytes + compressedSize));
    cellOf(result).cdr = to;
    return result;
}

// Answers nil for data that is not a whole compressed handle: shorter than its prefix, a damaged
// stream, or a stream whose length differs from the one announced.
Value uncompressData(Value source)
{
    Value result = makePointer(gHandleKind, 0);
    uint32_t size = 0;
    Handle from = toFilledHandle(source, size);
    if (size < kPrefixBytes)
        return kNil;
    const uint8_t* prefix = handleBytes(from);
    uint32_t length = 0;
    for (uint32_t i = 0; i < kPrefixBytes; ++i)
        length |= uint32_t(prefix[i]) << (8 * i);
    if (length == 0)
        raiseError(ErrorCode::HandleEmpty, source);
    if (length > uint64_t(size - kPrefixBytes) * kMaxInflation)
        return kNil;
    Handle to = newHandle(length);
    if (!to)
        raiseError(ErrorCode::MemoryExhausted, source);
    uLongf inflated = length;
    int status = uncompress(handleBytesForWriting(to), &inflated, handleBytes(from) + kPrefixBytes, size - kPrefixBytes);
    if (status != Z_OK || inflated != length) {
        disposeHandle(to);
        return kNil;
    }
    cellOf(result).cdr = to;
    return result;
}

class VCompressModule final : public Module {
public:
    VCompressModule() : Module("VCompress") {}

    void start() override
    {
        Module::start();
        defineFunction1("compress-data", compressData);
        defineFunction1("uncompress-data", uncompressData);
    }
} theVCompressModule;

} // namespace
