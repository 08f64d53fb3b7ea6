// The IMS and module engines heard at the private PulseAudio: pitch from notes and bank (the
// song's bank first), key, tempo, seeking, sub-songs, information texts, the end notification.

#include "albums/mediakind.h"
#include "engines/engineapi.h"
#include "engines/kimsengine.h"
#include "engines/kmodengine.h"
#include "engines/kmpengine.h"
#include "engines/session.h"
#include "enginetest.h"
#include "platform/settings.h"
#include "synthfixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

using namespace engines;
using namespace enginetest;
using namespace synthtest;

namespace {

// The pitch a MOD note of our tool sounds: one 32-byte sine cycle at the Amiga's rate for the
// note's period (MIDI 72 is period 214).
constexpr double kMod72Hz = 3546895.0 / 214 / 32;

class SynthEngines : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!haveTestSink())
            GTEST_SKIP() << "no test sound sink";
        context.window = window.handle();
        context.settings = &settings;
        context.instance = 2;
        settings.viewFileInfo = 1;
    }
    void TearDown() override
    {
        session.reset();
        KIMSEngine_Stop();
        KMODEngine_Close();
    }

    // Opens `path` as the MIDI Player would; the session stays in `session`.
    bool open(const std::string& path)
    {
        session.reset();
        const MediaKind kind = MediaKindOf(AlbumKindMidi, path);
        OpenOutcome outcome = openFirst(engineOrder(AlbumKindMidi, kind, settings), context, path,
                                        [this] { return ++cookie; });
        session = std::move(outcome.session);
        why = outcome.why;
        return session != nullptr;
    }
    // Plays `path` to its end with `setup` applied after the open; the recording, and the wall
    // time from the open to the end in seconds.
    analysis::Stereo playToEnd(const std::string& path, double* seconds = nullptr,
                               const std::function<void(Session&)>& setup = {})
    {
        SinkRecorder recorder;
        EXPECT_TRUE(recorder.start());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(open(path)) << why;
        if (!session)
            return recorder.stop();
        if (setup)
            setup(*session);
        EXPECT_TRUE(pumpUntil([&] { return session->mode() == kModeStopped; }, 20000));
        if (seconds)
            *seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        pump(150);
        return recorder.stop();
    }
    // The pitch `from` seconds after the sound starts, over `length`; 0 when nothing was heard.
    static double pitch(const analysis::Stereo& r, double from, double length,
                        double threshold = 0.01)
    {
        const double start = analysis::firstAbove(analysis::mix(r), r.rate, threshold);
        EXPECT_GE(start, 0) << "nothing heard";
        return start < 0 ? 0
                         : analysis::dominantFrequency(
                               analysis::slice(r, start + from, length).left, r.rate, 100, 3000);
    }
    // An IMS song in a folder of its own, beside a bank "<name>.bnk" made with `bankArgs`.
    static std::string imsWithBank(const std::string& name, const std::string& args,
                                   const std::string& bankArgs = "")
    {
        const std::string dir = folder(name), song = dir + "/" + name + ".ims";
        writeBytes(song, bytesOf(music("ims", name + "-src.ims", args)));
        writeBytes(dir + "/" + name + ".bnk", bytesOf(music("bnk", name + ".bnk", bankArgs)));
        return song;
    }

    NoteWindow window;
    AppSettings settings;
    SessionContext context;
    std::unique_ptr<Session> session;
    std::string why;
    int cookie = 0;
};

TEST_F(SynthEngines, ModulesAreHeardAtTheirNotesWithTheirInformation)
{
    struct Case
    {
        std::string file;
        double hz;
        const char* format;
        const char* layout;
    };
    const Case cases[] = {
        {music("mod", "heard.mod", "--notes 72:32 --title Heard"), kMod72Hz, "ProTracker MOD",
         "4 channels, 31 instruments"},
        // XM note 69 is A4: one sine cycle of 32 samples at 8363 Hz, 9 semitones up.
        {music("xm", "heard.xm", "--notes 69:32 --title Heard"),
         8363.0 * std::pow(2.0, 9 / 12.0) / 32, "FastTracker 2", "2 channels, 1 instruments"},
        // S3M: the same cycle at 8363 Hz for C-4.
        {music("s3m", "heard.s3m", "--notes 69:32 --title Heard"),
         8363.0 * std::pow(2.0, 9 / 12.0) / 32, "Scream Tracker 3", "2 channels, 1 instruments"},
        // IT: the cycle at 8363 Hz for C-5, MIDI's middle C; the notes are on one channel.
        {music("it", "heard.it", "--notes 69:32 --title Heard"),
         8363.0 * std::pow(2.0, 9 / 12.0) / 32, "Impulse Tracker", "1 channels, 1 instruments"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto r = playToEnd(c.file, nullptr, [&](Session& s) {
            EXPECT_EQ(s.family().prefix, std::string("KMODEngine_"));
            EXPECT_EQ(s.lengthMs(), 33 * 6 * 20);
            const std::string info = s.infoText(true);
            EXPECT_TRUE(contains(info, c.format));
            EXPECT_TRUE(contains(info, c.layout));
            EXPECT_TRUE(contains(info, "Title : Heard"));
        });
        EXPECT_NEAR(pitch(r, 0.5, 2.0, 0.02), c.hz, c.hz * 0.01);
    }
}

TEST_F(SynthEngines, AModuleOfSeveralSubSongsPlaysThemAllInTurn)
{
    // Three sub-songs of 17 rows (2.04 s) each, at A4, C5 and E5.
    const std::string file = music("it", "subsongs.it", "--notes '69:16;72:16;76:16'");
    double seconds = 0;
    const auto r =
        playToEnd(file, &seconds, [](Session& s) { EXPECT_EQ(s.lengthMs(), 3 * 17 * 120); });
    ASSERT_TRUE(session);
    EXPECT_GE(session->positionMs(), 3 * 17 * 120 - 200);
    EXPECT_GT(seconds, 5.8) << "ended before the last sub-song";
    const double a4 = 8363.0 * std::pow(2.0, 9 / 12.0) / 32;
    int semitones = 0;
    for (int song = 0; song < 3; ++song) {
        SCOPED_TRACE(song);
        const double hz = a4 * std::pow(2.0, semitones / 12.0);
        EXPECT_NEAR(pitch(r, song * 2.04 + 0.4, 1.2, 0.02), hz, hz * 0.01);
        semitones += song == 0 ? 3 : 4;
    }
}

TEST_F(SynthEngines, ImsSongsPlayWithTheBankBesideThemBeforeTheProgramsOwn)
{
    // One A4 of four beats at 120 a minute: two seconds.
    const std::string dir = folder("banks");
    const std::string song = dir + "/tune.ims";
    writeBytes(song, bytesOf(music("ims", "banks-tune.ims", "--notes 69:4")));

    // Only the program's bank: its piano sounds (not a bare sine, but at A4's pitch class).
    analysis::Stereo r = playToEnd(song);
    ASSERT_GE(analysis::firstAbove(analysis::mix(r), r.rate, 0.01), 0) << "nothing heard";
    ASSERT_TRUE(session);
    EXPECT_TRUE(contains(session->infoText(), "bank STANDARD.BNK"));

    // "STANDARD.BNK" beside the song, a sine three times the note's frequency.
    writeBytes(dir + "/standard.bnk", bytesOf(music("bnk", "banks-x3.bnk", "--multiple 3")));
    r = playToEnd(song);
    EXPECT_NEAR(pitch(r, 0.3, 1.0), 1320, 10);

    // The song's own bank wins: twice the note's frequency.
    writeBytes(dir + "/TUNE.BNK", bytesOf(music("bnk", "banks-x2.bnk", "--multiple 2")));
    r = playToEnd(song);
    EXPECT_NEAR(pitch(r, 0.3, 1.0), 880, 8);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->lengthMs(), 2000);
    EXPECT_EQ(session->baseTempo(), 120);
    EXPECT_TRUE(contains(session->infoText(), "bank TUNE.BNK"));
    EXPECT_TRUE(window.has(kNotifyMidi, cookie, kEventMode, kModeStopped));

    // A damaged bank beside the song is passed over for the next one.
    writeBytes(dir + "/TUNE.BNK", bytesOf(dir + "/TUNE.BNK").substr(0, 50));
    r = playToEnd(song);
    EXPECT_NEAR(pitch(r, 0.3, 1.0), 1320, 10);
}

TEST_F(SynthEngines, KeyMovesThePitchAndTempoTheWallTime)
{
    // Eight beats at 120 a minute: four seconds of A4 on a plain sine.
    const std::string song = imsWithBank("tempo", "--notes 69:8");
    const std::string mod = music("mod", "tempo.mod", "--notes 72:48");

    for (const std::string& file : {song, mod}) {
        SCOPED_TRACE(file);
        const double hz = file == song ? 440.0 : kMod72Hz;
        double normal = 0, fast = 0;
        analysis::Stereo r = playToEnd(file, &normal);
        EXPECT_NEAR(pitch(r, 0.5, 1.0), hz, hz * 0.01);

        // Twice the tempo, an octave up: half the time, twice the frequency.
        r = playToEnd(file, &fast, [](Session& s) {
            EXPECT_TRUE(s.setTempo(s.baseTempo() * 2));
            EXPECT_TRUE(s.setKey(12));
            EXPECT_EQ(s.key(), 12);
        });
        EXPECT_NEAR(pitch(r, 0.3, 1.0), 2 * hz, 2 * hz * 0.01);
        EXPECT_GT(normal, 3.5);
        EXPECT_NEAR(fast / normal, 0.5, 0.1) << fast << " s against " << normal << " s";

        // An octave down at half the tempo.
        r = playToEnd(file, nullptr, [](Session& s) {
            EXPECT_TRUE(s.setTempo(s.baseTempo() * 4));
            EXPECT_TRUE(s.setKey(-12));
        });
        EXPECT_NEAR(pitch(r, 0.2, 0.5), hz / 2, hz * 0.01);
    }
}

TEST_F(SynthEngines, TheSoundPassesTheEffectsOfTheOutputChain)
{
    const std::string song = imsWithBank("fx", "--notes 69:4");
    // F/X mode 6 shifts the pitch up four semitones, for every chain alike.
    KMPEngine_SetEffect(0, 0, 0, 0, 0, 0, 0, 1, 6);
    const auto r = playToEnd(song);
    KMPEngine_SetEffect(0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_NEAR(pitch(r, 0.5, 1.0), 440 * std::pow(2.0, 4 / 12.0), 6);
}

TEST_F(SynthEngines, KeyLeavesTheDrumsOfAPercussiveSongWhereTheyAre)
{
    // A percussive song: A4 on a melodic voice over a bass drum holding E3 (whose overtones miss
    // A4 and A5), both plain sines.
    const std::string song = imsWithBank("drums", "--notes 69:6 --drum 52", "--drum 1");
    double drumAt[2] = {};
    for (int key : {0, 12}) {
        SCOPED_TRACE(key);
        const auto r = playToEnd(song, nullptr, [key](Session& s) { EXPECT_TRUE(s.setKey(key)); });
        const double start = analysis::firstAbove(analysis::mix(r), r.rate, 0.01);
        ASSERT_GE(start, 0);
        const auto part = analysis::slice(r, start + 0.5, 1.5).left;
        // The melody is where the key puts it, and nowhere else.
        const double there = analysis::toneAmplitude(part, r.rate, key ? 880 : 440);
        const double left = analysis::toneAmplitude(part, r.rate, key ? 440 : 880);
        EXPECT_GT(there, 0.001);
        EXPECT_GT(there, 10 * left);
        drumAt[key ? 1 : 0] = analysis::toneAmplitude(part, r.rate, 164.81);
        EXPECT_GT(drumAt[key ? 1 : 0], 0.002);
    }
    // The drum sounds the same either way.
    EXPECT_NEAR(drumAt[1] / drumAt[0], 1.0, 0.1);
}

TEST_F(SynthEngines, SeekingLandsWhereAskedAndKeepsAPauseAndTheLength)
{
    // Two seconds of A4, then two of E5.
    const std::string song = imsWithBank("seek", "--notes 69:4,76:4");
    const std::string mod = music("mod", "seek.mod", "--notes 72:20,76:28");
    for (const std::string& file : {song, mod}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(open(file)) << why;
        const int length = session->lengthMs();
        ASSERT_TRUE(pumpUntil([&] { return session->mode() == kModePlaying; }, 3000));
        pump(300);
        session->pause();
        session->seek(2500, true);
        pump(400);
        EXPECT_EQ(session->mode(), kModePaused);
        EXPECT_NEAR(session->positionMs(), 2500, 150);
        SinkRecorder recorder;
        ASSERT_TRUE(recorder.start());
        session->resume();
        pump(300);
        EXPECT_GE(session->positionMs(), 2500);
        ASSERT_TRUE(pumpUntil([&] { return session->mode() == kModeStopped; }, 10000));
        pump(150);
        const auto r = recorder.stop();
        // The second note only, from where the seek put it.
        const double second = file == song ? 440.0 * std::pow(2.0, 7 / 12.0) : 3546895.0 / 170 / 32;
        EXPECT_NEAR(pitch(r, 0.1, 0.5), second, second * 0.01);
        EXPECT_EQ(session->lengthMs(), length);
        EXPECT_GE(session->positionMs(), length - 200);
    }
}

TEST_F(SynthEngines, ImsInformationShowsTheHangulTitleAndTheSpectrumFollowsTheSound)
{
    // Johab 0x8861 0x8C61: the syllables GA and NA.
    const std::string song = imsWithBank("title", "--title-hex 88619061 --notes 69:4");
    ASSERT_TRUE(open(song)) << why;
    const std::string info = session->infoText(true);
    EXPECT_TRUE(contains(info, "IMS (AdLib), melodic, 1 instruments"));
    EXPECT_TRUE(contains(info, "Title : \xea\xb0\x80\xeb\x82\x98"));
    EXPECT_EQ(KIMSEngine_IsKaraoke(), 0);
    std::int32_t bands[20] = {};
    EXPECT_TRUE(pumpUntil([&] { return KIMSEngine_GetSpectrum(bands) != 0; }, 3000));
    EXPECT_GT(*std::max_element(std::begin(bands), std::end(bands)), 20);
    session.reset();
    EXPECT_EQ(KIMSEngine_GetSpectrum(bands), 0);
    EXPECT_EQ(KIMSEngine_IsOpen(), 0);
}

} // namespace
