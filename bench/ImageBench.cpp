// bench/ImageBench.cpp: pictures and image decoding beside ImageMagick's convert, in one run.
//   velora_image_bench [--dump DIR] [--seeds DIR]
// 1. Draws a 400 x 375 picture of our making (8-bit PackBitsRect plus shapes) 100 times into a
//    surface. 2. Decodes a 2-megapixel JPEG and PNG (written by our encoders) and times the same
//    decode by `convert FILE ppm:/dev/null` when ImageMagick is installed (scripts/deps.sh --bench).
// --dump writes the drawn picture and the decoded images as PNG to look at; --seeds writes small
// inputs for the image fuzz targets.
#include "Platform/Images/Images.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// A photograph-like test card: smooth gradients, rings and a few hard edges.
std::unique_ptr<Surface> testCard(int width, int height, int depth)
{
    auto s = std::make_unique<Surface>(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double dx = x - width / 2.0, dy = y - height / 2.0;
            double ring = 0.5 + 0.5 * std::sin(std::sqrt(dx * dx + dy * dy) / 9.0);
            uint8_t r = uint8_t(255.0 * x / width), g = uint8_t(255.0 * ring), b = uint8_t(255.0 * y / height);
            if ((x / 50 + y / 50) % 7 == 0)
                r = g = b = 20;
            s->setPixel(x, y, uint32_t(r) << 16 | uint32_t(g) << 8 | b);
        }
    if (depth == 24)
        return s;
    auto indexed = std::make_unique<Surface>(width, height, 8);
    DeviceContext to(*indexed);
    DeviceContext from(*s);
    to.bitBlt(indexed->bounds(), &from, { 0, 0 }, Rop3::SrcCopy);
    return indexed;
}

// The selector-like picture: an 8-bit bitmap with zones framed by shapes and lines.
std::vector<uint8_t> selectorPicture()
{
    std::vector<uint8_t> pict = writePicture(*testCard(400, 375, 8));
    // Insert shapes before the end opcode: frame rects, ovals and lines over the zones.
    pict.resize(pict.size() - 2);
    auto u16 = [&](int v) { pict.push_back(uint8_t(v >> 8)); pict.push_back(uint8_t(v)); };
    auto rect = [&](int l, int t, int r, int b) { u16(t); u16(l); u16(b); u16(r); };
    u16(0x0007); u16(3); u16(3); // pen size
    for (int i = 0; i < 6; ++i) {
        u16(0x0030); rect(20 + i * 60, 40, 70 + i * 60, 120);
        u16(0x0050); rect(20 + i * 60, 200, 70 + i * 60, 260);
        u16(0x0020); u16(300); u16(10 + i * 60); u16(360); u16(60 + i * 60);
    }
    u16(0x00FF);
    pict[0] = uint8_t(pict.size() >> 8);
    pict[1] = uint8_t(pict.size());
    return pict;
}

// Best of three runs of f, in seconds.
template <typename F> double best(F f)
{
    double result = 1e9;
    for (int i = 0; i < 3; ++i) {
        double start = now();
        f();
        result = std::min(result, now() - start);
    }
    return result;
}

// ImageMagick's convert as Debian installs it (not a wrapper earlier in PATH), else the one in PATH.
std::string convertProgram()
{
    if (FILE* f = std::fopen("/usr/bin/convert", "rb")) {
        std::fclose(f);
        return "/usr/bin/convert";
    }
    return "convert";
}

// The time convert takes for the same decodes, each run a process of its own.
double convertTime(const std::string& file, int repeat)
{
    const std::string convert = convertProgram();
    if (std::system((convert + " -version 2>/dev/null | grep -q ImageMagick").c_str()) != 0)
        return -1;
    std::string command = "for i in $(seq " + std::to_string(repeat) + "); do " + convert + " '" + file
        + "' ppm:/dev/null || exit 1; done";
    bool ok = true;
    double t = best([&] { ok = ok && std::system(command.c_str()) == 0; });
    return ok ? t : -1;
}

void report(const char* what, double ours, double peer)
{
    if (peer < 0)
        std::printf("%-28s %9.3f s   convert: not available (scripts/deps.sh --bench installs imagemagick)\n", what, ours);
    else
        std::printf("%-28s %9.3f s   convert %9.3f s   ratio velora/convert %.2f\n", what, ours, peer, ours / peer);
}

} // namespace

int main(int argc, char** argv)
{
    std::string dump, seeds;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--dump"))
            dump = argv[i + 1];
        else if (!std::strcmp(argv[i], "--seeds"))
            seeds = argv[i + 1];
    }
    if (!seeds.empty()) {
        auto small = testCard(12, 9, 24);
        writeFile(seeds + "/png/seed-rgb.png", encodePng(*small));
        writeFile(seeds + "/jpeg/seed-rgb.jpg", encodeJpeg(*small, 60));
        auto grey = std::make_unique<Surface>(8, 8, 24);
        grey->fill({ 99, 99, 99 });
        writeFile(seeds + "/jpeg/seed-grey.jpg", encodeJpeg(*grey, 80));
        writeFile(seeds + "/packedbitmap/seed-8bit", encodePackedBitmap(*small, 8));
        writeFile(seeds + "/packedbitmap/seed-16bit", encodePackedBitmap(*small, 16));
        writeFile(seeds + "/packedbitmap/seed-1bit", encodePackedBitmap(*small, 1));
        std::vector<uint8_t> pict = writePicture(*testCard(10, 6, 8));
        pict.insert(pict.begin(), 0);
        writeFile(seeds + "/pict/seed-writer8", pict);
        return 0;
    }

    // 1. The picture, drawn 100 times.
    std::vector<uint8_t> pict = selectorPicture();
    Surface target(400, 375, 32);
    DeviceContext dc(target);
    double drawTime = best([&] {
        for (int i = 0; i < 100; ++i)
            drawPicture(dc, pict, target.bounds(), -1, kBlack);
    });
    std::printf("picture 400x375, %zu bytes: drawn 100 times in %.3f s (%.2f ms each)\n", pict.size(), drawTime,
        drawTime * 10);

    // 2. A 2-megapixel JPEG and PNG, decoded 5 times each.
    auto card = testCard(1600, 1250, 24);
    std::vector<uint8_t> jpeg = encodeJpeg(*card, 85), png = encodePng(*card);
    const char* tmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    std::string jpegFile = std::string(tmp) + "/velora-bench.jpg", pngFile = std::string(tmp) + "/velora-bench.png";
    writeFile(jpegFile, jpeg);
    writeFile(pngFile, png);
    const int repeat = 5;
    DecodedImage decodedJpeg, decodedPng;
    double jpegTime = best([&] { for (int i = 0; i < repeat; ++i) decodedJpeg = decodeJpeg(jpeg); });
    double pngTime = best([&] { for (int i = 0; i < repeat; ++i) decodedPng = decodePng(png); });
    std::printf("decoding 1600x1250 (2 megapixels), %d times, best of 3:\n", repeat);
    report("JPEG (quality 85)", jpegTime, convertTime(jpegFile, repeat));
    report("PNG", pngTime, convertTime(pngFile, repeat));

    if (!dump.empty()) {
        writeFile(dump + "/picture-drawn.png", encodePng(target));
        if (decodedJpeg.surface)
            writeFile(dump + "/jpeg-decoded.png", encodePng(*decodedJpeg.surface));
        if (decodedPng.surface)
            writeFile(dump + "/png-decoded.png", encodePng(*decodedPng.surface));
    }
    std::remove(jpegFile.c_str());
    std::remove(pngFile.c_str());
    return 0;
}
