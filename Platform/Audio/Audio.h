// Platform/Audio/Audio.h: sound output and input. SDL2 audio when a device opens; otherwise (and
// always when headless) a null device that consumes and delivers samples at the real rate in
// silence. The device threads only move samples and set flags; everything else runs on the
// caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// PCM samples: 8-bit unsigned or 16-bit signed little-endian, 1 or 2 channels interleaved.
struct AudioFormat {
    uint32_t channels;
    uint32_t rate; // Hz, not 0
    uint32_t bits; // 8 or 16
};

// Headless runs use the null device only (also chosen by VELORA_HEADLESS=1).
void audioUseNullDevice(bool useNull);
// Whether a host output device opens (false with the null device).
bool audioHasOutputDevice();

// ---- Output: a queue of sounds played one after the other ----------------------------------------

enum class AudioSoundState { Unknown, Queued, Playing, Played };

// Copies the samples (whole frames; a partial last frame is dropped) and queues them behind the
// sounds already queued, opening the output device when it is closed. The sound's id (never 0),
// or 0 when the format is not one listed above.
uint64_t audioQueueSound(const uint8_t* samples, size_t bytes, AudioFormat format);
AudioSoundState audioSoundState(uint64_t id); // Unknown once the device is closed
bool audioOutputOpen();
// Set by the device thread when every queued sound has been played; cleared by queueing.
bool audioOutputDone();
// Stops at once, drops the queue and closes the device.
void audioCloseOutput();

// The output volume, 0 (silent) to 65535 (full), applied while mixing.
uint32_t audioVolume();
void audioSetVolume(uint32_t volume);

// ---- Input: one clip of 16-bit mono samples at 22050 Hz ------------------------------------------

constexpr uint32_t kAudioRecordRate = 22050;
// Opens the default input device (or the null device, which records silence) and records until
// bytes have been taken; false when no memory can hold them or recording is already under way.
bool audioStartRecording(size_t bytes);
bool audioRecording();        // from a start until audioTakeRecording or audioCloseRecording
bool audioRecordingFilled();  // set by the device thread when the buffer is full
// Closes the input device and hands over the bytes recorded so far.
std::vector<uint8_t> audioTakeRecording();
void audioCloseRecording(); // closes and discards

// Closes every device and the host's audio subsystem.
void audioShutdown();
