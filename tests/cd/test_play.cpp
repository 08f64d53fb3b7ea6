// Discs heard through the private PulseAudio: the tone of the track asked for, the end of a
// range told by MM_MCINOTIFY at its length, pause, resume, seek and stop without a tail, the
// notifications of a play that is replaced or cut short, discs leaving while they play, and
// the spectrum of the CD Player's chain.

#include "cdtest.h"
#include "engines/cdaudio.h"
#include "engines/engineapi.h"
#include "engines/kcdsengine.h"
#include "engines/mcidevice.h"
#include "enginetest.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

using namespace enginetest;
using cdtest::disc;

namespace {

constexpr long tmsf(int t, int m, int s, int f)
{
    return t | m << 8 | s << 16 | f << 24;
}

// Track n of a generated disc sounds 220 n + 220 Hz.
constexpr double kTrack1Hz = 440, kTrack2Hz = 660;

class CdPlay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!haveTestSink())
            GTEST_SKIP() << "no test sound sink";
        engines::registerCdAudioDriver();
    }
    void TearDown() override { device.close(); }

    void openDisc(const std::string& drive)
    {
        ASSERT_EQ(device.openByType(MCI_DEVTYPE_CD_AUDIO, drive.c_str()), 1)
            << device.lastErrorText();
        ASSERT_EQ(device.setTimeFormat(MCI_FORMAT_TMSF), 1);
    }
    bool notified(WPARAM result) const
    {
        return window.has(MM_MCINOTIFY, 0, static_cast<int>(result),
                          static_cast<LPARAM>(device.deviceId()));
    }
    // Polls the device as the CD Player's tick does.
    bool modeBecomes(long mode, int ms)
    {
        return pumpUntil([&] { return device.status(MCI_STATUS_MODE) == mode; }, ms);
    }

    MciDevice device;
    NoteWindow window;
};

TEST_F(CdPlay, ARangeSoundsItsTrackAndEndsWithTheNotificationAtItsLength)
{
    openDisc(disc("play2", "2 2"));
    struct Case
    {
        long from, to;
        long track;
        double hz, otherHz;
        long end;
    };
    // Track 2 to the end of the disc (it stops at the lead-out); track 1 alone.
    for (const Case& c :
         {Case{tmsf(2, 0, 0, 0), -1, 2, kTrack2Hz, kTrack1Hz, tmsf(2, 0, 2, 0)},
          Case{tmsf(1, 0, 0, 0), tmsf(2, 0, 0, 0), 1, kTrack1Hz, kTrack2Hz, tmsf(2, 0, 0, 0)}}) {
        SCOPED_TRACE(c.track);
        window.notes.clear();
        SinkRecorder recorder;
        ASSERT_TRUE(recorder.start());
        QElapsedTimer clock;
        clock.start();
        ASSERT_EQ(device.play(c.from, c.to, window.handle()), 1);
        EXPECT_EQ(device.status(MCI_STATUS_MODE), kModePlaying);
        EXPECT_EQ(device.status(MCI_STATUS_CURRENT_TRACK), c.track);
        ASSERT_TRUE(pumpUntil([&] { return notified(MCI_NOTIFY_SUCCESSFUL); }, 5000));
        EXPECT_NEAR(clock.elapsed(), 2000, 400);
        EXPECT_EQ(window.notes.size(), 1u);
        EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);
        EXPECT_EQ(device.position(), c.end);
        pump(300);
        const auto r = recorder.stop();
        // The loud part lasts the range; the track's tone fills it and the other is not heard.
        const auto all = analysis::mix(r);
        const double from = analysis::firstAbove(all, r.rate, 0.1);
        const double to = analysis::lastAbove(all, r.rate, 0.1);
        ASSERT_GE(from, 0);
        EXPECT_NEAR(to - from, 2.0, 0.1);
        const auto middle = analysis::mix(analysis::slice(r, from + 0.2, to - from - 0.4));
        EXPECT_NEAR(analysis::dominantFrequency(middle, r.rate, 200, 2000), c.hz, 3);
        EXPECT_NEAR(analysis::toneAmplitude(middle, r.rate, c.hz), 0.5, 0.05);
        EXPECT_LT(analysis::toneAmplitude(all, r.rate, c.otherHz), 0.02);
    }
}

TEST_F(CdPlay, PauseResumeSeekAndStopArePrompt)
{
    openDisc(disc("play3", "3 3"));
    SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    QElapsedTimer clock;
    clock.start();
    device.setTimeFormat(MCI_FORMAT_MILLISECONDS);
    ASSERT_EQ(device.play(2000, -1, window.handle()), 1);
    pump(1000);
    ASSERT_EQ(device.pause(), 1);
    const double pausedAt = clock.elapsed() / 1000.0;
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModePaused);
    const long p1 = device.position();
    EXPECT_NEAR(p1 - 2000, 1000, 300);
    pump(700);
    EXPECT_EQ(device.position(), p1) << "a paused disc stands still";

    // Play without a start goes on from where it stands.
    ASSERT_EQ(device.play(), 1);
    const double resumedAt = clock.elapsed() / 1000.0;
    EXPECT_TRUE(notified(MCI_NOTIFY_SUPERSEDED) ||
                pumpUntil([&] { return notified(MCI_NOTIFY_SUPERSEDED); }, 500));
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModePlaying);
    pump(600);
    const long p2 = device.position();
    EXPECT_NEAR(p2 - p1, 600, 250);

    // A seek stops the disc at the new place: track 2, 1 s in.
    ASSERT_EQ(device.seek(2000 + 3000 + 1000), 1);
    const double seekedAt = clock.elapsed() / 1000.0;
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);
    EXPECT_EQ(device.position(), 6000);
    pump(600);
    ASSERT_EQ(device.play(-1, -1, window.handle()), 1);
    const double playedAt = clock.elapsed() / 1000.0;
    pump(700);
    ASSERT_EQ(device.stop(), 1);
    const double stoppedAt = clock.elapsed() / 1000.0;
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);
    const long p3 = device.position();
    EXPECT_NEAR(p3 - 6000, 700, 250);
    EXPECT_EQ(device.status(MCI_STATUS_CURRENT_TRACK), 2);
    pump(600);
    EXPECT_EQ(device.position(), p3) << "a stopped disc stands where it stopped";
    EXPECT_TRUE(notified(MCI_NOTIFY_ABORTED));
    EXPECT_FALSE(notified(MCI_NOTIFY_SUCCESSFUL));
    const auto r = recorder.stop();

    // The recording's clock runs with the wall clock; the sound leaves the sink a little
    // after it was pushed, so each change is looked for in a window after it was asked.
    const auto quietAfter = [&](double at) {
        return analysis::rms(analysis::mix(analysis::slice(r, at + 0.25, 0.25)));
    };
    const auto toneBefore = [&](double at, double hz) {
        return analysis::toneAmplitude(analysis::mix(analysis::slice(r, at - 0.35, 0.25)), r.rate,
                                       hz);
    };
    EXPECT_NEAR(toneBefore(pausedAt, kTrack1Hz), 0.5, 0.08);
    EXPECT_LT(quietAfter(pausedAt), 0.005) << "the pause cut the sound at once";
    EXPECT_NEAR(toneBefore(seekedAt, kTrack1Hz), 0.5, 0.08) << "resumed";
    EXPECT_LT(quietAfter(seekedAt), 0.005) << "the seek cut the sound at once";
    EXPECT_NEAR(toneBefore(stoppedAt, kTrack2Hz), 0.5, 0.08) << "played from the seek";
    EXPECT_LT(quietAfter(stoppedAt), 0.005) << "the stop cut the sound at once";
    // Each start sounds within a quarter second.
    for (const double start : {resumedAt, playedAt}) {
        const double heard =
            analysis::firstAbove(analysis::mix(analysis::slice(r, start, 1.0)), r.rate, 0.1);
        EXPECT_GE(heard, 0);
        EXPECT_LT(heard, 0.25) << "at " << start;
    }
}

TEST_F(CdPlay, NotificationsOfPlaysReplacedOrCutShort)
{
    openDisc(disc("play3", "3 3"));
    NoteWindow second;
    ASSERT_EQ(device.play(tmsf(1, 0, 0, 0), -1, window.handle()), 1);
    ASSERT_EQ(device.play(tmsf(2, 0, 0, 0), -1, second.handle()), 1);
    pump(200);
    EXPECT_TRUE(notified(MCI_NOTIFY_SUPERSEDED));
    EXPECT_EQ(device.status(MCI_STATUS_CURRENT_TRACK), 2);
    ASSERT_EQ(device.stop(), 1);
    pump(200);
    EXPECT_TRUE(second.has(MM_MCINOTIFY, 0, MCI_NOTIFY_ABORTED, device.deviceId()));
    EXPECT_EQ(second.notes.size(), 1u);

    // The door of an image: opening it ends the play; closing gives the disc back.
    window.notes.clear();
    ASSERT_EQ(device.play(tmsf(1, 0, 0, 0), -1, window.handle()), 1);
    pump(300);
    ASSERT_EQ(device.setDoor(true), 1);
    pump(100);
    EXPECT_TRUE(notified(MCI_NOTIFY_ABORTED));
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeOpening);
    ASSERT_EQ(device.setDoor(false), 1);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);

    // Closing the device while it plays ends the play too.
    window.notes.clear();
    ASSERT_EQ(device.play(tmsf(1, 0, 0, 0), -1, window.handle()), 1);
    pump(200);
    const auto id = static_cast<LPARAM>(device.deviceId());
    device.close();
    pump(100);
    EXPECT_TRUE(window.has(MM_MCINOTIFY, 0, MCI_NOTIFY_ABORTED, id));
    EXPECT_EQ(window.notes.size(), 1u);
}

TEST_F(CdPlay, ADiscThatLeavesWhilePlayingEndsThePlayWithAFailure)
{
    const std::string cue = disc("leaving", "4");
    const std::string bin = cue.substr(0, cue.size() - 4) + ".bin";
    openDisc(cue);
    ASSERT_EQ(device.play(tmsf(1, 0, 0, 0), -1, window.handle()), 1);
    pump(500);
    ASSERT_EQ(std::rename(bin.c_str(), (bin + ".away").c_str()), 0);
    EXPECT_TRUE(modeBecomes(kModeOpening, 1000));
    EXPECT_TRUE(pumpUntil([&] { return notified(MCI_NOTIFY_FAILURE); }, 1000));
    EXPECT_EQ(device.play(tmsf(1, 0, 0, 0), -1), kMciNotFound);
    ASSERT_EQ(std::rename((bin + ".away").c_str(), bin.c_str()), 0);
    EXPECT_TRUE(modeBecomes(kModeStopped, 1000));
    EXPECT_EQ(device.play(tmsf(1, 0, 0, 0), -1), 1);
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModePlaying);
}

TEST_F(CdPlay, AnImageCutShortWhilePlayingEndsThePlayWithAFailure)
{
    const std::string cue = disc("cutting", "6");
    const std::string bin = cue.substr(0, cue.size() - 4) + ".bin";
    openDisc(cue);
    ASSERT_EQ(device.play(tmsf(1, 0, 0, 0), -1, window.handle()), 1);
    pump(400);
    // Nobody asks the device anything: the reading itself finds the end.
    ASSERT_EQ(::truncate(bin.c_str(), 75 * 2352), 0);
    EXPECT_TRUE(pumpUntil([&] { return notified(MCI_NOTIFY_FAILURE); }, 3000));
    EXPECT_FALSE(notified(MCI_NOTIFY_SUCCESSFUL));
    // What is left reads as a disc of one second.
    EXPECT_EQ(device.status(MCI_STATUS_MODE), kModeStopped);
    device.setTimeFormat(MCI_FORMAT_MILLISECONDS);
    EXPECT_EQ(device.length(1), 1000);
}

TEST_F(CdPlay, TheSpectrumOfTheCdPlayerFollowsTheDisc)
{
    openDisc(disc("play2", "2 2"));
    std::int32_t bands[20];
    KCDSEngine_Run(0);
    ASSERT_EQ(device.play(tmsf(1, 0, 0, 0), -1), 1);
    EXPECT_TRUE(pumpUntil([&] { return KCDSEngine_GetSpectrum(0, bands, 0) != 0; }, 1500));
    // 440 Hz lies in band 7 of the 20 from 50 Hz to 16 kHz (376 to 501 Hz).
    EXPECT_EQ(std::max_element(bands, bands + 20) - bands, 7);
    EXPECT_EQ(KCDSEngine_GetSpectrum(1, bands, 0), 0) << "not the MIDI player's";
    ASSERT_EQ(device.stop(), 1);
    KCDSEngine_Stop(0);
}

} // namespace
