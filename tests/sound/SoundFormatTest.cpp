// tests/sound/SoundFormatTest.cpp: the WAVE, AIFF and `snd ` readers and converters, byte for byte
// against fixtures built here, and the refusal of damaged headers.
#include "Interfac/SoundFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void le16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
void le32(Bytes& b, uint32_t v) { le16(b, v & 0xFFFF); le16(b, v >> 16); }
void be16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); }
void be32(Bytes& b, uint32_t v) { be16(b, v >> 16); be16(b, v & 0xFFFF); }
void id(Bytes& b, const char* text) { b.insert(b.end(), text, text + 4); }
void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A RIFF file of the given chunks (each: id, then body; odd bodies get their pad byte).
struct Chunk {
    const char* id;
    Bytes body;
};
Bytes riff(const std::vector<Chunk>& chunks)
{
    Bytes rest;
    for (const Chunk& c : chunks) {
        id(rest, c.id);
        le32(rest, uint32_t(c.body.size()));
        append(rest, c.body);
        if (c.body.size() & 1)
            rest.push_back(0);
    }
    Bytes out;
    id(out, "RIFF");
    le32(out, uint32_t(rest.size() + 4));
    id(out, "WAVE");
    append(out, rest);
    return out;
}
Bytes fmt(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t bits)
{
    Bytes b;
    le16(b, tag);
    le16(b, channels);
    le32(b, rate);
    le32(b, rate * channels * ((bits + 7) / 8));
    le16(b, channels * ((bits + 7) / 8));
    le16(b, bits);
    return b;
}
Bytes wave(uint32_t channels, uint32_t rate, uint32_t bits, const Bytes& samples)
{
    return riff({ { "fmt ", fmt(1, channels, rate, bits) }, { "data", samples } });
}

// An AIFF file: COMM then SSND (an optional chunk before them).
Bytes aiff(uint32_t channels, uint32_t frames, uint32_t bits, uint32_t rateBytes, const Bytes& samples,
           const Bytes& before = {})
{
    Bytes rest = before;
    id(rest, "COMM");
    be32(rest, 18);
    be16(rest, channels);
    be32(rest, frames);
    be16(rest, bits);
    be32(rest, rateBytes);
    be32(rest, 0);
    be16(rest, 0);
    id(rest, "SSND");
    be32(rest, uint32_t(8 + samples.size()));
    be32(rest, 0);
    be32(rest, 0);
    append(rest, samples);
    Bytes out;
    id(out, "FORM");
    be32(out, uint32_t(rest.size() + 4));
    id(out, "AIFF");
    append(out, rest);
    return out;
}

std::string hex(const std::optional<Bytes>& b)
{
    if (!b)
        return "none";
    std::string s;
    char buffer[4];
    for (uint8_t c : *b) {
        std::snprintf(buffer, sizeof buffer, "%02X", c);
        s += buffer;
    }
    return s;
}

const std::string kSndCommon = "0001" "0001" "0005";
const std::string kSndCommand = "0001" "8051" "0000" "00000014" "00000000";

} // namespace

TEST(SoundFormat, WaveHeaderIsTheFixed44Bytes)
{
    EXPECT_EQ(hex(waveHeader(2, 22050, 16, 8)),
              "52494646" "2C000000" "57415645" "666D7420" "10000000" "0100" "0200" "22560000" "88580100" "0400"
              "1000" "64617461" "08000000");
    EXPECT_FALSE(waveHeader(1, 22050, 16, 0xFFFFFFFFull));
}

TEST(SoundFormat, MonoEightBitWaveToResourceAndBack)
{
    Bytes source = wave(1, 11025, 8, { 0x00, 0x7F, 0x80, 0xFF });
    std::optional<Bytes> snd = waveToSndResource(source.data(), source.size());
    EXPECT_EQ(hex(snd), kSndCommon + "00000080" + kSndCommand + "00000004" "2B110000" "00000000" "00000000" "00" "3C"
                            "007F80FF");
    std::optional<SoundSamples> parsed = parseSndResource(snd->data(), snd->size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->header, (SoundHeader { 1, 4, 8, 11025 }));
    EXPECT_EQ(hex(sndResourceToWave(snd->data(), snd->size())), hex(source));
}

TEST(SoundFormat, StereoSixteenBitWaveToResourceAndBack)
{
    Bytes source = wave(2, 44100, 16, { 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08 });
    std::optional<Bytes> snd = waveToSndResource(source.data(), source.size());
    EXPECT_EQ(hex(snd), kSndCommon + "000000C0" + kSndCommand + "00000002" "AC440000" "00000000" "00000000" "FF" "3C"
                            "00000002" "400EAC44000000000000" "00000000" "00000000" "00000000" "0010"
                            "0000000000000000000000000000" "0201040306050807");
    std::optional<SoundSamples> parsed = parseSndResource(snd->data(), snd->size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->header, (SoundHeader { 2, 2, 16, 44100 }));
    EXPECT_EQ(hex(sndResourceToWave(snd->data(), snd->size())), hex(source));
}

TEST(SoundFormat, AiffConversions)
{
    // 8-bit samples are signed in AIFF, unsigned in WAVE and in the resource.
    Bytes mono8 = aiff(1, 3, 8, 0x400DADDC, { 0x80, 0x00, 0x7F });
    // The written header counts the data size + 36: odd data gets no pad byte, and reads back.
    Bytes expected = wave(1, 22255, 8, { 0x00, 0x80, 0xFF });
    expected.pop_back();
    expected[4] -= 1;
    std::optional<Bytes> converted = aiffToWave(mono8.data(), mono8.size());
    EXPECT_EQ(hex(converted), hex(expected));
    ASSERT_TRUE(converted);
    EXPECT_TRUE(parseWave(converted->data(), converted->size()));
    EXPECT_EQ(hex(aiffToSndResource(mono8.data(), mono8.size())),
              kSndCommon + "00000080" + kSndCommand + "00000003" "56EE8BA3" "00000000" "00000000" "00" "3C" "0080FF");
    // 16-bit samples are big-endian in AIFF and in the resource.
    Bytes stereo16 = aiff(2, 1, 16, 0x400EBB80, { 0x12, 0x34, 0x56, 0x78 });
    EXPECT_EQ(hex(aiffToWave(stereo16.data(), stereo16.size())), hex(wave(2, 48000, 16, { 0x34, 0x12, 0x78, 0x56 })));
    std::optional<Bytes> snd = aiffToSndResource(stereo16.data(), stereo16.size());
    ASSERT_TRUE(snd);
    EXPECT_EQ(hex(Bytes(snd->begin() + 46, snd->begin() + 50)), "400EBB80");
    EXPECT_EQ(hex(Bytes(snd->begin() + 84, snd->end())), "12345678");
    EXPECT_EQ(aiffFileHeader(stereo16.data(), stereo16.size()), (SoundHeader { 2, 1, 16, 48000 }));
}

TEST(SoundFormat, OddChunksArePadded)
{
    Bytes withList = riff({ { "fmt ", fmt(1, 1, 8000, 8) }, { "LIST", { 'a', 'b', 'c' } }, { "data", { 1, 2 } } });
    std::optional<SoundSamples> s = parseWave(withList.data(), withList.size());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->length, 2u);
    EXPECT_EQ(withList[s->offset], 1);

    Bytes name;
    id(name, "NAME");
    be32(name, 5);
    name.insert(name.end(), { 'h', 'e', 'l', 'l', 'o', 0 });
    Bytes padded = aiff(1, 2, 8, 0x400CAC44, { 0x10, 0x20 }, name);
    EXPECT_EQ(hex(aiffToWave(padded.data(), padded.size())), hex(wave(1, 11025, 8, { 0x90, 0xA0 })));
}

TEST(SoundFormat, DamagedWaveIsRefused)
{
    Bytes good = wave(1, 8000, 8, { 1, 2, 3, 4 });
    Bytes longRiff = good;
    longRiff[4] += 1; // the RIFF size claims a byte more than present
    Bytes longData = good;
    longData[40] = 5; // the data chunk claims a byte more than present
    const struct {
        Bytes data;
        const char* why;
    } cases[] = {
        { Bytes(good.begin(), good.begin() + 21), "21 bytes" },
        { aiff(1, 1, 8, 0x400CAC44, { 0 }), "AIFF data" },
        { longRiff, "RIFF size past the end" },
        { longData, "data chunk past the end" },
        { riff({ { "fmt ", fmt(1, 1, 8000, 8) }, { "data", { 1 } }, { "data", { 2 } } }), "two data chunks" },
        { riff({ { "fmt ", fmt(1, 1, 8000, 8) }, { "fmt ", fmt(1, 1, 8000, 8) }, { "data", { 1 } } }), "two fmt chunks" },
        { riff({ { "data", { 1, 2 } } }), "no fmt chunk" },
        { riff({ { "fmt ", fmt(1, 1, 8000, 8) } }), "no data chunk" },
        { riff({ { "fmt ", Bytes(14, 1) }, { "data", { 1 } } }), "fmt of 14 bytes" },
        { riff({ { "fmt ", fmt(3, 1, 8000, 8) }, { "data", { 1 } } }), "not PCM" },
        { wave(0, 8000, 8, { 1, 2 }), "no channels" },
        { wave(3, 8000, 8, { 1, 2, 3 }), "three channels" },
        { wave(1, 8000, 12, { 1, 2 }), "12-bit samples" },
        { wave(1, 0, 8, { 1, 2 }), "rate 0" },
    };
    EXPECT_TRUE(parseWave(good.data(), good.size()));
    for (auto& c : cases) {
        EXPECT_FALSE(parseWave(c.data.data(), c.data.size())) << c.why;
        EXPECT_FALSE(waveToSndResource(c.data.data(), c.data.size())) << c.why;
    }
}

TEST(SoundFormat, DamagedAiffIsRefused)
{
    Bytes longFrames = aiff(1, 3, 8, 0x400CAC44, { 1, 2 });
    Bytes late = aiff(1, 1, 8, 0x400CAC44, { 1 }, [] {
        Bytes filler;
        id(filler, "FILL");
        be32(filler, 1100);
        filler.resize(filler.size() + 1100);
        return filler;
    }());
    const struct {
        Bytes data;
        const char* why;
    } cases[] = {
        { aiff(1, 1, 8, 0x400BFA00, { 1 }), "8000 Hz is not in the table" },
        { aiff(3, 1, 8, 0x400CAC44, { 1, 2, 3 }), "three channels" },
        { aiff(1, 1, 24, 0x400CAC44, { 1, 2, 3 }), "24-bit samples" },
        { late, "chunks beyond the first 1024 bytes" },
        { longFrames, "more frames than samples" },
        { Bytes(longFrames.begin(), longFrames.begin() + 30), "cut inside COMM" },
        { wave(1, 8000, 8, { 1 }), "WAVE data" },
        { [&] { Bytes b = longFrames; b[43] = 0x77; b[49] = 0xFF; return b; }(), "a sample offset past the end" },
    };
    Bytes good = aiff(1, 2, 8, 0x400CAC44, { 1, 2 });
    EXPECT_TRUE(parseAiff(good.data(), good.size()));
    for (auto& c : cases) {
        EXPECT_FALSE(parseAiff(c.data.data(), c.data.size())) << c.why;
        EXPECT_FALSE(aiffToWave(c.data.data(), c.data.size())) << c.why;
        EXPECT_FALSE(aiffToSndResource(c.data.data(), c.data.size())) << c.why;
    }
    // The header of a file's first bytes does not need the samples.
    EXPECT_EQ(aiffFileHeader(longFrames.data(), longFrames.size()), (SoundHeader { 1, 3, 8, 11025 }));
    EXPECT_FALSE(aiffFileHeader(cases[0].data.data(), cases[0].data.size()));
}

TEST(SoundFormat, WaveFileHeaderFromTheFirstBytes)
{
    Bytes file = wave(2, 22050, 16, Bytes(4000, 0));
    file.resize(1024);
    EXPECT_FALSE(parseWave(file.data(), file.size()));
    EXPECT_EQ(waveFileHeader(file.data(), file.size()), (SoundHeader { 2, 1000, 16, 22050 }));
}

TEST(SoundFormat, DamagedResourceIsRefused)
{
    Bytes source = wave(2, 22050, 16, { 1, 2, 3, 4 });
    Bytes good = *waveToSndResource(source.data(), source.size());
    auto changed = [&](size_t at, uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    const struct {
        Bytes data;
        const char* why;
    } cases[] = {
        { Bytes(good.begin(), good.begin() + 41), "shorter than a header" },
        { Bytes(good.begin(), good.end() - 1), "a sample missing" },
        { changed(1, 2), "format 2" },
        { changed(13, 0x50), "another command" },
        { changed(19, 0x16), "header not at 20" },
        { changed(23, 1), "a sample pointer" },
        { changed(27, 3), "three channels" },
        { changed(40, 0xFE), "compressed header" },
        { changed(69, 12), "12-bit samples" },
        { changed(45, 0xFF), "frames past the end" },
        { [&] { Bytes b = changed(28, 0); b[29] = 0; return b; }(), "rate below 1 Hz" },
        { [&] { Bytes b = good; for (int i = 42; i < 46; ++i) b[i] = 0xFF; return b; }(), "2^32 - 1 frames" },
    };
    EXPECT_TRUE(parseSndResource(good.data(), good.size()));
    for (auto& c : cases) {
        EXPECT_FALSE(parseSndResource(c.data.data(), c.data.size())) << c.why;
        EXPECT_FALSE(sndResourceToWave(c.data.data(), c.data.size())) << c.why;
    }
}

TEST(SoundFormat, RatesBeyondSixteenBitsCannotBeAResource)
{
    Bytes fast = wave(1, 96000, 8, { 1 });
    EXPECT_TRUE(parseWave(fast.data(), fast.size()));
    EXPECT_FALSE(waveToSndResource(fast.data(), fast.size()));
}
