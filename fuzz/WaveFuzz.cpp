// fuzz/WaveFuzz.cpp: WAVE data read as the player and the header query read it, and converted to
// a `snd ` resource and back.
#include "SoundFuzz.h"

namespace {

int readWave(const uint8_t* data, size_t size)
{
    waveFileHeader(data, size);
    std::optional<SoundSamples> s = parseWave(data, size);
    if (!s)
        return 0;
    soundfuzz::checkInside(*s, size);
    std::optional<Bytes> snd = waveToSndResource(data, size);
    if (!snd && s->header.rate <= 0xFFFF)
        soundfuzz::fail("valid WAVE data was not converted");
    soundfuzz::checkConverted(*s, snd, parseSndResource);
    if (snd) {
        std::optional<Bytes> wave = sndResourceToWave(snd->data(), snd->size());
        soundfuzz::checkConverted(*s, wave, parseWave);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) { return soundfuzz::run(argc, argv, readWave); }
