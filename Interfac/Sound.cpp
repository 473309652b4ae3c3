// Interfac/Sound.cpp: the Sound Module: playing WAVE data from handles and `snd ` resources,
// recording a clip into a WAVE file, the output volume and the sound format conversions.
#include "Interfac/Pathname.h"
#include "Interfac/Resource.h"
#include "Interfac/SoundFormat.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Recycle.h"
#include "Kernel/Stream.h"
#include "Kernel/Symbol.h"
#include "Platform/Audio/Audio.h"
#include "Platform/Clock/Clock.h"
#include "Platform/Files/Files.h"

#include <cmath>
#include <cstring>

namespace {

// Result codes of the players.
constexpr int kNotWave = -1;
constexpr int kPrepareFailed = -2;
constexpr int kNoSoundResource = -204;
constexpr int32_t kRecordSoundUnsupported = 47;

const ResType kSoundType = resTypeFromText("snd ");

Value gSoundQueueSymbol = kNil; // Sound-Queue
// The recording under way or finished: its pathname (nil when none is under way), the host path
// the file goes to, and who is told when it is done.
Value gRecordPath = kNil;
std::string gRecordHostPath;
Value gRecordOwner = kNil;
Value gRecordMessage = kNil;
bool gRecordFinished = false;
// The volume control: opened once the volume has been used.
bool gMixerOpen = false;
uint32_t gSystemVolume = 0;
uint32_t gApplicationVolume = 0;

Value truth(bool b) { return b ? kTrue : kNil; }

// ---- Playing ----

// Queues the WAVE data of a locked handle; waits until it has been played unless in the background.
int playWave(Handle h, bool background)
{
    const uint8_t* data = hostAddress(handleAddress(h));
    std::optional<SoundSamples> wave = parseWave(data, size_t(handleSize(h)));
    if (!wave)
        return kNotWave;
    const SoundHeader& header = wave->header;
    if (!audioQueueSound(data + wave->offset, wave->length, { header.channels, header.rate, header.bits })) {
        if (!background)
            audioCloseOutput();
        return kPrepareFailed;
    }
    if (!background) {
        // FIXME: pump events while waiting, once the event loop exists.
        while (!audioOutputDone())
            clockSleepMilliseconds(2);
    }
    return 0;
}

bool isResourceValue(Value v)
{
    PointerKind* kind = pointerKind(pointerKindIndex(v));
    return kind && std::strcmp(kind->name(), "resource") == 0;
}

void finishRecording();
void deliverFinishedRecording();

void stopSounds()
{
    if (audioOutputOpen()) {
        audioCloseOutput();
    } else if (audioRecording()) {
        if (audioRecordingFilled()) {
            finishRecording();
        } else {
            audioCloseRecording();
            gRecordPath = kNil;
        }
        deliverFinishedRecording();
    }
    for (Value queue = symbolValue(gSoundQueueSymbol); isPair(queue); queue = cdr(queue)) {
        Value sound = car(queue);
        Handle h = pointerAddress(sound);
        if (isHandle(h)) {
            unlockHandle(h);
            if (isResourceValue(sound))
                setHandlePurgeable(h, true);
        }
    }
    setSymbolValue(gSoundQueueSymbol, kNil);
}

// A sound argument: a `snd ` resource ID or a handle. 0 when no resource has that ID.
Handle soundHandle(Value sound, bool& isResource)
{
    isResource = isInteger(sound);
    return isResource ? getResource(kSoundType, int16_t(toInt32(sound))) : toHandle(sound);
}

Value playSound(Value sound)
{
    stopSounds();
    bool isResource;
    Handle h = soundHandle(sound, isResource);
    if (!h)
        return makeInteger(kNoSoundResource);
    lockHandle(h);
    int result = playWave(h, false);
    audioCloseOutput();
    unlockHandle(h);
    if (isResource)
        setHandlePurgeable(h, true);
    return makeInteger(result);
}

Value playSoundBackground(Value sounds)
{
    stopSounds();
    int result = 0;
    Value rest = isPair(sounds) ? sounds : cons(sounds, kNil);
    for (; isPair(rest) && result == 0; rest = cdr(rest)) {
        Value sound = car(rest);
        bool isResource;
        Handle h = soundHandle(sound, isResource);
        if (!h) {
            stopSounds();
            return makeInteger(kNoSoundResource);
        }
        if (isResource)
            sound = resourceValue(h);
        lockHandle(h);
        setSymbolValue(gSoundQueueSymbol, cons(sound, symbolValue(gSoundQueueSymbol)));
        result = playWave(h, true);
        if (result != 0)
            stopSounds();
    }
    return makeInteger(result);
}

Value stopSoundsPrimitive()
{
    stopSounds();
    return kNoValue;
}

// A short tone of 880 Hz, queued like a sound in the background.
Value sysbeep()
{
    constexpr uint32_t kRate = 22050, kFrames = kRate / 8;
    std::vector<uint8_t> tone(kFrames * 2);
    for (uint32_t i = 0; i < kFrames; ++i) {
        auto sample = int16_t(std::lround(8000 * std::sin(2 * M_PI * 880 * i / kRate)));
        tone[2 * i] = uint8_t(uint16_t(sample));
        tone[2 * i + 1] = uint8_t(uint16_t(sample) >> 8);
    }
    if (!audioRecording())
        audioQueueSound(tone.data(), tone.size(), { 1, kRate, 16 });
    return kNoValue;
}

Value canPlaySound() { return truth(audioHasOutputDevice()); }
Value soundPlaying() { return truth(audioOutputOpen()); }

// ---- Recording ----

Value recordSound(Value, Value) { raiseError(kRecordSoundUnsupported, kNil); }

Value startSoundRecording(Value path, Value, Value duration, Value message)
{
    stopSounds();
    int64_t milliseconds = toInt64(duration);
    std::string host;
    int error = 0;
    if (milliseconds <= 0 || milliseconds > int64_t(1) << 40 || !hostPathOf(path, host, error))
        return kNil;
    uint64_t bytes = (uint64_t(milliseconds) * 44100 / 1000 + 2) & ~uint64_t(1);
    // The WAVE file's sizes are 32 bits.
    if (bytes > 0xFFFFFFFFull - 44 || !audioStartRecording(size_t(bytes)))
        return kNil;
    gRecordPath = path;
    gRecordHostPath = host;
    gRecordOwner = gSelf;
    gRecordMessage = message;
    gRecordFinished = false;
    return kTrue;
}

Value soundRecording() { return truth(audioRecording()); }

// Writes the WAVE file of a full recording. A file that cannot be written ends the recording
// without a done message and raises the file error with the pathname.
void finishRecording()
{
    std::vector<uint8_t> samples = audioTakeRecording();
    Value path = gRecordPath;
    gRecordPath = kNil;
    std::optional<Bytes> file = waveHeader(1, kAudioRecordRate, 16, samples.size());
    file->insert(file->end(), samples.begin(), samples.end());
    HostFile out;
    FileError error = out.open(gRecordHostPath, FileAccess::ReadWrite, FileCreate::Truncate);
    if (!failed(error))
        error = out.write(0, file->data(), file->size());
    if (!failed(error))
        error = out.close();
    if (failed(error)) {
        gRecordOwner = gRecordMessage = kNil;
        raiseFileError(int(error), path);
    }
    gRecordFinished = true;
}

void deliverFinishedRecording()
{
    if (!gRecordFinished || isNil(gRecordMessage))
        return;
    gRecordFinished = false;
    Value owner = gRecordOwner, message = gRecordMessage;
    gRecordOwner = gRecordMessage = kNil;
    sendMessage(owner, message, nullptr, 0);
}

// ---- Volume ----

bool openMixer()
{
    if (!gMixerOpen) {
        gSystemVolume = audioVolume();
        gMixerOpen = true;
    }
    return true;
}

Value getSoundVolume()
{
    if (!openMixer())
        return kNil;
    return cons(makeInteger(audioVolume()), kNil);
}

Value setSoundVolume(Value volume)
{
    int64_t v = toInt64(isPair(volume) ? car(volume) : volume);
    if (v < 0)
        raiseWrongType(volume);
    if (!openMixer())
        return kNil;
    audioSetVolume(uint32_t(std::min<int64_t>(v, 65535)));
    return kTrue;
}

// ---- Headers and conversions ----

Value headerList(const SoundHeader& h)
{
    // Built from the end: each cell is held by the next one as it is made.
    Value list = cons(makeInteger(h.rate), kNil);
    list = cons(makeInteger(h.bits), list);
    list = cons(makeInteger(int64_t(h.frames)), list);
    return cons(makeInteger(h.channels), list);
}

// The bytes of a file (at most limit of them); false when it cannot be read.
bool readFile(Value path, uint64_t limit, Bytes& bytes)
{
    std::string host;
    int error = 0;
    HostFile in;
    uint64_t size = 0;
    if (!hostPathOf(path, host, error) || failed(in.open(host, FileAccess::Read, FileCreate::Existing))
        || failed(in.size(size)))
        return false;
    size = std::min(size, limit);
    if (size > 0xFFFFFFFF)
        return false;
    bytes.resize(size_t(size));
    size_t done = 0;
    if (failed(in.read(0, bytes.data(), bytes.size(), done)))
        return false;
    bytes.resize(done);
    return true;
}

bool writeFile(Value path, const Bytes& bytes)
{
    std::string host;
    int error = 0;
    HostFile out;
    return hostPathOf(path, host, error) && !failed(out.open(host, FileAccess::ReadWrite, FileCreate::Truncate))
        && !failed(out.write(0, bytes.data(), bytes.size())) && !failed(out.close());
}

// A new handle holding the bytes; nil when there are none or no memory.
Value handleOf(const std::optional<Bytes>& bytes)
{
    if (!bytes || bytes->size() > 0xFFFFFFFF)
        return kNil;
    Handle h = newHandle(uint32_t(bytes->size()));
    if (!h)
        return kNil;
    if (!bytes->empty())
        std::memcpy(hostAddress(handleAddress(h)), bytes->data(), bytes->size());
    return makePointer(gHandleKind, h);
}

// The bytes of a handle argument, valid until the next allocation.
const uint8_t* handleBytes(Value handle, size_t& size)
{
    Handle h = toHandle(handle);
    int32_t length = handleSize(h);
    uint32_t address = handleAddress(h);
    size = length > 0 && address ? size_t(length) : 0;
    return size ? hostAddress(address) : nullptr;
}

Value soundFileHeader(Value path)
{
    Bytes bytes;
    if (!readFile(path, 1024, bytes))
        return kNil;
    std::optional<SoundHeader> h = aiffFileHeader(bytes.data(), bytes.size());
    if (!h)
        h = waveFileHeader(bytes.data(), bytes.size());
    return h ? headerList(*h) : kNil;
}

Value resourceHeader(Value handle)
{
    size_t size;
    const uint8_t* data = handleBytes(handle, size);
    std::optional<SoundSamples> s = data ? parseSndResource(data, size) : std::nullopt;
    return s ? headerList(s->header) : kNil;
}

Value convertAiffToWave(Value aiffPath, Value wavePath)
{
    Bytes aiff;
    if (!readFile(aiffPath, UINT64_MAX, aiff))
        return kNil;
    std::optional<Bytes> wave = aiffToWave(aiff.data(), aiff.size());
    return truth(wave && writeFile(wavePath, *wave));
}

Value convertAiffToResource(Value aiffPath)
{
    Bytes aiff;
    if (!readFile(aiffPath, UINT64_MAX, aiff))
        return kNil;
    return handleOf(aiffToSndResource(aiff.data(), aiff.size()));
}

Value convertResourceToWave(Value handle)
{
    size_t size;
    const uint8_t* data = handleBytes(handle, size);
    return handleOf(data ? sndResourceToWave(data, size) : std::nullopt);
}

Value convertWaveToResource(Value handle)
{
    size_t size;
    const uint8_t* data = handleBytes(handle, size);
    return handleOf(data ? waveToSndResource(data, size) : std::nullopt);
}

class SoundModule final : public Module {
public:
    SoundModule() : Module("Sound") {}

    void start() override
    {
        Module::start();
        gSoundQueueSymbol = internWithValue("Sound-Queue", kNil);
        defineFunction0("sysbeep", sysbeep);
        defineFunction1("play-sound", playSound);
        defineFunction1("play-sound-background", playSoundBackground);
        defineFunction0("stop-sounds", stopSoundsPrimitive);
        defineFunction0("can-play-sound?", canPlaySound);
        defineFunction0("sound-playing?", soundPlaying);
        defineFunction2("record-sound", recordSound);
        defineFunction4("start-sound-recording", startSoundRecording);
        defineFunction0("sound-recording?", soundRecording);
        defineFunction0("get-sound-volume", getSoundVolume);
        defineFunction1("set-sound-volume", setSoundVolume);
        defineFunction1("sound-file-header", soundFileHeader);
        defineFunction1("resource-header", resourceHeader);
        defineFunction2("convert-aiff-to-wave", convertAiffToWave);
        defineFunction1("convert-aiff-to-resource", convertAiffToResource);
        defineFunction1("convert-resource-to-wave", convertResourceToWave);
        defineFunction1("convert-wave-to-resource", convertWaveToResource);
    }

    void stop() override
    {
        audioCloseOutput();
        audioCloseRecording();
        gRecordPath = gRecordOwner = gRecordMessage = kNil;
        gRecordFinished = false;
        if (gMixerOpen) {
            audioSetVolume(gSystemVolume);
            gMixerOpen = false;
        }
        audioShutdown();
        Module::stop();
    }

    void markRoots() override
    {
        mark(gRecordPath);
        mark(gRecordOwner);
        mark(gRecordMessage);
    }

    void idle() override
    {
        if (audioRecordingFilled())
            finishRecording();
        deliverFinishedRecording();
        if (audioOutputDone())
            stopSounds();
    }

    void suspend() override
    {
        if (!gMixerOpen)
            return;
        gApplicationVolume = audioVolume();
        audioSetVolume(gSystemVolume);
    }

    void resume() override
    {
        if (!gMixerOpen)
            return;
        if (audioVolume() != gSystemVolume)
            gSystemVolume = gApplicationVolume = audioVolume();
        audioSetVolume(gApplicationVolume);
    }
} theSoundModule;

} // namespace
