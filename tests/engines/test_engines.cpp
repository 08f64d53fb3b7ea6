// The engines on generated files through the test's PulseAudio: open, length, play to the end
// with their notifications, pause, resume, seek; a newer cookie silences the old play;
// unreachable files give the codes the players' drive retry looks for.

#include "engines/engineapi.h"
#include "engines/kamengine.h"
#include "engines/kmpengine.h"
#include "engines/kraengine.h"
#include "engines/mcidevice.h"
#include "engines/outputchain.h"
#include "enginetest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace enginetest;

namespace {

// One engine's transport, for the checks every engine passes alike.
struct Transport
{
    std::function<std::int32_t()> pause, resume, position, mode;
    std::function<std::int32_t(int)> seek;
};

// Pauses (the position holds), seeks while paused (it lands there and stays paused), resumes
// (the position moves on) and seeks to `playingAt` while playing: there within a second, at
// [lo, hi] once it has moved.
void expectPauseSeekResume(const Transport& e, int pausedAt, int playingAt, int lo, int hi)
{
    ASSERT_EQ(e.pause(), 1);
    EXPECT_EQ(e.mode(), kModePaused);
    pump(100);
    const int held = e.position();
    pump(300);
    EXPECT_NEAR(e.position(), held, 10);
    ASSERT_EQ(e.seek(pausedAt), 1);
    pumpUntil([&] { return std::abs(e.position() - pausedAt) <= 50; }, 1000);
    EXPECT_NEAR(e.position(), pausedAt, 50);
    EXPECT_EQ(e.mode(), kModePaused);
    ASSERT_EQ(e.resume(), 1);
    EXPECT_EQ(e.mode(), kModePlaying);
    // The position moves on once the sink has sound again.
    EXPECT_TRUE(pumpUntil([&] { return e.position() > pausedAt + 150; }, 3000)) << e.position();
    ASSERT_EQ(e.seek(playingAt), 1);
    EXPECT_TRUE(pumpUntil([&] { return std::abs(e.position() - playingAt) < 500; }, 1000));
    const int at = e.position();
    EXPECT_GE(at, lo);
    EXPECT_LE(at, hi);
}

class Engines : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!haveTestSink())
            GTEST_SKIP() << "no test sound sink";
        KMPEngine_SetScale(0, 32768);
        KMPEngine_SetOutputOptions(0, 10, 1, 0);
        KMPEngine_SetChannel(0);
        KMPEngine_SetQuality(0);
    }
    void TearDown() override
    {
        KMPEngine_Stop();
        KRAEngine_Stop();
        for (int i = 0; i < 3; ++i)
            KAMEngine_Close(i);
    }
    std::int32_t playMpeg(const std::string& path, int cookie)
    {
        char wav[256] = "", stream[256] = "";
        return KMPEngine_Play(window.handle(), path.c_str(), cookie, wav, 0, stream);
    }
    NoteWindow window;
};

TEST_F(Engines, MpegFilesPlayToTheEndWithTheirNotifications)
{
    for (const char* kind : {"mp3", "mp2"}) {
        SCOPED_TRACE(kind);
        const std::string file = toneFile(kind, 1.0, 440);
        const long expected = fixtureLengthMs(file);
        window.notes.clear();
        ASSERT_EQ(playMpeg(file, 7), 1);
        EXPECT_EQ(KMPEngine_IsOpen(), 1);
        EXPECT_NEAR(KMPEngine_GetLength(), expected, 50);
        EXPECT_TRUE(pumpUntil([&] { return window.has(0x7DE, 7, 1, 526); }, 3000));
        EXPECT_TRUE(pumpUntil([&] { return window.has(0x7DE, 7, 1, 525); }, 5000));
        EXPECT_EQ(KMPEngine_GetMode(), kModeStopped);
        EXPECT_NEAR(KMPEngine_GetPosition(), KMPEngine_GetLength(), 50);
        EXPECT_FALSE(window.hasEvent(0x7DE, 7, 2));
        // 526 came first, then the end, nothing else.
        ASSERT_EQ(window.notes.size(), 2u);
        EXPECT_EQ(window.notes[0].value, 526);
        KMPEngine_Stop();
        EXPECT_EQ(KMPEngine_IsOpen(), 0);
    }
}

TEST_F(Engines, MpegPausesResumesAndSeeksWithin50Ms)
{
    int cookie = 0;
    for (const char* kind : {"mp3", "mp2"}) {
        SCOPED_TRACE(kind);
        ++cookie;
        const std::string file = toneFile(kind, 3.0, 440);
        ASSERT_EQ(playMpeg(file, cookie), 1);
        // The position is what is heard, so it starts moving once the sink's buffer has filled.
        ASSERT_TRUE(pumpUntil([] { return KMPEngine_GetPosition() > 300; }, 2000));
        expectPauseSeekResume({KMPEngine_Pause, KMPEngine_Resume, KMPEngine_GetPosition,
                               KMPEngine_GetMode, KMPEngine_Seek},
                              2000, 500, 500, 700);
        EXPECT_TRUE(pumpUntil([&] { return window.has(0x7DE, cookie, 1, 525); }, 5000));
        EXPECT_FALSE(window.hasEvent(0x7DE, cookie, 2));
    }
}

// (MPEG Layer 3 through either decoder is heard at the sink.)
TEST_F(Engines, SetEngineChoosesTheDecoder)
{
    // Decoding speed is all that matters here.
    engines::setAudioSinkOverride("fakesink sync=false");
    int cookie = 200;
    for (int choice : {0, 1}) {
        SCOPED_TRACE(choice);
        KMPEngine_SetEngine(choice);
        ASSERT_EQ(playMpeg(toneFile("mp2", 1.0, 440), ++cookie), 1);
        EXPECT_TRUE(pumpUntil([&] { return window.has(0x7DE, cookie, 1, 525); }, 3000));
        const std::string decoder = engines::mpegDecoderName();
        EXPECT_EQ(decoder.rfind(choice == 0 ? "mpg123audiodec" : "avdec_mp2float", 0), 0u)
            << decoder;
        KMPEngine_Stop();
    }
    KMPEngine_SetEngine(0);
    engines::setAudioSinkOverride("");
}

// Once a notification of the new play has come, none of the old one may follow; the old one
// never reports its end or a failure.
void expectNothingStale(const NoteWindow& window, UINT message, int oldCookie, int newCookie)
{
    bool newSeen = false;
    for (const Note& n : window.notes) {
        if (n.message == message && n.cookie == newCookie)
            newSeen = true;
        EXPECT_FALSE(newSeen && n.message == message && n.cookie == oldCookie)
            << "a notification of the old play came late";
    }
    EXPECT_TRUE(newSeen);
    EXPECT_FALSE(window.hasEvent(message, oldCookie, 2));
    EXPECT_FALSE(window.has(message, oldCookie, 1, 525));
}

TEST_F(Engines, ANewerCookieStopsTheOldPlayAndNothingStaleArrives)
{
    const std::string file = toneFile("mp3", 1.0, 440);
    ASSERT_EQ(playMpeg(file, 41), 1);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7DE, 41, 1, 526); }, 3000));
    // The old play is half-way when the new one starts.
    pump(300);
    ASSERT_EQ(playMpeg(file, 42), 1);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7DE, 42, 1, 525); }, 5000));
    pump(300);
    expectNothingStale(window, 0x7DE, 41, 42);

    // The general file engine: the same instance opened again while it plays.
    const std::string wav = toneFile("wav", 1.0, 440);
    ASSERT_EQ(KAMEngine_Open(0, window.handle(), wav.c_str(), 51, nullptr, 0), 1);
    ASSERT_EQ(KAMEngine_Play(0), 1);
    ASSERT_TRUE(pumpUntil([] { return KAMEngine_GetPosition(0) > 300; }, 2000));
    ASSERT_EQ(KAMEngine_Open(0, window.handle(), file.c_str(), 52, nullptr, 0), 1);
    ASSERT_EQ(KAMEngine_Play(0), 1);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7AC, 52, 1, 525); }, 5000));
    pump(300);
    expectNothingStale(window, 0x7AC, 51, 52);

    // RealAudio: a new Play while the old one sounds.
    const std::string ra = toneFile("ra", 1.0, 440);
    ASSERT_EQ(KRAEngine_Play(window.handle(), ra.c_str(), 61), 1);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7D4, 61, 1, 526); }, 3000));
    pump(300);
    ASSERT_EQ(KRAEngine_Play(window.handle(), ra.c_str(), 62), 1);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7D4, 62, 1, 525); }, 5000));
    pump(300);
    expectNothingStale(window, 0x7D4, 61, 62);
}

TEST_F(Engines, UnreachableAndWrongFilesGiveTheirCodes)
{
    char wav[256] = "", stream[256] = "";
    for (const char* path :
         {"/nonexistent/a.mp3", "/media/kolvo-test-unmounted/CD/a.mp3", "/tmp"}) {
        const std::int32_t r = KMPEngine_Play(window.handle(), path, 1, wav, 0, stream);
        EXPECT_EQ(r, kMpegNotFound) << path;
        EXPECT_TRUE(IsFileNotReachable(r));
    }
    EXPECT_EQ(KMPEngine_Play(window.handle(), nullptr, 1, wav, 0, stream), kMpegNotFound);

    // (What files that are not sound give is checked with the bad input of every kind.)
    EXPECT_FALSE(IsFileNotReachable(kMpegNotMpeg));

    int hasVideo = -1;
    EXPECT_EQ(KAMEngine_Open(0, window.handle(), "/nonexistent/a.wav", 1, &hasVideo, 0),
              kAmNotFound);
    EXPECT_EQ(KAMEngine_Open(7, window.handle(), "/nonexistent/a.wav", 1, &hasVideo, 0),
              kAmBadInstance);
    EXPECT_EQ(KAMEngine_GetMode(9), kModeNotReady);
    EXPECT_EQ(KRAEngine_Play(window.handle(), "/nonexistent/a.ra", 1), kRaNotFound);
    EXPECT_TRUE(IsFileNotReachable(kAmNotFound));
    EXPECT_TRUE(IsFileNotReachable(kRaNotFound));
    pump(200);
    EXPECT_TRUE(window.notes.empty()) << "a failed open is answered by its result only";
}

TEST_F(Engines, DirectShowInstanceZeroPlaysPausesAndSeeksEveryAudioFormat)
{
    int cookie = 300;
    for (const char* kind : {"wav", "aiff", "au", "snd", "mp3"}) {
        SCOPED_TRACE(kind);
        ++cookie;
        const std::string file = toneFile(kind, 3.0, 440);
        int hasVideo = -1;
        ASSERT_EQ(KAMEngine_Open(0, window.handle(), file.c_str(), cookie, &hasVideo, 0), 1);
        EXPECT_EQ(hasVideo, 0);
        EXPECT_EQ(KAMEngine_IsOpen(0), 1);
        EXPECT_EQ(KAMEngine_GetMode(0), kModeStopped);
        EXPECT_NEAR(KAMEngine_GetLength(0), fixtureLengthMs(file), 50);
        char info[1024];
        EXPECT_GT(KAMEngine_GetFileInfo(0, info, sizeof info), 0);
        EXPECT_TRUE(contains(info, "44.1 kHz"));
        EXPECT_TRUE(contains(info, "Stereo"));
        if (std::string(kind) == "wav") {
            EXPECT_TRUE(contains(info, "16 bit"));
        }
        // A seek before Play is where the play starts.
        ASSERT_EQ(KAMEngine_Seek(0, 1500), 1);
        pumpUntil([] { return std::abs(KAMEngine_GetPosition(0) - 1500) <= 50; }, 1000);
        EXPECT_NEAR(KAMEngine_GetPosition(0), 1500, 50);
        ASSERT_EQ(KAMEngine_Play(0), 1);
        EXPECT_EQ(KAMEngine_GetMode(0), kModePlaying);
        ASSERT_TRUE(pumpUntil([] { return KAMEngine_GetPosition(0) > 1700; }, 2000));
        expectPauseSeekResume(
            {[] { return KAMEngine_Pause(0); }, [] { return KAMEngine_Resume(0); },
             [] { return KAMEngine_GetPosition(0); }, [] { return KAMEngine_GetMode(0); },
             [](int ms) { return KAMEngine_Seek(0, ms); }},
            1000, 2300, 2250, 2400);
        EXPECT_TRUE(pumpUntil([&] { return window.has(0x7AC, cookie, 1, 525); }, 4000));
        EXPECT_FALSE(window.hasEvent(0x7AC, cookie, 2));
        // Stop goes back to the start with the file still open; Close lets it go.
        EXPECT_EQ(KAMEngine_Stop(0), 1);
        EXPECT_EQ(KAMEngine_GetMode(0), kModeStopped);
        EXPECT_EQ(KAMEngine_IsOpen(0), 1);
        EXPECT_EQ(KAMEngine_Close(0), 1);
        EXPECT_EQ(KAMEngine_IsOpen(0), 0);
    }
}

TEST_F(Engines, RealAudioPlaysAndStepsThroughAListOfClips)
{
    const std::string ra = toneFile("ra", 1.0, 440);
    const std::string rm = toneFile("rm", 1.0, 660);
    const long raLength = fixtureLengthMs(ra);

    ASSERT_EQ(KRAEngine_Play(window.handle(), ra.c_str(), 3), 1);
    EXPECT_EQ(KRAEngine_GetMode(), kModeOpening);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7D4, 3, 1, 526); }, 3000));
    // The length is known by the time the notification arrives.
    EXPECT_NEAR(KRAEngine_GetLength(), raLength, 50);
    char info[1024];
    EXPECT_GT(KRAEngine_GetFileInfo(info, sizeof info), 0);
    EXPECT_TRUE(contains(info, "RealAudio"));
    EXPECT_TRUE(contains(info, "Mono"));
    // A seek followed by Resume, as the player does it; the position moves on from there.
    ASSERT_EQ(KRAEngine_Pause(), 1);
    EXPECT_EQ(KRAEngine_Seek(300), 1);
    pumpUntil([] { return std::abs(KRAEngine_GetPosition() - 300) <= 50; }, 1000);
    EXPECT_NEAR(KRAEngine_GetPosition(), 300, 50);
    EXPECT_EQ(KRAEngine_Resume(), 1);
    EXPECT_TRUE(pumpUntil([&] { return window.has(0x7D4, 3, 1, 525); }, 4000));
    EXPECT_EQ(KRAEngine_GotoNextClip(), -1);

    // A list: a clip that is missing is passed over; each clip that starts is announced.
    const std::string list = fixtureDir() + "/clips.ram";
    std::ofstream(list) << "# a test list\n" << ra << "\nmissing-clip.ra\n\nfile://" << rm << "\n";
    window.notes.clear();
    ASSERT_EQ(KRAEngine_Play(window.handle(), list.c_str(), 4), 1);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7D4, 4, 1, 525); }, 8000));
    int starts = 0;
    for (const Note& n : window.of(4))
        starts += n.event == 1 && n.value == 526;
    EXPECT_EQ(starts, 2);
    EXPECT_FALSE(window.hasEvent(0x7D4, 4, 2));

    // Stepping by hand; a step onto the missing clip moves on to the next one.
    window.notes.clear();
    ASSERT_EQ(KRAEngine_Play(window.handle(), list.c_str(), 5), 1);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7D4, 5, 1, 526); }, 3000));
    EXPECT_EQ(KRAEngine_GotoPrevClip(), -1);
    EXPECT_EQ(KRAEngine_GotoNextClip(), 1);
    EXPECT_TRUE(pumpUntil([&] { return KRAEngine_GetMode() == kModePlaying; }, 3000));
    KRAEngine_GetFileInfo(info, sizeof info);
    EXPECT_TRUE(contains(info, "Clip : 3/3"));
    EXPECT_TRUE(contains(info, "AC-3"));
    EXPECT_EQ(KRAEngine_GotoNextClip(), -1);
    EXPECT_EQ(KRAEngine_GotoPrevClip(), 1);
    KRAEngine_Stop();
    EXPECT_EQ(KRAEngine_IsOpen(), 0);

    // An empty list fails at once.
    const std::string empty = fixtureDir() + "/empty.ram";
    std::ofstream(empty) << "# nothing\n\n";
    EXPECT_EQ(KRAEngine_Play(window.handle(), empty.c_str(), 6), kRaFailed);
}

TEST_F(Engines, MciDevicePlaysFilesWithNotificationAndTimeFormats)
{
    const std::string file = toneFile("wav", 1.0, 440);
    MciDevice device;
    EXPECT_EQ(device.play(), kMciNoDevice);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), -1);
    EXPECT_EQ(device.openElement("/nonexistent/file.wav"), kMciNotFound);
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.openByType(MCI_DEVTYPE_CD_AUDIO, nullptr, nullptr), kMciFailed);

    ASSERT_EQ(device.openElement(file.c_str(), "song"), 1);
    ASSERT_TRUE(device.isOpen());
    MciDevice second;
    EXPECT_EQ(second.openElement(file.c_str(), "song"), kMciFailed) << "aliases are unique";
    EXPECT_EQ(device.setTimeFormat(MCI_FORMAT_MILLISECONDS), 1);
    EXPECT_NEAR(device.length(), 1000, 50);
    EXPECT_EQ(device.setTimeFormat(MCI_FORMAT_SAMPLES), 1);
    EXPECT_NEAR(device.length(), 44100, 2205);
    EXPECT_EQ(device.setTimeFormat(MCI_FORMAT_BYTES), 1);
    EXPECT_NEAR(device.length(), 176400, 8820);
    EXPECT_EQ(device.setTimeFormat(MCI_FORMAT_TMSF), kMciFailed);
    EXPECT_EQ(device.setDoor(true), kMciFailed);
    EXPECT_EQ(device.setTimeFormat(MCI_FORMAT_MILLISECONDS), 1);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), 525);
    EXPECT_EQ(device.informationText(), "44.100 kHz, 16 bit, Stereo, 1411 kbps");
    char element[512];
    EXPECT_EQ(device.info(MCI_INFO_FILE, element, sizeof element), 1);
    EXPECT_EQ(std::string(element), file);
    char tiny[4];
    EXPECT_EQ(device.info(MCI_INFO_PRODUCT, tiny, sizeof tiny), kMciFailed);

    // A play with notification superseded by another, which then ends normally.
    ASSERT_EQ(device.play(0, -1, window.handle()), 1);
    ASSERT_EQ(device.play(500, -1, window.handle()), 1);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), 526);
    ASSERT_TRUE(pumpUntil(
        [&] { return window.has(MM_MCINOTIFY, 0, MCI_NOTIFY_SUCCESSFUL, device.deviceId()); },
        3000));
    EXPECT_TRUE(window.has(MM_MCINOTIFY, 0, MCI_NOTIFY_SUPERSEDED, device.deviceId()));
    EXPECT_EQ(device.status(MCI_STATUS_MODE), 525);

    // A range plays only that range; a stop aborts the notification.
    window.notes.clear();
    ASSERT_EQ(device.play(200, 400, window.handle()), 1);
    ASSERT_TRUE(pumpUntil([&] { return !window.notes.empty(); }, 3000));
    EXPECT_TRUE(window.has(MM_MCINOTIFY, 0, MCI_NOTIFY_SUCCESSFUL, device.deviceId()));
    EXPECT_NEAR(device.position(), 400, 50);
    window.notes.clear();
    ASSERT_EQ(device.play(0, -1, window.handle()), 1);
    pump(100);
    EXPECT_EQ(device.stop(), 1);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), 525);
    pump(50);
    EXPECT_TRUE(window.has(MM_MCINOTIFY, 0, MCI_NOTIFY_ABORTED, device.deviceId()));
    EXPECT_EQ(device.seek(700), 1);
    EXPECT_NEAR(device.position(), 700, 50);
    EXPECT_EQ(device.seek(5000), kMciFailed);
    EXPECT_EQ(device.close(), 1);
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.stop(), kMciNoDevice);

    // MPEG audio through the same device, with its bit rate in the text.
    const std::string mp3 = toneFile("mp3", 1.0, 440);
    ASSERT_EQ(device.openElement(mp3.c_str()), 1);
    EXPECT_EQ(device.informationText(), "44.100 kHz, Stereo, 192 kbps");
}

} // namespace
