// fuzz/JpegFuzz.cpp: arbitrary bytes through the JPEG decoder (libjpeg's errors must come back to
// us instead of ending the process).
#include "Platform/Images/Images.h"
#include "fuzz/ImageFuzz.h"

namespace {

int jpegInput(const uint8_t* data, size_t size)
{
    Bytes bytes(data, size);
    int width, height;
    jpegSize(bytes, width, height);
    decodeJpeg(bytes);
    return 0;
}

} // namespace

VELORA_IMAGE_FUZZ_MAIN(jpegInput)
