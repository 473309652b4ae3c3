// tests/sound/SoundTest.cpp: the sound Module with real devices: the queue of sounds played through
// SDL's dummy driver and through the null device, the completion of sounds and recordings at idle
// time, and the WAVE file of a recording.
#include "Interfac/SoundFormat.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Platform/Audio/Audio.h"
#include "Platform/Clock/Clock.h"
#include "tests/kernel/Support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string lisp(const std::string& text)
{
    std::string result;
    std::string report = reportOf([&] { result = evalText(text); });
    return report.empty() ? result : report;
}

// Binds name to a new handle holding the bytes.
void defineHandle(const char* name, const Bytes& bytes)
{
    Handle h = newHandle(uint32_t(bytes.size()));
    ASSERT_NE(h, 0u);
    std::memcpy(hostAddress(handleAddress(h)), bytes.data(), bytes.size());
    internWithValue(name, makePointer(gHandleKind, h));
}

// WAVE data of mono 8-bit silence at 8000 Hz lasting the given milliseconds.
Bytes silence(uint32_t milliseconds)
{
    Bytes b = *waveHeader(1, 8000, 8, milliseconds * 8);
    b.resize(b.size() + milliseconds * 8, 128);
    return b;
}

// Calls the Modules' idle until the condition holds; false after the time limit.
template <typename Condition> bool idleUntil(Condition condition, uint64_t limitMilliseconds = 3000)
{
    uint64_t start = clockMilliseconds();
    while (!condition()) {
        if (clockMilliseconds() - start > limitMilliseconds)
            return false;
        std::string report = reportOf([] { idleModules(); });
        if (!report.empty())
            ADD_FAILURE() << report;
        clockSleepMilliseconds(5);
    }
    return true;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class Sound : public testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        audioUseNullDevice(GetParam());
        char name[] = "/tmp/velora-sound-XXXXXX";
        m_folder = mkdtemp(name);
        lisp("(stop-sounds)");
    }
    void TearDown() override
    {
        lisp("(stop-sounds)");
        std::system(("rm -rf '" + m_folder + "'").c_str());
    }
    std::string m_folder;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Devices, Sound, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Null" : "Dummy"; });

TEST_P(Sound, OutputDeviceReported)
{
    // The dummy driver is a host device; the null device is none.
    EXPECT_EQ(lisp("(can-play-sound?)"), GetParam() ? "()" : "t");
}

TEST_P(Sound, PlaySoundWaitsForTheEnd)
{
    defineHandle("Short-Sound", silence(150));
    uint64_t start = clockMilliseconds();
    EXPECT_EQ(lisp("(play-sound Short-Sound)"), "0");
    EXPECT_GE(clockMilliseconds() - start, 140u);
    EXPECT_EQ(lisp("(sound-playing?)"), "()");
}

TEST_P(Sound, BackgroundQueueEndsAtIdle)
{
    defineHandle("First-Sound", silence(100));
    defineHandle("Second-Sound", silence(100));
    uint64_t start = clockMilliseconds();
    EXPECT_EQ(lisp("(play-sound-background (list First-Sound Second-Sound))"), "0");
    EXPECT_EQ(lisp("(list (sound-playing?) (length Sound-Queue))"), "(t 2)");
    // The device stays open after the sounds have played, until idle notices.
    ASSERT_TRUE(idleUntil([] { return !audioOutputOpen(); }));
    EXPECT_GE(clockMilliseconds() - start, 190u);
    EXPECT_EQ(lisp("(list (sound-playing?) Sound-Queue)"), "(() ())");
}

TEST_P(Sound, StopSoundsEndsAtOnce)
{
    defineHandle("Long-Sound", silence(5000));
    EXPECT_EQ(lisp("(play-sound-background Long-Sound)"), "0");
    EXPECT_EQ(lisp("(stop-sounds)"), "<no-value>");
    EXPECT_EQ(lisp("(list (sound-playing?) Sound-Queue)"), "(() ())");
}

TEST_P(Sound, EachQueuedSoundHasItsState)
{
    Bytes first(800 * 1, 128), second(400, 128);
    uint64_t a = audioQueueSound(first.data(), first.size(), { 1, 8000, 8 });
    uint64_t b = audioQueueSound(second.data(), second.size(), { 1, 8000, 8 });
    ASSERT_TRUE(a && b && a != b);
    EXPECT_FALSE(audioOutputDone());
    uint64_t start = clockMilliseconds();
    while (audioSoundState(a) != AudioSoundState::Played && clockMilliseconds() - start < 3000) {
        EXPECT_EQ(audioSoundState(b), AudioSoundState::Queued);
        clockSleepMilliseconds(2);
    }
    EXPECT_EQ(audioSoundState(a), AudioSoundState::Played);
    start = clockMilliseconds();
    while (!audioOutputDone() && clockMilliseconds() - start < 3000)
        clockSleepMilliseconds(2);
    EXPECT_EQ(audioSoundState(b), AudioSoundState::Played);
    audioCloseOutput();
    EXPECT_EQ(audioSoundState(a), AudioSoundState::Unknown);
    EXPECT_EQ(audioQueueSound(first.data(), first.size(), { 3, 8000, 8 }), 0u);
}

TEST_P(Sound, RecordingWritesAWaveFileAtIdle)
{
    std::string path = m_folder + "/clip.wav";
    lisp("(define Recorded 0) (define (note-recorded) (set! Recorded (+ Recorded 1)))");
    EXPECT_EQ(lisp("(start-sound-recording \"" + path + "\" nil 100 'note-recorded)"), "t");
    EXPECT_EQ(lisp("(sound-recording?)"), "t");
    ASSERT_TRUE(idleUntil([] { return !audioRecording(); }));
    EXPECT_EQ(lisp("(list (sound-recording?) Recorded)"), "(() 1)");
    // 100 ms: 100 * 44100 / 1000 + 2 bytes behind the header of 22050 Hz mono 16-bit.
    std::string file = readFile(path);
    ASSERT_EQ(file.size(), 44u + 4412);
    Bytes header = *waveHeader(1, 22050, 16, 4412);
    EXPECT_EQ(file.substr(0, 44), std::string(header.begin(), header.end()));
    if (GetParam()) // the null device records silence
        EXPECT_EQ(file.substr(44), std::string(4412, '\0'));
    EXPECT_EQ(lisp("(sound-file-header \"" + path + "\")"), "(1 2206 16 22050)");
    // Later idles send nothing more.
    reportOf([] { idleModules(); });
    EXPECT_EQ(lisp("Recorded"), "1");
}

TEST_P(Sound, RecordingThatCannotBeWrittenIsReported)
{
    std::string path = m_folder + "/missing/clip.wav";
    lisp("(define Recorded 0) (define (note-recorded) (set! Recorded (+ Recorded 1)))");
    EXPECT_EQ(lisp("(start-sound-recording \"" + path + "\" nil 50 'note-recorded)"), "t");
    uint64_t start = clockMilliseconds();
    while (!audioRecordingFilled() && clockMilliseconds() - start < 3000)
        clockSleepMilliseconds(5);
    std::string report = reportOf([] { idleModules(); });
    EXPECT_EQ(report.substr(0, 14), "Error: 1010-31");
    EXPECT_NE(report.find(path), std::string::npos);
    EXPECT_EQ(lisp("(list (sound-recording?) Recorded)"), "(() 0)");
}

TEST_P(Sound, StopSoundsDiscardsARecording)
{
    std::string path = m_folder + "/discarded.wav";
    lisp("(define Recorded 0) (define (note-recorded) (set! Recorded (+ Recorded 1)))");
    EXPECT_EQ(lisp("(start-sound-recording \"" + path + "\" nil 5000 'note-recorded)"), "t");
    EXPECT_EQ(lisp("(stop-sounds)"), "<no-value>");
    EXPECT_EQ(lisp("(list (sound-recording?) Recorded)"), "(() 0)");
    EXPECT_FALSE(std::ifstream(path).good());
}

TEST_P(Sound, RecordingRefusesBadDurations)
{
    std::string path = "\"" + m_folder + "/never.wav\"";
    EXPECT_EQ(lisp("(start-sound-recording " + path + " nil 0 nil)"), "()");
    EXPECT_EQ(lisp("(start-sound-recording " + path + " nil -5 nil)"), "()");
    EXPECT_EQ(lisp("(start-sound-recording " + path + " nil 100000000000000 nil)"), "()");
    EXPECT_EQ(lisp("(sound-recording?)"), "()");
}

// The only test that opens the mixer (it stays open for the rest of the process).
TEST(SoundVolume, SuspendAndResumeExchangeTheVolumes)
{
    audioSetVolume(40000); // the system's volume when the application first uses the mixer
    EXPECT_EQ(lisp("(set-sound-volume 1000)"), "t");
    suspendModules();
    EXPECT_EQ(audioVolume(), 40000u) << "suspended: the system's volume";
    resumeModules();
    EXPECT_EQ(audioVolume(), 1000u) << "resumed: the application's";
    suspendModules();
    audioSetVolume(500); // changed by the user while suspended
    resumeModules();
    EXPECT_EQ(audioVolume(), 500u) << "the user's change is kept";
    EXPECT_EQ(lisp("(get-sound-volume)"), "(500)");
}

TEST_P(Sound, QueuedHandlesAreLockedAndResourcesPurgeableAfterwards)
{
    defineHandle("Plain-Sound", silence(2000));
    defineHandle("Resource-Data", silence(2000));
    lisp("(define Res-Path (create-resource-file nil \"LISP\" \"rsrc\" nil nil))"
         "(define Res-File (openresfile Res-Path nil))"
         "(addresource Resource-Data \"snd \" 128 nil) (updateresfile Res-File)");
    EXPECT_EQ(lisp("(play-sound-background (list 128 Plain-Sound))"), "0");
    Handle resource = pointerAddress(symbolValue(intern("Resource-Data")));
    Handle plain = pointerAddress(symbolValue(intern("Plain-Sound")));
    purgeHandles();
    EXPECT_NE(handleAddress(resource), 0u) << "locked while queued";
    lisp("(stop-sounds)");
    purgeHandles();
    EXPECT_EQ(handleAddress(resource), 0u) << "a resource is purgeable once stopped";
    EXPECT_NE(handleAddress(plain), 0u);
    lisp("(closeresfile Res-File) (file-remove Res-Path t)");
}
