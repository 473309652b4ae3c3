// Interfac/SoundFormat.h: the sound formats as bytes: WAVE (RIFF, little-endian), AIFF (big-endian)
// and `snd ` resources of format 1, their readers and the conversions between them.
//
// Every reader treats its input as untrusted: chunk sizes are checked against the bytes present,
// channels must be 1 or 2, sample sizes 8 or 16 bits, rates non-zero; sizes are computed in 64 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

using Bytes = std::vector<uint8_t>;

// What a sound header tells: channels, sample frames, bits per sample and sample rate in Hz.
struct SoundHeader {
    uint32_t channels = 0;
    uint64_t frames = 0;
    uint32_t bits = 0;
    uint32_t rate = 0;
    bool operator==(const SoundHeader&) const = default;
};

// PCM samples inside a buffer of sound data: the header and where the sample bytes lie.
struct SoundSamples {
    SoundHeader header;
    size_t offset = 0; // of the first sample byte in the parsed buffer
    size_t length = 0; // bytes of samples, whole frames only
};

inline uint32_t bytesPerSample(uint32_t bits) { return (bits + 7) / 8; }

// WAVE data as the player takes it: "RIFF"/"WAVE", at least 22 bytes, no shorter than the RIFF
// size + 8, exactly one PCM "fmt " chunk of at least 16 bytes and one "data" chunk, both inside
// the bytes present. Nothing when the data is not valid.
std::optional<SoundSamples> parseWave(const uint8_t* data, size_t size);
// The header of the first bytes of a WAVE file: the "data" chunk may extend past them, and its
// size gives the frames.
std::optional<SoundHeader> waveFileHeader(const uint8_t* data, size_t size);

// AIFF data: "FORM"/"AIFF" with a "COMM" and an "SSND" chunk that both start within the first
// 1024 bytes; the rate must be one of the known extended values. parseAiff also needs every
// sample present; aiffFileHeader reads a file's first bytes only.
std::optional<SoundSamples> parseAiff(const uint8_t* data, size_t size);
std::optional<SoundHeader> aiffFileHeader(const uint8_t* data, size_t size);

// A `snd ` resource of format 1 with one buffer command and a standard or extended header whose
// samples are all present.
std::optional<SoundSamples> parseSndResource(const uint8_t* data, size_t size);

// The rate of the first four bytes of an 80-bit extended sample rate (0 when unknown), and those
// four bytes for a rate (0 when the rate is not in the table).
uint32_t rateOfExtended(uint32_t firstFour);
uint32_t extendedOfRate(uint32_t rate);

// The 44-byte WAVE header this system writes; nothing when the data size does not fit.
std::optional<Bytes> waveHeader(uint32_t channels, uint32_t rate, uint32_t bits, uint64_t dataSize);

// The conversions; nothing when the source does not parse or the result cannot be expressed.
std::optional<Bytes> aiffToWave(const uint8_t* data, size_t size);
std::optional<Bytes> aiffToSndResource(const uint8_t* data, size_t size);
std::optional<Bytes> sndResourceToWave(const uint8_t* data, size_t size);
std::optional<Bytes> waveToSndResource(const uint8_t* data, size_t size);
