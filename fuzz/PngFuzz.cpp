// fuzz/PngFuzz.cpp: arbitrary bytes through the PNG decoder (libpng's errors must come back to us).
#include "Platform/Images/Images.h"
#include "fuzz/ImageFuzz.h"

namespace {

int pngInput(const uint8_t* data, size_t size)
{
    Bytes bytes(data, size);
    int width, height;
    pngSize(bytes, width, height);
    decodePng(bytes);
    return 0;
}

} // namespace

VELORA_IMAGE_FUZZ_MAIN(pngInput)
