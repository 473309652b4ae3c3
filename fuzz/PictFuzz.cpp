// fuzz/PictFuzz.cpp: arbitrary bytes as a picture through all five operation tables: drawn into
// 8- and 24-bit surfaces (the first byte picks a destination, scaled or not), measured (bitmap
// rect, mode and depth in one pass) and mode-rewritten in place. Nothing may crash, hang or read
// outside the data.
#include "Platform/Images/Images.h"
#include "fuzz/ImageFuzz.h"

#include <vector>

namespace {

int pictInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int pick = data[0];
    std::vector<uint8_t> bytes(data + 1, data + size);
    Rect frame = pictFrame(bytes);
    const Rect dests[] = { frame, { 0, 0, 24, 24 }, { -5, -5, 3, 40 }, { 3, 3, 3, 3 } };
    Surface s(24, 24, pick & 4 ? 8 : 24);
    DeviceContext dc(s);
    drawPicture(dc, bytes, dests[pick & 3], pick & 8 ? 36 : -1, pick & 16 ? Rgb { 255, 0, 0 } : kBlack);
    measurePicture(bytes);
    rewritePictureModes(bytes, pick);
    return 0;
}

} // namespace

VELORA_IMAGE_FUZZ_MAIN(pictInput)
