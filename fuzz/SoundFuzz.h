// fuzz/SoundFuzz.h: what the sound format fuzzers share: the driver and the checks that every
// accepted input lies inside its bytes and converts to data the other reader accepts with the
// same header.
#pragma once

#include "Interfac/SoundFormat.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace soundfuzz {

[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void checkInside(const SoundSamples& s, size_t size)
{
    if (s.offset > size || s.length > size - s.offset)
        fail("the samples lie outside the input");
    if (s.length != s.header.frames * s.header.channels * bytesPerSample(s.header.bits))
        fail("the sample bytes do not match the frames");
}

// Converted data must parse with the same channels, frames and bits.
inline void checkConverted(const SoundSamples& source, const std::optional<Bytes>& converted,
                           std::optional<SoundSamples> (*parse)(const uint8_t*, size_t))
{
    if (!converted)
        return;
    std::optional<SoundSamples> back = parse(converted->data(), converted->size());
    if (!back)
        fail("the converted data does not parse");
    checkInside(*back, converted->size());
    if (back->header.channels != source.header.channels || back->header.frames != source.header.frames
        || back->header.bits != source.header.bits)
        fail("the conversion changed the header");
}

inline int run(int argc, char** argv, int (*callback)(const uint8_t* data, size_t size))
{
    return LLVMFuzzerRunDriver(&argc, &argv, callback);
}

} // namespace soundfuzz
