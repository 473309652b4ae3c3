// fuzz/AiffFuzz.cpp: AIFF data read whole and as a file's first bytes, and converted to WAVE data
// and to a `snd ` resource.
#include "SoundFuzz.h"

namespace {

int readAiff(const uint8_t* data, size_t size)
{
    std::optional<SoundHeader> header = aiffFileHeader(data, size);
    std::optional<SoundSamples> s = parseAiff(data, size);
    if (!s)
        return 0;
    if (!header || !(*header == s->header))
        soundfuzz::fail("the header query disagrees with the reader");
    soundfuzz::checkInside(*s, size);
    soundfuzz::checkConverted(*s, aiffToWave(data, size), parseWave);
    soundfuzz::checkConverted(*s, aiffToSndResource(data, size), parseSndResource);
    return 0;
}

} // namespace

int main(int argc, char** argv) { return soundfuzz::run(argc, argv, readAiff); }
