// fuzz/CompressFuzz.cpp: uncompress-data on arbitrary bytes. Whatever it answers must be a whole
// handle of the announced length, and compressing that answer must give the same bytes back.
#include "FuzzRuntime.h"

namespace {

int uncompressInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    Value source = makePointer(gHandleKind, 0);
    Handle h = newHandle(static_cast<uint32_t>(size));
    if (!h)
        fuzz::fail("no memory for the input");
    std::memcpy(hostAddress(handleAddress(h)), data, size);
    cellOf(source).cdr = h;
    Value result = kNil;
    if (fuzz::call(result, "uncompress-data", source) && isTrue(result)) {
        uint32_t announced = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
        Handle out = pointerAddress(result);
        if (handleSize(out) < 0 || static_cast<uint32_t>(handleSize(out)) != announced)
            fuzz::fail("the answer's size differs from the announced length");
        Value again = kNil, back = kNil;
        if (!fuzz::call(again, "compress-data", result) || isNil(again))
            fuzz::fail("compressing the answer failed");
        if (!fuzz::call(back, "uncompress-data", again) || isNil(back))
            fuzz::fail("uncompressing the answer again failed");
        Handle backHandle = pointerAddress(back);
        if (handleSize(backHandle) != handleSize(out)
            || std::memcmp(hostAddress(handleAddress(backHandle)), hostAddress(handleAddress(out)), announced) != 0)
            fuzz::fail("round trip changed the bytes");
        fuzz::dispose(again);
        fuzz::dispose(back);
        fuzz::dispose(result);
    }
    fuzz::dispose(source);
    return 0;
}

} // namespace

int main(int argc, char** argv) { return fuzz::run(argc, argv, uncompressInput, [] {}); }
