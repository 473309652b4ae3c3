// fuzz/SndFuzz.cpp: `snd ` resources read and converted to WAVE data.
#include "SoundFuzz.h"

namespace {

int readSnd(const uint8_t* data, size_t size)
{
    std::optional<SoundSamples> s = parseSndResource(data, size);
    if (!s)
        return 0;
    soundfuzz::checkInside(*s, size);
    std::optional<Bytes> wave = sndResourceToWave(data, size);
    if (!wave)
        soundfuzz::fail("a valid resource was not converted");
    soundfuzz::checkConverted(*s, wave, parseWave);
    return 0;
}

} // namespace

int main(int argc, char** argv) { return soundfuzz::run(argc, argv, readSnd); }
