// The MIDI engine and the MCI sequencer heard through the test's PulseAudio: the sound of a
// one-note melody, its octave a key of +12 away, drums that stay where they are, a tempo of
// 200 % that halves the time a song takes, and karaoke events that come with their notes.

#include "analysis.h"
#include "engines/engineapi.h"
#include "engines/karaoke.h"
#include "engines/kcdsengine.h"
#include "engines/kmidengine.h"
#include "engines/mcidevice.h"
#include "engines/midisynth.h"
#include "engines/outputchain.h"
#include "engines/samplingservice.h"
#include "engines/sequencer.h"
#include "enginetest.h"
#include "platform/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

using namespace enginetest;
using Clock = std::chrono::steady_clock;

namespace {

// Records the karaoke events with the song position the engine reports as each arrives.
class KaraokeWindow : public Wnd
{
public:
    struct Event
    {
        int code;
        int positionMs;
        std::string text;
        midi::KaraokeHighlightRecord highlight{};
    };
    std::vector<Event> events;

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg != UM_KARAOKE)
            return 0;
        Event e{static_cast<int>(static_cast<std::int32_t>(wParam)), KMIDEngine_GetPosition(), {}};
        const auto* record = reinterpret_cast<const char*>(lParam);
        if (e.code == 0 && record)
            e.text = record;
        else if (e.code > 0 && record)
            e.text = record + sizeof(midi::KaraokeLineRecord);
        else if (record)
            std::memcpy(&e.highlight, record, sizeof e.highlight);
        events.push_back(std::move(e));
        return 0;
    }
};

const std::string kOcarina = "tone --note 69 --program 79";

class MidiSound : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!haveTestSink())
            GTEST_SKIP() << "no test sound sink";
        if (engines::findSoundFont().empty())
            GTEST_SKIP() << "no SoundFont installed";
        // Loaded once, so that each Play starts its song at once.
        std::string why;
        ASSERT_TRUE(engines::preloadSoundFont(engines::findSoundFont(), why)) << why;
    }
    void TearDown() override { KMIDEngine_Stop(); }

    // Plays a file with the engine from start to end, recording the sink; key and tempo
    // factor are set right after Play.
    analysis::Stereo playAndRecord(const std::string& path, int key = 0)
    {
        SinkRecorder recorder;
        EXPECT_TRUE(recorder.start());
        EXPECT_EQ(KMIDEngine_Play(window.handle(), path.c_str(), ++cookie), 1);
        if (key)
            KMIDEngine_SetKey(key);
        EXPECT_TRUE(pumpUntil([&] { return window.has(kNotifyMidi, cookie, 1, 525); }, 20000));
        pump(200);
        return recorder.stop();
    }

    // Four seconds of A4 on an ocarina (program 79), which is close to a sine: its strongest
    // partial is its pitch.
    static std::string fourSeconds() { return midiFile("tone4.mid", kOcarina + " --seconds 4"); }

    NoteWindow window;
    int cookie = 0;
};

// The frequency heard in the second second, after the key set just after Play has reached a
// note struck anew (a key moves the notes from the next note-on).
double heardFrequency(const analysis::Stereo& s)
{
    const double start = analysis::firstAbove(analysis::mix(s), s.rate, 0.01);
    return start < 0 ? 0
                     : analysis::dominantFrequency(
                           analysis::mix(analysis::slice(s, start + 1.2, 0.7)), s.rate, 100, 4000);
}

} // namespace

TEST_F(MidiSound, AOneNoteMelodyIsHeardAtItsPitchAndAnOctaveUpWithKeyPlus12)
{
    const std::string file = midiFile("ocarina3.mid", kOcarina + " --seconds 3");
    const auto plain = playAndRecord(file);
    EXPECT_GT(analysis::rms(analysis::mix(plain)), 0.01) << "nothing was heard";
    const double f0 = heardFrequency(plain);
    EXPECT_NEAR(f0, 440, 440 * 0.03);
    const double f12 = heardFrequency(playAndRecord(file, 12));
    EXPECT_NEAR(f12 / f0, 2.0, 0.05) << f0 << " Hz, then " << f12 << " Hz";
    EXPECT_NEAR(heardFrequency(playAndRecord(file, -12)) / f0, 0.5, 0.03);
}

TEST_F(MidiSound, TheDrumChannelIsNotTransposed)
{
    // An open triangle (81) alone on channel 10. The General MIDI kit has nothing at 93, so a
    // drum note moved 12 up would fall silent; kept where it is, it sounds as loud as before.
    const std::string triangle =
        midiFile("triangle.mid", "drums --no-melody --drum 81 --seconds 2");
    const std::string nothing = midiFile("kit93.mid", "drums --no-melody --drum 93 --seconds 2");
    ASSERT_FALSE(triangle.empty());
    const double plain = analysis::rms(analysis::mix(playAndRecord(triangle)));
    ASSERT_GT(plain, 0.001) << "the drum was not heard";
    const double keyed = analysis::rms(analysis::mix(playAndRecord(triangle, 12)));
    EXPECT_NEAR(keyed / plain, 1.0, 0.3) << plain << " then " << keyed;
    // What a moved drum would have sounded like.
    const double moved = analysis::rms(analysis::mix(playAndRecord(nothing)));
    EXPECT_LT(moved, plain * 0.1) << "the kit has a sound at 93 after all: " << moved;
}

TEST_F(MidiSound, Tempo200PercentHalvesTheTimeASongTakes)
{
    const std::string file = fourSeconds();
    // The wall time from the first moment heard to the song's end, at the positions heard.
    const auto songTime = [&](int percent) {
        EXPECT_EQ(KMIDEngine_Play(window.handle(), file.c_str(), ++cookie), 1);
        const int base = KMIDEngine_GetTempo();
        EXPECT_EQ(base, 120000);
        if (percent != 100) {
            EXPECT_EQ(KMIDEngine_SetTempo(base * percent / 100), 1);
        }
        const int length = KMIDEngine_GetLength();
        EXPECT_TRUE(pumpUntil([] { return KMIDEngine_GetPosition() >= 100; }, 5000));
        const auto from = Clock::now();
        EXPECT_TRUE(pumpUntil([&] { return KMIDEngine_GetPosition() >= length - 5; }, 15000));
        const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
        pumpUntil([&] { return window.has(kNotifyMidi, cookie, 1, 525); }, 5000);
        return seconds;
    };
    const double normal = songTime(100), fast = songTime(200);
    EXPECT_NEAR(normal, 3.9, 0.15);
    EXPECT_NEAR(fast / normal, 0.5, 0.05) << normal << " s, then " << fast << " s";
}

TEST_F(MidiSound, KaraokeEventsComeInOrderWhenTheirNotesAreHeard)
{
    const std::string file =
        midiFile("timed.kar", "karaoke --title 'Evening Song' --text '\\Sun|ny e|ve/ning "
                              "lights\\Good| night' --start 1.0 --step 0.5");
    KaraokeWindow words;
    ASSERT_EQ(KMIDEngine_Play(words.handle(), file.c_str(), 1), 1);
    EXPECT_EQ(KMIDEngine_IsKaraoke(), 1);
    ASSERT_TRUE(pumpUntil([] { return KMIDEngine_GetMode() == kModeStopped; }, 15000));
    pump(100);
    // Every event, in the order of the file's script, each when the song is heard at its time:
    // not earlier, hardly later.
    const std::vector<int> due = {0, 0, 0, 1000, 1500, 2000, 2500, 2501, 3000, 3500};
    std::string seen;
    ASSERT_EQ(words.events.size(), due.size());
    for (size_t i = 0; i < due.size(); ++i) {
        const auto& e = words.events[i];
        EXPECT_GE(e.positionMs, due[i] - 15) << i;
        EXPECT_LE(e.positionMs, due[i] + 80) << i;
        seen += std::to_string(e.code) +
                (e.code >= 0 ? " " + e.text
                             : " " + std::to_string(e.highlight.position) + "+" +
                                   std::to_string(e.highlight.length)) +
                "\n";
    }
    EXPECT_EQ(seen, "0 Evening Song\n1 Sunny eve\n2 ning lights\n-1 0+3\n-2 3+4\n-2 7+2\n-1 0+11\n"
                    "3 Good night\n-1 0+4\n-2 4+6\n");
}

TEST_F(MidiSound, PauseHoldsTheSongAndSeekMovesIt)
{
    const std::string file = fourSeconds();
    ASSERT_EQ(KMIDEngine_Play(window.handle(), file.c_str(), ++cookie), 1);
    ASSERT_TRUE(pumpUntil([] { return KMIDEngine_GetPosition() >= 500; }, 5000));
    KMIDEngine_Pause();
    EXPECT_EQ(KMIDEngine_GetMode(), kModePaused);
    pump(200);
    const int held = KMIDEngine_GetPosition();
    pump(500);
    EXPECT_NEAR(KMIDEngine_GetPosition(), held, 30);
    // A paused song moved stays paused at its new place.
    KMIDEngine_Seek(3000);
    pump(300);
    EXPECT_EQ(KMIDEngine_GetMode(), kModePaused);
    EXPECT_NEAR(KMIDEngine_GetPosition(), 3000, 30);
    KMIDEngine_Resume();
    ASSERT_TRUE(pumpUntil([&] { return window.has(kNotifyMidi, cookie, 1, 525); }, 5000));
    EXPECT_EQ(KMIDEngine_GetMode(), kModeStopped);
}

TEST_F(MidiSound, FilesThatCannotPlaySayWhyAndReturnAtOnce)
{
    EXPECT_EQ(KMIDEngine_Play(window.handle(), (fixtureDir() + "/missing.mid").c_str(), 1),
              kMidiNotFound);
    const std::string broken = midiFile("noheader.mid", "broken --kind no-header");
    klog::clearLast("engines");
    EXPECT_EQ(KMIDEngine_Play(window.handle(), broken.c_str(), 2), kMidiFailed);
    EXPECT_TRUE(contains(klog::last("engines"), "no MThd header"));

    // Without any SoundFont: a clear refusal that names what to install.
    const std::string empty = fixtureDir() + "/no-soundfonts";
    std::filesystem::create_directories(empty);
    setenv("KOLVO_SF2_DIR", empty.c_str(), 1);
    klog::clearLast("engines");
    const std::string tone = midiFile("ocarina.mid", kOcarina + " --seconds 2");
    EXPECT_EQ(KMIDEngine_Play(window.handle(), tone.c_str(), 3), kMidiNoSoundFont);
    EXPECT_TRUE(contains(klog::last("engines"), "timgm6mb-soundfont"));
    EXPECT_EQ(KMIDEngine_IsOpen(), 0);
    unsetenv("KOLVO_SF2_DIR");
}

TEST_F(MidiSound, AFirstSongLoadsItsSoundFontAndFollowsByNotification)
{
    // Another SoundFont than the one loaded: it is not ready.
    std::string other;
    for (const std::string& place : engines::soundFontPlaces())
        if (std::filesystem::exists(place) && place != engines::findSoundFont())
            other = place;
    if (other.empty())
        GTEST_SKIP() << "only one SoundFont is installed";
    engines::setSoundFontChoice(other);
    const std::string file = midiFile("ocarina.mid", kOcarina + " --seconds 2");
    const int c = ++cookie;
    ASSERT_EQ(KMIDEngine_Play(window.handle(), file.c_str(), c), kResultMidiLater);
    // The length is known at once; the song is opening until the SoundFont is loaded.
    EXPECT_NEAR(KMIDEngine_GetLength(), 2000, 5);
    EXPECT_EQ(KMIDEngine_GetMode(), kModeOpening);
    ASSERT_TRUE(pumpUntil([&] { return window.has(kNotifyMidi, c, 1, kModePlaying); }, 20000));
    EXPECT_EQ(KMIDEngine_GetMode(), kModePlaying);
    ASSERT_TRUE(pumpUntil([&] { return window.has(kNotifyMidi, c, 1, kModeStopped); }, 10000));
    // Back to the usual SoundFont, which is no longer the one loaded: a Stop while it loads
    // means the song never starts.
    engines::setSoundFontChoice("");
    const int d = ++cookie;
    ASSERT_EQ(KMIDEngine_Play(window.handle(), file.c_str(), d), kResultMidiLater);
    KMIDEngine_Stop();
    EXPECT_EQ(KMIDEngine_IsOpen(), 0);
    pump(3000);
    EXPECT_FALSE(window.hasEvent(kNotifyMidi, d, 1));
    EXPECT_EQ(KMIDEngine_GetMode(), kModeStopped);
}

TEST_F(MidiSound, TheSequencerPlaysMidiFilesWithItsTempo)
{
    engines::registerSequencerDriver();
    const std::string file = fourSeconds();
    MciDevice mci;
    ASSERT_EQ(mci.openElement(file.c_str()), 1);
    EXPECT_EQ(mci.setTimeFormat(MCI_FORMAT_MILLISECONDS), 1);
    EXPECT_NEAR(mci.length(), 4000, 10);
    EXPECT_EQ(mci.status(MCI_SEQ_STATUS_TEMPO), 120);
    MCI_SEQ_SET_PARMS fast;
    fast.dwTempo = 240;
    EXPECT_EQ(mciSendCommand(mci.deviceId(), MCI_SET, MCI_SEQ_SET_TEMPO, &fast), 0u);
    EXPECT_EQ(mci.status(MCI_SEQ_STATUS_TEMPO), 240);
    const auto started = Clock::now();
    ASSERT_EQ(mci.play(0, -1, window.handle()), 1);
    EXPECT_EQ(mci.status(MCI_STATUS_MODE), kModePlaying);
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (const Note& n : window.notes)
                if (n.message == MM_MCINOTIFY && n.event == MCI_NOTIFY_SUCCESSFUL)
                    return true;
            return false;
        },
        10000));
    // Twice as fast: the four seconds pass in about two, with the output's latency and tail.
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - started).count(), 3.5);
    EXPECT_EQ(mci.status(MCI_STATUS_MODE), kModeStopped);
    mci.close();
}

TEST_F(MidiSound, TheSpectrumOfASongComesFromTheMidiChain)
{
    const std::string file = fourSeconds();
    ASSERT_EQ(KMIDEngine_Play(window.handle(), file.c_str(), ++cookie), 1);
    std::int32_t bands[engines::kSpectrumBands] = {};
    // The chain's analysis joins once someone asks for it.
    const auto lit = [&](const std::function<int(std::int32_t*)>& source) {
        return pumpUntil(
            [&] {
                std::fill(std::begin(bands), std::end(bands), 0);
                if (!source(bands))
                    return false;
                return *std::max_element(std::begin(bands), std::end(bands)) > 10;
            },
            3000);
    };
    EXPECT_TRUE(lit([](std::int32_t* b) { return KMIDEngine_GetSpectrum(b); }));
    // The sampling service's MIDI source, which the Sound Effector's display reads.
    const auto sources = engines::SpectrumService::engineSources();
    EXPECT_TRUE(lit([&](std::int32_t* b) { return sources[3](b, 0); }));
    // The MIDI Player's instance of the spectrum engine, while it runs.
    EXPECT_EQ(KCDSEngine_GetSpectrum(1, bands, 0), 0);
    KCDSEngine_Run(1);
    EXPECT_TRUE(lit([](std::int32_t* b) { return KCDSEngine_GetSpectrum(1, b, 0); }));
    KCDSEngine_Stop(1);
    KMIDEngine_Pause();
    pump(300);
    EXPECT_EQ(KMIDEngine_GetSpectrum(bands), 0) << "a paused song has no spectrum";
}
