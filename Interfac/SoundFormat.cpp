// Interfac/SoundFormat.cpp: the WAVE, AIFF and `snd ` readers and converters (pure byte code).
#include "Interfac/SoundFormat.h"

#include <cstring>

namespace {

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }
uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | uint32_t(p[1]); }
uint32_t be32(const uint8_t* p) { return be16(p) << 16 | be16(p + 2); }
bool isId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

void putLe16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
void putLe32(Bytes& b, uint32_t v) { putLe16(b, v & 0xFFFF); putLe16(b, v >> 16); }
void putId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }
void setBe16(Bytes& b, size_t at, uint32_t v) { b[at] = uint8_t(v >> 8); b[at + 1] = uint8_t(v); }
void setBe32(Bytes& b, size_t at, uint32_t v) { setBe16(b, at, v >> 16); setBe16(b, at + 2, v & 0xFFFF); }

bool validShape(uint32_t channels, uint32_t bits) { return (channels == 1 || channels == 2) && (bits == 8 || bits == 16); }

// The samples of a header in [offset, offset + available): whole frames only.
SoundSamples wholeFrames(SoundHeader h, size_t offset, uint64_t available)
{
    uint64_t frameBytes = uint64_t(h.channels) * bytesPerSample(h.bits);
    h.frames = available / frameBytes;
    return { h, offset, size_t(h.frames * frameBytes) };
}

// A "fmt " chunk of PCM data with a shape this system plays.
std::optional<SoundHeader> waveFormat(const uint8_t* body, uint64_t size)
{
    if (size < 16 || le16(body) != 1)
        return std::nullopt;
    SoundHeader h { le16(body + 2), 0, le16(body + 14), le32(body + 4) };
    if (!validShape(h.channels, h.bits) || h.rate == 0)
        return std::nullopt;
    return h;
}

struct WaveChunks {
    std::optional<SoundHeader> format;
    bool hasData = false;
    uint64_t dataOffset = 0, dataSize = 0;
};

// Walks the chunks of WAVE data up to end. Complete: every chunk must lie inside the bytes; else
// (the first bytes of a file) the walk stops at a chunk that runs past them, keeping the size of
// a "data" chunk.
std::optional<WaveChunks> walkWave(const uint8_t* data, uint64_t end, bool complete)
{
    WaveChunks found;
    uint64_t pos = 12;
    while (end >= pos + 8) {
        const uint8_t* id = data + pos;
        uint64_t size = le32(data + pos + 4), body = pos + 8;
        bool inside = size <= end - body;
        if (isId(id, "fmt ")) {
            if (found.format || !inside || !(found.format = waveFormat(data + body, size)))
                return std::nullopt;
        } else if (isId(id, "data")) {
            if (found.hasData || (complete && !inside))
                return std::nullopt;
            found.hasData = true;
            found.dataOffset = body;
            found.dataSize = size;
        } else if (complete && !inside) {
            return std::nullopt;
        }
        if (!inside)
            break;
        pos = body + size + (size & 1);
    }
    return found;
}

struct AiffChunks {
    std::optional<SoundHeader> format;
    bool hasSound = false;
    uint64_t soundOffset = 0, soundAvailable = 0; // the samples after the offset field
};

constexpr uint64_t kAiffHeaderWindow = 1024;

// Walks the chunks of AIFF data; "COMM" and "SSND" must start in the first 1024 bytes and the
// "COMM" chunk must be present whole. Odd chunks are followed by a pad byte.
std::optional<AiffChunks> walkAiff(const uint8_t* data, uint64_t size)
{
    if (size < 12 || !isId(data, "FORM") || !isId(data + 8, "AIFF"))
        return std::nullopt;
    AiffChunks found;
    uint64_t pos = 12;
    while (size >= pos + 8 && pos < kAiffHeaderWindow && !(found.format && found.hasSound)) {
        const uint8_t* id = data + pos;
        uint64_t chunkSize = be32(data + pos + 4), body = pos + 8;
        if (isId(id, "COMM")) {
            if (found.format || chunkSize < 18 || chunkSize > size - body)
                return std::nullopt;
            const uint8_t* c = data + body;
            int channels = int16_t(be16(c)), bits = int16_t(be16(c + 6));
            uint32_t rate = rateOfExtended(be32(c + 8));
            if (channels < 1 || bits < 1 || !validShape(uint32_t(channels), uint32_t(bits)) || rate == 0)
                return std::nullopt;
            found.format = SoundHeader { uint32_t(channels), be32(c + 2), uint32_t(bits), rate };
        } else if (isId(id, "SSND")) {
            if (found.hasSound || chunkSize < 8)
                return std::nullopt;
            found.hasSound = true;
            if (size >= body + 8) {
                uint64_t offset = be32(data + body);
                if (offset > chunkSize - 8)
                    return std::nullopt;
                found.soundOffset = body + 8 + offset;
                found.soundAvailable = chunkSize - 8 - offset;
            }
        }
        pos = body + chunkSize + (chunkSize & 1);
    }
    if (!found.format || !found.hasSound)
        return std::nullopt;
    return found;
}

void appendSamples(Bytes& out, const uint8_t* samples, size_t length, uint32_t bits, bool flipSign, bool swap)
{
    size_t start = out.size();
    out.insert(out.end(), samples, samples + length);
    uint8_t* p = out.data() + start;
    if (bits == 8 && flipSign) {
        for (size_t i = 0; i < length; ++i)
            p[i] ^= 0x80; // signed to unsigned and back: 128 added modulo 256
    } else if (bits == 16 && swap) {
        for (size_t i = 0; i + 1 < length; i += 2)
            std::swap(p[i], p[i + 1]);
    }
}

std::optional<Bytes> waveOf(const SoundSamples& s, const uint8_t* data, bool flipSign, bool swap)
{
    std::optional<Bytes> out = waveHeader(s.header.channels, s.header.rate, s.header.bits, s.length);
    if (out)
        appendSamples(*out, data + s.offset, s.length, s.header.bits, flipSign, swap);
    return out;
}

// A `snd ` resource: the standard header for mono 8-bit sound, else the extended one.
std::optional<Bytes> sndResourceOf(const SoundSamples& s, const uint8_t* data, uint32_t fixedRate, bool flipSign,
                                   bool swap)
{
    const SoundHeader& h = s.header;
    if (h.frames > 0xFFFFFFFF)
        return std::nullopt;
    bool standard = h.channels == 1 && h.bits == 8;
    Bytes out(standard ? 42 : 84, 0);
    setBe16(out, 0, 1);
    setBe16(out, 2, 1);
    setBe16(out, 4, 5);
    setBe32(out, 6, h.channels == 1 ? 0x80 : 0xC0);
    setBe16(out, 10, 1);
    setBe16(out, 12, 0x8051);
    setBe32(out, 16, 20);
    setBe32(out, 24, standard ? uint32_t(h.frames) : h.channels);
    setBe32(out, 28, fixedRate);
    out[40] = standard ? 0 : 0xFF;
    out[41] = 60;
    if (!standard) {
        setBe32(out, 42, uint32_t(h.frames));
        setBe32(out, 46, extendedOfRate(h.rate));
        setBe16(out, 68, h.bits);
    }
    appendSamples(out, data + s.offset, s.length, h.bits, flipSign, swap);
    return out;
}

} // namespace

uint32_t rateOfExtended(uint32_t firstFour)
{
    switch (firstFour) {
    case 0x400BE7D1: return 7418;
    case 0x400CAC44: return 11025;
    case 0x400DAC44: return 22050;
    case 0x400DADDC:
    case 0x400DADDD: return 22255;
    case 0x400EAC44: return 44100;
    case 0x400EBB80: return 48000;
    default: return 0;
    }
}

uint32_t extendedOfRate(uint32_t rate)
{
    switch (rate) {
    case 7418: return 0x400BE7D1;
    case 11025: return 0x400CAC44;
    case 22050: return 0x400DAC44;
    case 22255: return 0x400DADDD;
    case 44100: return 0x400EAC44;
    case 48000: return 0x400EBB80;
    default: return 0;
    }
}

std::optional<SoundSamples> parseWave(const uint8_t* data, size_t size)
{
    if (size < 22 || !isId(data, "RIFF") || !isId(data + 8, "WAVE"))
        return std::nullopt;
    uint64_t end = uint64_t(le32(data + 4)) + 8;
    if (end > size)
        return std::nullopt;
    std::optional<WaveChunks> chunks = walkWave(data, end, true);
    if (!chunks || !chunks->format || !chunks->hasData)
        return std::nullopt;
    return wholeFrames(*chunks->format, size_t(chunks->dataOffset), chunks->dataSize);
}

std::optional<SoundHeader> waveFileHeader(const uint8_t* data, size_t size)
{
    if (size < 12 || !isId(data, "RIFF") || !isId(data + 8, "WAVE"))
        return std::nullopt;
    std::optional<WaveChunks> chunks = walkWave(data, size, false);
    if (!chunks || !chunks->format || !chunks->hasData)
        return std::nullopt;
    SoundHeader h = *chunks->format;
    h.frames = chunks->dataSize * 8 / (uint64_t(h.channels) * h.bits);
    return h;
}

std::optional<SoundSamples> parseAiff(const uint8_t* data, size_t size)
{
    std::optional<AiffChunks> chunks = walkAiff(data, size);
    if (!chunks || chunks->soundOffset == 0)
        return std::nullopt;
    SoundHeader h = *chunks->format;
    uint64_t needed = h.frames * h.channels * bytesPerSample(h.bits);
    if (needed > chunks->soundAvailable || chunks->soundOffset > size || needed > size - chunks->soundOffset)
        return std::nullopt;
    return SoundSamples { h, size_t(chunks->soundOffset), size_t(needed) };
}

std::optional<SoundHeader> aiffFileHeader(const uint8_t* data, size_t size)
{
    std::optional<AiffChunks> chunks = walkAiff(data, size);
    if (!chunks)
        return std::nullopt;
    return chunks->format;
}

std::optional<SoundSamples> parseSndResource(const uint8_t* data, size_t size)
{
    if (size < 42 || be16(data) != 1 || be16(data + 2) != 1 || be16(data + 4) != 5 || be16(data + 10) != 1
        || be16(data + 12) != 0x8051 || be32(data + 16) != 20 || be32(data + 20) != 0)
        return std::nullopt;
    uint32_t rate = be32(data + 28) >> 16;
    if (rate == 0)
        return std::nullopt;
    SoundHeader h;
    size_t offset;
    if (data[40] == 0) {
        h = { 1, be32(data + 24), 8, rate };
        offset = 42;
    } else if (data[40] == 0xFF && size >= 84) {
        h = { be32(data + 24), be32(data + 42), be16(data + 68), rate };
        offset = 84;
        if (!validShape(h.channels, h.bits))
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    uint64_t needed = h.frames * h.channels * bytesPerSample(h.bits);
    if (needed > size - offset)
        return std::nullopt;
    return SoundSamples { h, offset, size_t(needed) };
}

std::optional<Bytes> waveHeader(uint32_t channels, uint32_t rate, uint32_t bits, uint64_t dataSize)
{
    uint64_t blockAlign = uint64_t(channels) * bytesPerSample(bits);
    uint64_t perSecond = rate * blockAlign;
    if (dataSize > 0xFFFFFFFFull - 36 || perSecond > 0xFFFFFFFF || blockAlign > 0xFFFF || channels > 0xFFFF
        || bits > 0xFFFF)
        return std::nullopt;
    Bytes out;
    out.reserve(44 + dataSize);
    putId(out, "RIFF");
    putLe32(out, uint32_t(dataSize + 36));
    putId(out, "WAVE");
    putId(out, "fmt ");
    putLe32(out, 16);
    putLe16(out, 1);
    putLe16(out, channels);
    putLe32(out, rate);
    putLe32(out, uint32_t(perSecond));
    putLe16(out, uint32_t(blockAlign));
    putLe16(out, bits);
    putId(out, "data");
    putLe32(out, uint32_t(dataSize));
    return out;
}

std::optional<Bytes> aiffToWave(const uint8_t* data, size_t size)
{
    std::optional<SoundSamples> s = parseAiff(data, size);
    return s ? waveOf(*s, data, true, true) : std::nullopt;
}

std::optional<Bytes> aiffToSndResource(const uint8_t* data, size_t size)
{
    std::optional<SoundSamples> s = parseAiff(data, size);
    if (!s)
        return std::nullopt;
    uint32_t fixedRate = s->header.rate == 22255 ? 0x56EE8BA3 : s->header.rate << 16;
    return sndResourceOf(*s, data, fixedRate, true, false);
}

std::optional<Bytes> sndResourceToWave(const uint8_t* data, size_t size)
{
    std::optional<SoundSamples> s = parseSndResource(data, size);
    return s ? waveOf(*s, data, false, true) : std::nullopt;
}

std::optional<Bytes> waveToSndResource(const uint8_t* data, size_t size)
{
    std::optional<SoundSamples> s = parseWave(data, size);
    // The resource keeps the rate in 16.16 fixed point.
    if (!s || s->header.rate > 0xFFFF)
        return std::nullopt;
    return sndResourceOf(*s, data, s->header.rate << 16, false, true);
}
