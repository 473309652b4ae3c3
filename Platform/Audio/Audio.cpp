// Platform/Audio/Audio.cpp: SDL2 audio devices and the null device behind one small surface.
#include "Platform/Audio/Audio.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace {

constexpr int kDeviceRate = 44100;
constexpr int kDeviceChannels = 2;
// The longest sound the output takes, in device samples (about 50 minutes).
constexpr uint64_t kMaxDeviceSamples = uint64_t(1) << 28;

std::atomic<bool> gForceNull { false };
bool gSdlTried = false;
bool gSdlReady = false;

bool headless()
{
    const char* variable = std::getenv("VELORA_HEADLESS");
    return gForceNull.load() || (variable && std::strcmp(variable, "1") == 0);
}

bool sdlAudio()
{
    if (headless())
        return false;
    if (!gSdlTried) {
        gSdlTried = true;
        gSdlReady = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    return gSdlReady;
}

using DeviceCallback = void (*)(void* unused, uint8_t* stream, int length);

// An open device: an SDL device, or a thread that calls the callback at the real rate with a
// buffer of silence. lock() keeps the callback out while the caller changes shared state.
class Device {
public:
    ~Device() { close(); }

    void open(bool capture, int rate, SDL_AudioFormat format, int channels, DeviceCallback callback)
    {
        if (sdlAudio()) {
            SDL_AudioSpec want {}, have {};
            want.freq = rate;
            want.format = format;
            want.channels = uint8_t(channels);
            want.samples = 1024;
            want.callback = callback;
            m_sdl = SDL_OpenAudioDevice(nullptr, capture ? 1 : 0, &want, &have, 0);
            if (m_sdl) {
                SDL_PauseAudioDevice(m_sdl, 0);
                return;
            }
        }
        m_stop = false;
        size_t frameBytes = size_t(channels) * SDL_AUDIO_BITSIZE(format) / 8;
        m_thread = std::thread([this, rate, frameBytes, callback] { runNull(rate, frameBytes, callback); });
    }

    bool isOpen() const { return m_sdl != 0 || m_thread.joinable(); }

    void lock()
    {
        if (m_sdl)
            SDL_LockAudioDevice(m_sdl);
        else
            m_nullLock.lock();
    }
    void unlock()
    {
        if (m_sdl)
            SDL_UnlockAudioDevice(m_sdl);
        else
            m_nullLock.unlock();
    }

    void close()
    {
        if (m_sdl) {
            SDL_CloseAudioDevice(m_sdl);
            m_sdl = 0;
        } else if (m_thread.joinable()) {
            m_stop = true;
            m_thread.join();
        }
    }

private:
    void runNull(int rate, size_t frameBytes, DeviceCallback callback)
    {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point start = Clock::now();
        uint64_t framesDone = 0;
        std::vector<uint8_t> buffer;
        while (!m_stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
            uint64_t frames = uint64_t(elapsed) * uint64_t(rate) / 1000000 - framesDone;
            if (frames == 0)
                continue;
            buffer.assign(size_t(frames) * frameBytes, 0);
            std::lock_guard<std::mutex> guard(m_nullLock);
            callback(nullptr, buffer.data(), int(buffer.size()));
            framesDone += frames;
        }
    }

    SDL_AudioDeviceID m_sdl = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::mutex m_nullLock;
};

class DeviceLock {
public:
    explicit DeviceLock(Device& device) : m_device(device) { m_device.lock(); }
    ~DeviceLock() { m_device.unlock(); }
private:
    Device& m_device;
};

// ---- Output ----

struct Voice {
    uint64_t id;
    std::vector<int16_t> samples; // device format: stereo, 44100 Hz
    size_t position = 0;
    std::atomic<AudioSoundState> state { AudioSoundState::Queued };
};

Device gOutput;
std::vector<std::unique_ptr<Voice>> gVoices; // changed only under the output lock
size_t gCurrentVoice = 0;                    // likewise
std::atomic<bool> gDone { false };
std::atomic<uint32_t> gVolume { 65535 };
uint64_t gNextId = 1;

void mixOutput(void*, uint8_t* stream, int length)
{
    auto* out = reinterpret_cast<int16_t*>(stream);
    size_t count = size_t(length) / 2, at = 0;
    std::memset(stream, 0, size_t(length));
    int64_t volume = gVolume.load();
    while (at < count && gCurrentVoice < gVoices.size()) {
        Voice& voice = *gVoices[gCurrentVoice];
        voice.state = AudioSoundState::Playing;
        size_t take = std::min(count - at, voice.samples.size() - voice.position);
        for (size_t i = 0; i < take; ++i)
            out[at + i] = int16_t(voice.samples[voice.position + i] * volume / 65535);
        at += take;
        voice.position += take;
        if (voice.position == voice.samples.size()) {
            voice.state = AudioSoundState::Played;
            ++gCurrentVoice;
        }
    }
    if (gCurrentVoice == gVoices.size())
        gDone = true;
}

// The samples in the device's format, resampled linearly.
bool toDeviceSamples(const uint8_t* samples, size_t bytes, AudioFormat format, std::vector<int16_t>& out)
{
    if ((format.channels != 1 && format.channels != 2) || (format.bits != 8 && format.bits != 16) || format.rate == 0)
        return false;
    const size_t sampleBytes = format.bits / 8, frameBytes = sampleBytes * format.channels;
    const uint64_t frames = bytes / frameBytes;
    const uint64_t outFrames = frames * kDeviceRate / format.rate;
    if (outFrames * kDeviceChannels > kMaxDeviceSamples)
        return false;
    auto sampleAt = [&](uint64_t frame, uint32_t channel) -> int32_t {
        const uint8_t* p = samples + frame * frameBytes + (format.channels == 2 ? channel : 0) * sampleBytes;
        return format.bits == 8 ? (int32_t(p[0]) - 128) * 256 : int32_t(int16_t(uint16_t(p[0] | p[1] << 8)));
    };
    try {
        out.resize(size_t(outFrames * kDeviceChannels));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (uint64_t i = 0; i < outFrames; ++i) {
        uint64_t position = i * format.rate;
        uint64_t frame = position / kDeviceRate;
        int64_t fraction = int64_t(position % kDeviceRate);
        for (uint32_t channel = 0; channel < kDeviceChannels; ++channel) {
            int64_t a = sampleAt(frame, channel);
            int64_t b = frame + 1 < frames ? sampleAt(frame + 1, channel) : a;
            out[size_t(i * kDeviceChannels + channel)] = int16_t(a + (b - a) * fraction / kDeviceRate);
        }
    }
    return true;
}

// ---- Input ----

Device gInput;
std::vector<uint8_t> gRecord;        // sized before the device opens, not resized while open
std::atomic<size_t> gRecorded { 0 };
std::atomic<bool> gFilled { false };
bool gRecordingOn = false;

void takeInput(void*, uint8_t* stream, int length)
{
    size_t recorded = gRecorded.load();
    size_t take = std::min(gRecord.size() - recorded, size_t(length));
    std::memcpy(gRecord.data() + recorded, stream, take);
    gRecorded = recorded + take;
    if (recorded + take == gRecord.size())
        gFilled = true;
}

} // namespace

void audioUseNullDevice(bool useNull) { gForceNull = useNull; }

bool audioHasOutputDevice() { return sdlAudio() && SDL_GetNumAudioDevices(0) != 0; }

uint64_t audioQueueSound(const uint8_t* samples, size_t bytes, AudioFormat format)
{
    auto voice = std::make_unique<Voice>();
    if (!toDeviceSamples(samples, bytes, format, voice->samples))
        return 0;
    voice->id = gNextId++;
    uint64_t id = voice->id;
    if (!gOutput.isOpen()) {
        gVoices.clear();
        gCurrentVoice = 0;
        gOutput.open(false, kDeviceRate, AUDIO_S16SYS, kDeviceChannels, mixOutput);
    }
    DeviceLock lock(gOutput);
    gVoices.push_back(std::move(voice));
    gDone = false;
    return id;
}

AudioSoundState audioSoundState(uint64_t id)
{
    if (!gOutput.isOpen())
        return AudioSoundState::Unknown;
    DeviceLock lock(gOutput);
    for (auto& voice : gVoices) {
        if (voice->id == id)
            return voice->state.load();
    }
    return AudioSoundState::Unknown;
}

bool audioOutputOpen() { return gOutput.isOpen(); }

bool audioOutputDone() { return gOutput.isOpen() && gDone.load(); }

void audioCloseOutput()
{
    gOutput.close();
    gVoices.clear();
    gCurrentVoice = 0;
    gDone = false;
}

uint32_t audioVolume() { return gVolume.load(); }

void audioSetVolume(uint32_t volume) { gVolume = std::min<uint32_t>(volume, 65535); }

bool audioStartRecording(size_t bytes)
{
    if (gRecordingOn)
        return false;
    try {
        gRecord.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    gRecorded = 0;
    gFilled = bytes == 0;
    gRecordingOn = true;
    gInput.open(true, kAudioRecordRate, AUDIO_S16LSB, 1, takeInput);
    return true;
}

bool audioRecording() { return gRecordingOn; }

bool audioRecordingFilled() { return gRecordingOn && gFilled.load(); }

std::vector<uint8_t> audioTakeRecording()
{
    gInput.close();
    std::vector<uint8_t> taken = std::move(gRecord);
    taken.resize(gRecorded.load());
    gRecord.clear();
    gRecorded = 0;
    gFilled = false;
    gRecordingOn = false;
    return taken;
}

void audioCloseRecording() { audioTakeRecording(); }

void audioShutdown()
{
    audioCloseOutput();
    audioCloseRecording();
    if (gSdlReady)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    gSdlTried = gSdlReady = false;
}
