// Interfac/Picture.cpp: the Picture Module. Images are handles holding a PICT, a packed bitmap, a
// PNG or a JPEG; these primitives recognise, measure, re-mode and convert them.
#include "Interfac/Color.h"
#include "Interfac/Geometry.h"
#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"
#include "Platform/Images/Images.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr int32_t kPictureError = 29;

Value kwPicture, kwBmp, kwJpeg, kwPng;

// The handle's bytes, locked while the guard lives.
class LockedImage {
public:
    explicit LockedImage(Value image) : m_handle(toHandle(image))
    {
        if (!isHandle(m_handle))
            raiseWrongType(image);
        int32_t size = handleSize(m_handle);
        if (size > 0) {
            uint32_t address = lockHandle(m_handle);
            m_locked = true;
            m_bytes = { checkedRange(address, uint32_t(size), image), size_t(size) };
        }
    }
    ~LockedImage()
    {
        if (m_locked)
            unlockHandle(m_handle);
    }
    LockedImage(const LockedImage&) = delete;
    LockedImage& operator=(const LockedImage&) = delete;

    std::span<uint8_t> bytes() const { return m_bytes; }
    ImageFormat format() const { return recognizeImage(m_bytes); }

private:
    Handle m_handle;
    bool m_locked = false;
    std::span<uint8_t> m_bytes;
};

// A new image handle holding the bytes.
Value makeImage(const std::vector<uint8_t>& bytes)
{
    Value p = makePointer(gHandleKind, 0);
    Handle h = newHandle(uint32_t(bytes.size()));
    if (!h)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    if (!bytes.empty())
        std::memcpy(hostAddress(handleAddress(h)), bytes.data(), bytes.size());
    cellOf(p).cdr = h;
    return p;
}

// The size of a PNG, JPEG or packed bitmap; (0 0 0 0) when its header cannot be read.
Rect decodedSize(Bytes data, ImageFormat format)
{
    int width = 0, height = 0;
    bool ok = false;
    switch (format) {
    case ImageFormat::Png:
        ok = pngSize(data, width, height);
        break;
    case ImageFormat::Jpeg:
        ok = jpegSize(data, width, height);
        break;
    case ImageFormat::PackedBitmap: {
        // The header's size, even when the pixels that follow are damaged.
        auto le32 = [&](size_t at) { return int32_t(data[at] | data[at + 1] << 8 | data[at + 2] << 16 | uint32_t(data[at + 3]) << 24); };
        width = le32(4);
        height = int(std::min<int64_t>(std::abs(int64_t(le32(8))), INT32_MAX));
        ok = true;
        break;
    }
    default:
        break;
    }
    return ok ? Rect { 0, 0, width, height } : Rect {};
}

Value getImageRect(Value image, Value selector)
{
    Rect r;
    {
        LockedImage locked(image);
        ImageFormat format = locked.format();
        r = format == ImageFormat::Pict || format == ImageFormat::Unknown ? pictFrame(locked.bytes())
                                                                          : decodedSize(locked.bytes(), format);
    }
    return selectFromRect(r, selector);
}

Value getImageBitmapRect(Value image, Value selector)
{
    Rect r;
    {
        LockedImage locked(image);
        ImageFormat format = locked.format();
        if (format == ImageFormat::Unknown)
            raiseError(kPictureError, image);
        if (format == ImageFormat::Pict) {
            PictFacts facts = measurePicture(locked.bytes());
            r = facts.hasBitmap ? facts.lastBitmapDest : pictFrame(locked.bytes());
        } else {
            r = decodedSize(locked.bytes(), format);
        }
    }
    return selectFromRect(r, selector);
}

Value getImageMode(Value image)
{
    LockedImage locked(image);
    if (locked.format() != ImageFormat::Pict)
        return makeImmediate(0);
    PictFacts facts = measurePicture(locked.bytes());
    return facts.hasBitmap ? makeImmediate(facts.lastMode & ~0x40) : kNil;
}

Value setImageMode(Value image, Value mode)
{
    int newMode = toInt16(mode);
    LockedImage locked(image);
    if (locked.format() == ImageFormat::Pict)
        rewritePictureModes(locked.bytes(), newMode);
    return kNoValue;
}

// The image's depth, 0 when it has none.
int imageDepth(Bytes data, ImageFormat format)
{
    switch (format) {
    case ImageFormat::Png: case ImageFormat::Jpeg:
        return 24;
    case ImageFormat::PackedBitmap:
        return data[14] | data[15] << 8;
    case ImageFormat::Pict:
        return measurePicture(data).depth;
    case ImageFormat::Unknown:
        break;
    }
    return 0;
}

Value getImageDepth(Value image)
{
    LockedImage locked(image);
    int depth = imageDepth(locked.bytes(), locked.format());
    return depth ? makeImmediate(depth) : kNil;
}

Value isImageP(Value image, Value format)
{
    LockedImage locked(image);
    ImageFormat f = locked.format();
    return boolValue((format == kwPng && f == ImageFormat::Png) || (format == kwJpeg && f == ImageFormat::Jpeg)
        || (format == kwBmp && f == ImageFormat::PackedBitmap) || (format == kwPicture && f == ImageFormat::Pict));
}

Value isImageFileP(Value, Value) { return kNil; }

// ---- Conversion ----

// The depths a packed bitmap can have.
int bitmapDepth(int depth)
{
    for (int d : { 1, 4, 8, 16, 24 })
        if (depth <= d)
            return d;
    return 32;
}

// The surface at 8 bits (the standard palette) or 24 bits.
std::unique_ptr<Surface> surfaceAt(const Surface& source, int depth, Value culprit)
{
    auto s = Surface::make(source.width(), source.height(), depth);
    if (!s)
        raiseError(ErrorCode::MemoryExhausted, culprit);
    DeviceContext to(*s);
    DeviceContext from(const_cast<Surface&>(source));
    to.bitBlt(s->bounds(), &from, { 0, 0 }, Rop3::SrcCopy);
    return s;
}

std::vector<uint8_t> toJpeg(const Surface& source, int depth, int quality, Value culprit)
{
    auto s = surfaceAt(source, depth <= 8 ? 8 : 24, culprit);
    std::vector<uint8_t> out = encodeJpeg(*s, quality);
    if (out.empty())
        raiseError(kPictureError, culprit);
    return out;
}

std::vector<uint8_t> toPicture(const Surface& source, int depth, Value culprit)
{
    // An 8-bit source keeps its own colour table; others are quantised to the standard palette.
    const int target = depth > 8 ? 24 : 8;
    std::unique_ptr<Surface> converted;
    if (source.depth() != target)
        converted = surfaceAt(source, target, culprit);
    std::vector<uint8_t> out = writePicture(converted ? *converted : source);
    if (out.empty())
        raiseError(kPictureError, culprit);
    return out;
}

std::vector<uint8_t> toBitmap(const Surface& source, int depth, Value culprit)
{
    std::vector<uint8_t> out = encodePackedBitmap(source, bitmapDepth(depth));
    if (out.empty())
        raiseError(ErrorCode::MemoryExhausted, culprit);
    return out;
}

Value convertImage(Value image, Value format, Value depthArgument, Value qualityArgument)
{
    int quality = kDefaultJpegQuality;
    if (qualityArgument != kNil) {
        int q = toInt32(qualityArgument);
        quality = q > 99 ? 100 : q < 0 ? kDefaultJpegQuality : q;
    }
    std::vector<uint8_t> result;
    {
        LockedImage locked(image);
        const ImageFormat source = locked.format();
        if (source == ImageFormat::Unknown)
            raiseError(kPictureError, image);
        int depth;
        if (depthArgument == kNil)
            depth = imageDepth(locked.bytes(), source);
        else
            depth = toInt32(depthArgument);
        if (depth < 1)
            depth = screenDepth();
        if (format == kwJpeg && depth != 8 && depth != 24)
            depth = depth > 7 ? 24 : 8;

        // Packed bitmaps of the depth they already have are copied as they stand.
        if (source == ImageFormat::PackedBitmap && format == kwBmp && imageDepth(locked.bytes(), source) == depth) {
            PackedBitmapHeader header;
            if (!readPackedBitmapHeader(locked.bytes(), header))
                raiseError(kPictureError, image);
            result.assign(locked.bytes().begin(), locked.bytes().end());
        } else {
            DecodedImage decoded = renderImage(locked.bytes(), source == ImageFormat::Pict && depth <= 8 ? 8 : 24);
            if (!decoded.surface)
                raiseError(kPictureError, image);
            const Surface& pixels = *decoded.surface;
            if (source == ImageFormat::Pict) {
                if (format == kwPicture)
                    result = toPicture(pixels, depth, image);
                else if (format == kwBmp)
                    result = toBitmap(pixels, depth, image);
                else
                    result = toJpeg(pixels, depth, quality, image);
            } else if (format == kwBmp) {
                result = toBitmap(pixels, depth, image);
            } else if (format == kwJpeg) {
                result = toJpeg(pixels, depth, quality, image);
            } else {
                result = toPicture(pixels, depth, image);
            }
        }
    }
    return makeImage(result);
}

class PictureModule final : public Module {
public:
    PictureModule() : Module("Picture") {}
    void start() override
    {
        Module::start();
        kwPicture = makeKeyword("picture");
        kwBmp = makeKeyword("bmp");
        kwJpeg = makeKeyword("jpeg");
        kwPng = makeKeyword("png");
        defineFunction4("convert-image", convertImage);
        defineFunction2("get-image-rect", getImageRect);
        defineFunction2("get-image-bitmap-rect", getImageBitmapRect);
        defineFunction1("get-image-mode", getImageMode);
        defineFunction2("set-image-mode", setImageMode);
        defineFunction1("get-image-depth", getImageDepth);
        defineFunction2("is-image?", isImageP);
        defineFunction2("is-image-file?", isImageFileP);
    }
} thePictureModule;

} // namespace
