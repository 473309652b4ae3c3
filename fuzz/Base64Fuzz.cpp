// fuzz/Base64Fuzz.cpp: the Base64 stream over arbitrary bytes. The first byte chooses the line
// length (0 to 89). The rest is decoded as encoded text (reading, its length and seeks must stay
// within bounds), then encoded and decoded back, which must give the same bytes.
#include "FuzzRuntime.h"

#include "Kernel/KernelObject.h"
#include "Kernel/StreamObject.h"

#include <string>

namespace {

const char* kSetup = R"(
(define (fz-input _p _n)
  (let ((_s (make-instance obj-input-handle)))
    (_s (link-object)) (_s (set! pointer _p)) (_s (set! pointer-size _n)) (_s (open)) _s))
(define (fz-output)
  (let ((_s (make-instance obj-output-handle))) (_s (link-object)) (_s (open)) _s))
(define (fz-base64 _inner _l)
  (let ((_b (make-instance Base64-Stream)))
    (_b (link-object)) (_b (set! stream _inner)) (_b (set! line-length _l)) (_b (open)) _b))
(define (fz-destroy _o) (_o (destroy-c)))
(define (fz-handle _o) (_o (get-handle)))
)";

// A memory pointer of the bytes (one spare byte, so that an empty text has a block too).
Value memoryOf(const std::string& bytes)
{
    std::string padded = bytes + '\0';
    return fuzz::memoryWith(reinterpret_cast<const uint8_t*>(padded.data()), padded.size());
}

NativeStream& streamOf(Value v)
{
    KernelObject* k = streamObjectOf(v);
    if (!k)
        fuzz::fail("not a stream object");
    return *k;
}

// Reads everything; false when an error report was raised.
bool readAll(Value b, std::string& out, size_t limit)
{
    try {
        CatchFrame toplevel(Sym::toplevel);
        NativeStream& s = streamOf(b);
        int64_t length = s.length();
        if (length < 0 || static_cast<size_t>(length) > limit)
            fuzz::fail("a length beyond the encoded text");
        for (int c; (c = s.readByte()) != NativeStream::kEnd;) {
            out.push_back(static_cast<char>(c));
            if (out.size() > limit)
                fuzz::fail("more bytes than the encoded text can hold");
        }
        for (int64_t p : { int64_t(0), length / 2, length, length + 5 }) {
            s.seek(p);
            s.peekByte();
            s.readByte();
        }
        return true;
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != Sym::toplevel)
            throw;
    }
    return false;
}

int base64Input(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    Value lineLength = makeInteger(data[0] % 90);
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    Value ignored = kNil;

    // Decoding arbitrary text.
    Value memory = memoryOf(bytes);
    Value in = kNil, b = kNil;
    if (!fuzz::call(in, "fz-input", memory, makeInteger(bytes.size())) || !fuzz::call(b, "fz-base64", in, lineLength))
        fuzz::fail("a Base64 stream could not be made");
    std::string decoded;
    readAll(b, decoded, bytes.size() / 4 * 3 + 3);
    fuzz::call(ignored, "fz-destroy", b);
    fuzz::call(ignored, "fz-destroy", in);
    fuzz::dispose(memory);

    // Encoding and decoding back.
    Value out = kNil, e = kNil;
    if (!fuzz::call(out, "fz-output") || !fuzz::call(e, "fz-base64", out, lineLength))
        fuzz::fail("a Base64 writer could not be made");
    streamOf(e).writeBlock(bytes.data(), bytes.size());
    if (!fuzz::call(ignored, "fz-destroy", e))
        fuzz::fail("closing the writer raised an error");
    Value handle = kNil;
    if (!fuzz::call(handle, "fz-handle", out))
        fuzz::fail("no handle");
    uint32_t encodedSize = static_cast<uint32_t>(handleSize(pointerAddress(handle)));
    std::string encoded;
    if (encodedSize)
        encoded.assign(reinterpret_cast<const char*>(hostAddress(handleAddress(pointerAddress(handle)))), encodedSize);
    Value copy = memoryOf(encoded);
    fuzz::call(ignored, "fz-destroy", out);
    Value back = kNil, d = kNil;
    if (!fuzz::call(back, "fz-input", copy, makeInteger(encodedSize)) || !fuzz::call(d, "fz-base64", back, lineLength))
        fuzz::fail("a Base64 reader could not be made");
    std::string again;
    if (!readAll(d, again, bytes.size()))
        fuzz::fail("reading back raised an error");
    if (again != bytes)
        fuzz::fail("the round trip changed the bytes");
    if (streamOf(d).length() != static_cast<int64_t>(bytes.size()))
        fuzz::fail("the length read back differs");
    fuzz::call(ignored, "fz-destroy", d);
    fuzz::call(ignored, "fz-destroy", back);
    fuzz::dispose(copy);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return fuzz::run(argc, argv, base64Input, [] { fuzz::evalText(kSetup); });
}
