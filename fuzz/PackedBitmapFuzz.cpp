// fuzz/PackedBitmapFuzz.cpp: arbitrary bytes as a packed bitmap: header, decoding and drawing.
#include "Platform/Images/Images.h"
#include "fuzz/ImageFuzz.h"

namespace {

int packedBitmapInput(const uint8_t* data, size_t size)
{
    Bytes bytes(data, size);
    PackedBitmapHeader header;
    readPackedBitmapHeader(bytes, header);
    DecodedImage d = decodePackedBitmap(bytes);
    if (d.surface) {
        Surface s(16, 16, 24);
        DeviceContext dc(s);
        drawSurface(dc, *d.surface, d.surface->bounds(), s.bounds(), 36);
        encodePackedBitmap(*d.surface, 16);
    }
    return 0;
}

} // namespace

VELORA_IMAGE_FUZZ_MAIN(packedBitmapInput)
