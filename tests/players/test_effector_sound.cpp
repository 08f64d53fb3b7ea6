// The Sound Effector heard through the private PulseAudio, and pictures of the strip with the
// effector's spectrum moving under a tone sweep.

#include "analysis.h"
#include "componenthost.h"
#include "engines/effects.h"
#include "engines/kmpengine.h"
#include "engines/samplingservice.h"
#include "players/audioplayer.h"
#include "players/soundeffector.h"
#include "players/spectrumdisplay.h"
#include "playertest.h"
#include "ui/skinslider.h"

using enginetest::pump;
using enginetest::pumpUntil;

namespace {

class EffectorSound : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!enginetest::haveTestSink())
            GTEST_SKIP() << "no test sound sink";
        engines::setCurrentEffects({});
        engines::setCurrentEqualizer({});
        KMPEngine_SetScale(0, 32768);
        setInterfaceLanguage("en");
        effector = std::make_unique<SoundEffector>(host, nullptr);
        effector->show();
    }
    void TearDown() override
    {
        KMPEngine_Stop();
        effector.reset();
        engines::setCurrentEffects({});
        engines::setCurrentEqualizer({});
        setInterfaceLanguage("");
    }

    // Plays an MP3 with the MPEG engine while the sink's monitor is recorded.
    analysis::Stereo record(const std::string& file)
    {
        window.notes.clear();
        enginetest::SinkRecorder recorder;
        EXPECT_TRUE(recorder.start());
        const int cookie = ++m_cookie;
        char wav[256] = "", stream[256] = "";
        EXPECT_EQ(KMPEngine_Play(window.handle(), file.c_str(), cookie, wav, 0, stream), 1);
        pumpUntil(
            [&] { return window.has(0x7DE, cookie, 1, 525) || window.hasEvent(0x7DE, cookie, 2); },
            15000);
        EXPECT_TRUE(window.has(0x7DE, cookie, 1, 525));
        pump(150);
        return recorder.stop();
    }
    static analysis::Stereo part(const analysis::Stereo& r, double offset, double seconds)
    {
        const double onset = analysis::firstAbove(analysis::mix(r), r.rate, 0.02);
        EXPECT_GE(onset, 0) << "nothing was heard";
        return analysis::slice(r, onset + offset, seconds);
    }

    componenttest::TestHost host;
    std::unique_ptr<SoundEffector> effector;
    enginetest::NoteWindow window;

private:
    int m_cookie = 0;
};

} // namespace

TEST_F(EffectorSound, AnEqualizerPresetReachesTheSinkAndADisabledOneIsFlat)
{
    // Rock lowers band 7 (about 310 Hz) by 4 dB and lifts band 16 (about 6 kHz) by 6 dB.
    const double low = engines::equalizerCentre(7), high = engines::equalizerCentre(16);
    const std::string tones = enginetest::twoToneFile("mp3", 1.0, low, high, 0.2);
    const auto ratio = [&](const analysis::Stereo& r) {
        const analysis::Stereo p = part(r, 0.3, 0.5);
        return analysis::toneAmplitude(p.left, 44100, high) /
               analysis::toneAmplitude(p.left, 44100, low);
    };
    effector->sendMessage(UM_EQUALIZER_SPOT, 5, 0); // Flat
    const double flat = ratio(record(tones));
    effector->sendMessage(UM_EQUALIZER_SPOT, 0, 0); // Rock
    ASSERT_EQ(engines::currentEqualizer(), engines::kEqualizerPresets[0]);
    const double rock = ratio(record(tones));
    EXPECT_GT(rock / flat, 2.2) << "flat " << flat << ", rock " << rock;

    host.settings().equalizerEnable = 0;
    effector->ApplyEqualizer();
    const double disabled = ratio(record(tones));
    EXPECT_NEAR(disabled / flat, 1.0, 0.15) << "disabled: twenty zeros, whatever the mode";
}

TEST_F(EffectorSound, TheHallSpotMakesABurstRingOn)
{
    const std::string burst = enginetest::toneFile("mp3", 0.4, 440, 0, 0.5, 1.0);
    const auto tail = [&](const analysis::Stereo& r) {
        return analysis::rms(part(r, 0.55, 0.35).left);
    };
    const double dry = tail(record(burst));
    // The deepest reverb (slider at 16), then the hall spot.
    const LPARAM slider = static_cast<LPARAM>(effector->depthSlider(0)->handle());
    effector->sendMessage(WM_VSCROLL, slider::scrollParam(16, SB_THUMBPOSITION), slider);
    effector->sendMessage(UM_REVERB_SPOT, 0, 0);
    ASSERT_EQ(engines::currentEffects().reverbDepth, 32);
    const double wet = tail(record(burst));
    EXPECT_LT(dry, 0.003);
    EXPECT_GT(wet, 0.01) << "dry " << dry << ", wet " << wet;
    // The same spot again: reverb off, dry again.
    effector->sendMessage(UM_REVERB_SPOT, 0, 0);
    EXPECT_LT(tail(record(burst)), 0.003);
}

class EffectorPictures : public playertest::WindowTest<void>
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        if (!enginetest::haveTestSink())
            GTEST_SKIP() << "no test sound sink";
    }
};

TEST_F(EffectorPictures, TheSpectrumMovesWhileASweepPlays)
{
    const std::string sweep = homePath("sweep.wav");
    ASSERT_TRUE(
        enginetest::sh("sox -n -r 44100 -c 2 '" + sweep + "' synth 8 sine 60-12000 vol 0.5"));
    engines::SpectrumService::instance().start();
    openWindow(
        ComponentAudio,
        [](AppSettings& s) {
            s.components[ComponentEffector].enable = s.reverb = s.viewSpectrumMode = 1;
            s.equalizerMode = 2;
        },
        [](int index, PlayerHost& host, QWidget* parent) -> ComponentWnd* {
            if (index == ComponentEffector)
                return new SoundEffector(host, parent);
            return index == ComponentAudio ? new AudioPlayer(host, parent) : nullptr;
        });
    window->show();
    auto* effector = static_cast<SoundEffector*>(window->component(ComponentEffector));
    auto* player = static_cast<AudioPlayer*>(window->component(ComponentAudio));
    ASSERT_NE(effector, nullptr);
    SpectrumDisplay* spectrum = effector->spectrum();
    pumpUntil([&] { return player->state() == kModeStopped; }, 2000);
    ASSERT_TRUE(spectrum->isRegistered());
    pumpUntil([&] { return !spectrum->isAnimating(); }, 2000);
    window->grab().save(playertest::shotDir() + "/effector-stopped.png");
    playPending(sweep);
    ASSERT_TRUE(pumpUntil([&] { return player->state() == kModePlaying; }, 5000));
    // Where the energy is, band by band, at three moments of the sweep, in three modes.
    std::vector<std::array<int, 20>> seen;
    std::vector<QImage> pictures;
    for (int mode : {1, 2, 3}) {
        spectrum->SetMode(mode);
        pump(1500);
        seen.push_back(spectrum->levels());
        pictures.push_back(window->grab().toImage());
        pictures.back().save(playertest::shotDir() +
                             QString("/effector-sweep-mode%1.png").arg(mode));
    }
    command(cmd::Stop);
    engines::SpectrumService::instance().stop();
    // The bands' centre of mass (the louder bands weigh more).
    const auto centre = [](const std::array<int, 20>& levels) {
        double sum = 0, weight = 0;
        for (int i = 0; i < 20; ++i) {
            sum += static_cast<double>(levels[i]) * levels[i] * i;
            weight += static_cast<double>(levels[i]) * levels[i];
        }
        return weight > 0 ? sum / weight : -1.0;
    };
    for (const auto& levels : seen)
        EXPECT_GT(*std::max_element(levels.begin(), levels.end()), 20) << "the bars show sound";
    EXPECT_LT(centre(seen[0]) + 2, centre(seen[2])) << "the sweep climbs to the right";
    EXPECT_NE(pictures[0], pictures[1]);
    EXPECT_NE(pictures[1], pictures[2]);
    EXPECT_GT(spectrum->snapshotsShown(), 40) << "about twenty pictures a second";
}

TEST_F(EffectorPictures, TheWholeStripWithTheEffectorAndTheMixer)
{
    openWindow(ComponentAudio);
    window->show();
    ASSERT_NE(window->component(ComponentMixer), nullptr);
    ASSERT_NE(window->component(ComponentEffector), nullptr);
    pump(800);
    EXPECT_EQ(window->height(), 50 + 88 + 100 + 4 * 100)
        << "the effector, the mixer and the four players, all on at a first start";
    window->grab().save(playertest::shotDir() + "/strip-with-effector-and-mixer.png");
}
