// What reaches the test PulseAudio's sink, recorded and measured: the file's level and frequency,
// each effect's own change, no gap or click when effects change mid-tone, and the WAVE output,
// http streams, spectrum taps and pushed PCM through the same chain.

#include "engines/effects.h"
#include "engines/engineapi.h"
#include "engines/enginesupport.h"
#include "engines/kamengine.h"
#include "engines/kcdsengine.h"
#include "engines/kmpengine.h"
#include "engines/kraengine.h"
#include "engines/mediaplayer.h"
#include "engines/pcmoutput.h"
#include "enginetest.h"
#include "support/testhome.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

using namespace enginetest;
using namespace engines;

namespace {

// A web server on the loopback address serving the files put into its folder.
class LocalServer
{
public:
    ~LocalServer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    // Serves a copy of `file` as `name`; its address, "" when the server did not start.
    std::string serve(const std::string& file, const std::string& name)
    {
        if (!sh("cp '" + file + "' '" + m_dir.path().toStdString() + "/" + name + "'"))
            return {};
        m_process.setWorkingDirectory(m_dir.path());
        m_process.start("/usr/bin/python3", {"-m", "http.server", "0", "--bind", "127.0.0.1"});
        if (!m_process.waitForStarted())
            return {};
        QString banner;
        pumpUntil(
            [&] {
                banner += QString::fromUtf8(m_process.readAllStandardOutput());
                return banner.contains("port ");
            },
            5000);
        const QString port = banner.section("port ", 1).section(' ', 0, 0);
        return port.isEmpty() ? std::string()
                              : "http://127.0.0.1:" + port.toStdString() + "/" + name;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

class Output : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!haveTestSink())
            GTEST_SKIP() << "no test sound sink";
        TearDown();
    }
    void TearDown() override
    {
        KMPEngine_Stop();
        KAMEngine_Close(0);
        KRAEngine_Stop();
        setCurrentEffects({});
        setCurrentEqualizer({});
        KMPEngine_SetChannel(0);
        KMPEngine_SetScale(0, 32768);
        KMPEngine_SetOutputOptions(0, 10, 1, 0);
    }

    // Plays a file with the MPEG engine (or the general file engine for other files) while
    // the sink is recorded; `during(ms)` is called as the play goes on.
    analysis::Stereo record(const std::string& file, const std::function<void(int)>& during = {})
    {
        window.notes.clear();
        SinkRecorder recorder;
        EXPECT_TRUE(recorder.start());
        const bool mpeg = file.size() > 4 && file.substr(file.size() - 4) == ".mp3";
        const int cookie = ++m_cookie;
        if (mpeg) {
            char wav[256] = "", stream[256] = "";
            EXPECT_EQ(KMPEngine_Play(window.handle(), file.c_str(), cookie, wav, 0, stream), 1);
        } else {
            EXPECT_EQ(KAMEngine_Open(0, window.handle(), file.c_str(), cookie, nullptr, 0), 1);
            EXPECT_EQ(KAMEngine_Play(0), 1);
        }
        const UINT message = mpeg ? 0x7DE : 0x7AC;
        pumpUntil(
            [&] {
                if (during)
                    during(mpeg ? KMPEngine_GetPosition() : KAMEngine_GetPosition(0));
                return window.has(message, cookie, 1, 525) || window.hasEvent(message, cookie, 2);
            },
            15000);
        EXPECT_TRUE(window.has(message, cookie, 1, 525));
        pump(150); // the sink's last buffer
        return recorder.stop();
    }

    // The recording from `offset` seconds after the sound starts, `seconds` long.
    static analysis::Stereo part(const analysis::Stereo& r, double offset, double seconds)
    {
        const double onset = analysis::firstAbove(analysis::mix(r), r.rate, 0.02);
        EXPECT_GE(onset, 0) << "nothing was heard";
        return analysis::slice(r, onset + offset, seconds);
    }

    // The middle of what was heard of `file`.
    analysis::Stereo heard(const std::string& file) { return part(record(file), 0.3, 0.5); }

    NoteWindow window;
    int m_cookie = 0;
};

double amp(const std::vector<float>& x, double hz)
{
    return analysis::toneAmplitude(x, 44100, hz);
}

TEST_F(Output, WhatReachesTheSinkIsWhatTheFileHolds)
{
    // A WAVE file through the general file engine: no gain anywhere.
    auto r = record(toneFile("wav", 1.2, 440));
    auto p = part(r, 0.3, 0.6);
    EXPECT_NEAR(analysis::toneAmplitude(p.left, r.rate, 440), 0.5, 0.02);
    EXPECT_NEAR(analysis::toneAmplitude(p.right, r.rate, 440), 0.5, 0.02);
    EXPECT_NEAR(analysis::dominantFrequency(p.left, r.rate), 440, 2);
    // Nothing is lost at either end: the sound lasts as long as the file.
    const auto all = analysis::mix(r);
    EXPECT_NEAR(analysis::lastAbove(all, r.rate, 0.02) - analysis::firstAbove(all, r.rate, 0.02),
                1.2, 0.05);

    // MPEG audio with the designed default scale 24000 of 32768.
    KMPEngine_SetScale(0, 24000);
    r = record(toneFile("mp3", 1.2, 660));
    p = part(r, 0.3, 0.6);
    EXPECT_NEAR(analysis::toneAmplitude(p.left, r.rate, 660), 0.5 * 24000 / 32768, 0.02);
    EXPECT_NEAR(analysis::dominantFrequency(p.right, r.rate), 660, 2);
}

TEST_F(Output, ChannelChoiceLeftRightAndMono)
{
    const std::string file = toneFile("mp3", 1.0, 440, 660);
    KMPEngine_SetChannel(1);
    auto p = heard(file);
    EXPECT_NEAR(amp(p.right, 440), 0.5, 0.03);
    EXPECT_LT(amp(p.right, 660), 0.02);
    KMPEngine_SetChannel(2);
    p = heard(file);
    EXPECT_NEAR(amp(p.left, 660), 0.5, 0.03);
    EXPECT_LT(amp(p.left, 440), 0.02);
    KMPEngine_SetChannel(3);
    p = heard(file);
    for (const auto* side : {&p.left, &p.right}) {
        EXPECT_NEAR(amp(*side, 440), 0.25, 0.03);
        EXPECT_NEAR(amp(*side, 660), 0.25, 0.03);
    }
}

TEST_F(Output, LowerQualityLowersTheSampleRate)
{
    // Of 440 Hz and 9 kHz, both survive full quality; at most 12 kHz (a 6 kHz band) only the
    // low one does.
    const std::string both = twoToneFile("mp3", 1.0, 440, 9000, 0.25);
    auto p = heard(both);
    EXPECT_NEAR(amp(p.left, 9000), 0.25, 0.03);
    EXPECT_EQ(mpegDecoderName(), "mpg123audiodec");
    KMPEngine_SetQuality(2);
    p = heard(both);
    KMPEngine_SetQuality(0);
    EXPECT_NEAR(amp(p.left, 440), 0.25, 0.03);
    EXPECT_LT(amp(p.left, 9000), 0.01);
    // The other decoder (libavcodec) plays the same file the same way.
    KMPEngine_SetEngine(1);
    p = heard(toneFile("mp3", 1.0, 440));
    const std::string decoder = mpegDecoderName();
    KMPEngine_SetEngine(0);
    EXPECT_EQ(decoder.rfind("avdec_mp3", 0), 0u) << decoder;
    EXPECT_NEAR(amp(p.left, 440), 0.5, 0.03);
}

// The nice values of this process's threads.
std::vector<int> threadNiceValues()
{
    std::vector<int> values;
    QDir tasks("/proc/self/task");
    for (const QString& id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream in("/proc/self/task/" + id.toStdString() + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Fields after the command's closing parenthesis: state is field 3, nice field 19.
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int n = 3; n <= 19 && fields >> field; ++n) {
            if (n == 19)
                values.push_back(std::stoi(field));
        }
    }
    return values;
}

TEST_F(Output, BufferCountSetsTheSinkBufferAndPriorityTheDecodingThreads)
{
    const std::string file = toneFile("mp3", 1.0, 440);
    char wav[256] = "", stream[256] = "";
    for (const auto& [count, ms] : {std::pair{5, 100}, std::pair{25, 500}, std::pair{1, 40}}) {
        KMPEngine_SetOutputOptions(0, count, 1, 0);
        ASSERT_EQ(KMPEngine_Play(window.handle(), file.c_str(), 1, wav, 0, stream), 1);
        EXPECT_EQ(mpegSinkBufferMs(), ms) << count << " buffers of 20 ms";
        const auto nice = threadNiceValues();
        EXPECT_EQ(std::count(nice.begin(), nice.end(), 5), 0);
        KMPEngine_Stop();
    }
    // Below normal: the streaming threads run at a nice value of 5 (raising it needs
    // privileges, so only lowering is checked).
    KMPEngine_SetOutputOptions(0, 10, 0, 0);
    ASSERT_EQ(KMPEngine_Play(window.handle(), file.c_str(), 2, wav, 0, stream), 1);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7DE, 2, 1, 526); }, 3000));
    const auto nice = threadNiceValues();
    EXPECT_GE(std::count(nice.begin(), nice.end(), 5), 1);
    // The program's own threads keep the nice value it was started with (a test run under
    // `nice` starts above 0).
    EXPECT_NE(std::count(nice.begin(), nice.end(), getpriority(PRIO_PROCESS, 0)), 0)
        << "the program's own threads";
    KMPEngine_Stop();
}

TEST_F(Output, AgcKeepsALoudGainFromClipping)
{
    const std::string loud = toneFile("mp3", 1.0, 440, 0, 0.9);
    KMPEngine_SetScale(0, 65536);
    EXPECT_GT(analysis::peak(heard(loud).left), 0.999); // clipped at the sink
    KMPEngine_SetScale(1, 65536);
    const auto p = heard(loud);
    EXPECT_LT(analysis::peak(p.left), 0.985);
    EXPECT_GT(analysis::peak(p.left), 0.9);
}

TEST_F(Output, EachEffectChangesTheSoundInItsOwnWay)
{
    const auto fx = [](EffectSettings s) { setCurrentEffects(s); };
    const auto side = [](const analysis::Stereo& p) {
        return analysis::rms(analysis::difference(p));
    };

    // Equalizer: a +12 dB boost of band 13 (about 2.2 kHz) lifts that tone against a 161 Hz one.
    const double low = equalizerCentre(5), high = equalizerCentre(13);
    const std::string twoTones = twoToneFile("mp3", 1.0, low, high, 0.2);
    auto p = heard(twoTones);
    const double flatRatio = amp(p.left, high) / amp(p.left, low);
    int curve[20] = {};
    curve[13] = 12;
    KMPEngine_SetEqualizer(curve);
    p = heard(twoTones);
    const double boostedRatio = amp(p.left, high) / amp(p.left, low);
    EXPECT_GT(boostedRatio / flatRatio, 2.5) << flatRatio << " " << boostedRatio;
    KMPEngine_SetEqualizer(std::array<int, 20>{}.data());

    // Reverb: a tone burst keeps sounding after it ends, longer in a bigger room.
    const std::string burst = toneFile("mp3", 0.4, 440, 0, 0.5, 1.0);
    const auto tail = [&] { return analysis::rms(part(record(burst), 0.55, 0.35).left); };
    EXPECT_LT(tail(), 0.003);
    fx({.reverb = 1, .reverbMode = 0, .reverbDepth = 32});
    const double wetTail = tail();
    EXPECT_GT(wetTail, 0.01);
    fx({.reverb = 1, .reverbMode = 1, .reverbDepth = 32});
    EXPECT_LT(tail(), wetTail);

    // Pitch: up four semitones, down two.
    const std::string tone = toneFile("mp3", 1.0, 440);
    fx({.fx = 1, .fxMode = 6});
    EXPECT_NEAR(analysis::dominantFrequency(heard(tone).left, 44100), 440 * std::pow(2, 4 / 12.0),
                4);
    fx({.fx = 1, .fxMode = 8});
    EXPECT_NEAR(analysis::dominantFrequency(heard(tone).left, 44100), 440 * std::pow(2, -2 / 12.0),
                4);

    // Wide: the difference between the channels grows.
    fx({});
    const std::string sided = toneFile("mp3", 1.0, 440, 660);
    const double plainSide = side(heard(sided));
    fx({.wide = 1, .wideDepth = 32});
    EXPECT_GT(side(heard(sided)) / plainSide, 1.8);

    // 3D: a mono sound spreads between the speakers.
    fx({});
    EXPECT_LT(side(heard(tone)), 0.01);
    fx({.chorus = 1, .chorusDepth = 32});
    EXPECT_GT(side(heard(tone)), 0.15);

    // Robot 1 moves a 1 kHz tone to its ring-modulation sidebands.
    fx({.fx = 1, .fxMode = 2});
    p = heard(toneFile("mp3", 1.0, 1000));
    EXPECT_LT(amp(p.left, 1000), 0.05);
    EXPECT_GT(amp(p.left, 970), 0.15);

    // Flange sweeps notches across the tone: its level rises and falls.
    fx({.fx = 1, .fxMode = 0});
    p = part(record(toneFile("mp3", 1.5, 1000)), 0.05, 1.3);
    double lo = 1, hi = 0;
    for (double t = 0; t + 0.05 <= 1.3; t += 0.05) {
        const double level = analysis::rms(analysis::slice(p, t, 0.05).left);
        lo = std::min(lo, level), hi = std::max(hi, level);
    }
    EXPECT_GT(hi / std::max(lo, 1e-6), 2.0);
}

TEST_F(Output, EffectsChangeWhilePlayingWithoutGapsOrClicks)
{
    const std::string tone = toneFile("mp3", 6.5, 440, 0, 0.4);
    // A deep sound card buffer: this test is about seams of the effects, not about a busy
    // machine starving the sound card.
    KMPEngine_SetOutputOptions(0, 50, 1, 0);
    // One change every 0.7 s.
    const std::vector<std::function<void()>> changes = {
        [] {}, [] { setCurrentEffects({.reverb = 1, .reverbDepth = 24}); },
        [] { setCurrentEffects({.reverb = 1, .reverbDepth = 24, .chorus = 1, .chorusDepth = 32}); },
        [] { setCurrentEffects({.reverb = 1, .chorus = 1, .wide = 1, .wideDepth = 32}); },
        // Robot 1 rather than flange: a flange's notch on a pure tone is a deep dip by design,
        // which would hide a real gap.
        [] { setCurrentEffects({.reverb = 1, .wide = 1, .fx = 1, .fxMode = 2}); },
        [] { setCurrentEffects({.reverb = 1, .fx = 1, .fxMode = 5}); }, // pitch joins here
        [] { setCurrentEqualizer(kEqualizerPresets[0]); },
        [] { setCurrentEffects({.fx = 1, .fxMode = 10}); }, // dry: the pitch goes back
        [] {
            setCurrentEffects({});
            setCurrentEqualizer({});
        }};
    size_t step = 0;
    const auto r = record(tone, [&](int ms) {
        for (; step < std::min<size_t>(ms / 700, changes.size()); ++step)
            changes[step]();
    });
    EXPECT_GE(step, 8u) << "the play ended before every change was made";
    EXPECT_TRUE(mpegChainHasReverb());
    EXPECT_TRUE(mpegChainHasPitch());
    const auto body = part(r, 0.1, 6.2);
    if (const char* keep = std::getenv("KOLVO_KEEP_RECORDINGS"))
        analysis::writeWav(std::string(keep) + "/effect-changes.wav", body);
    for (const auto* side : {&body.left, &body.right}) {
        // A 500 Hz sound of this level has second differences near 0.002; a seam, tenths.
        double seamAt = 0, dipAt = 0;
        EXPECT_LT(analysis::worstSeam(*side, &seamAt, body.rate), 0.05) << "at " << seamAt << " s";
        // The pitch shifter comes in behind a fade of a few milliseconds; nothing goes quiet
        // for longer.
        EXPECT_GT(analysis::deepestDip(*side, body.rate, 50, 400, &dipAt), 0.3)
            << "at " << dipAt << " s";
    }
}

TEST_F(Output, WaveFileOutputWithAndWithoutTheSoundCard)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string file = toneFile("mp3", 1.0, 440);
    char wavDir[256] = {}, streamDir[256] = {};
    std::snprintf(wavDir, sizeof wavDir, "%s", folder.c_str());

    KMPEngine_SetOutputOptions(1, 10, 1, 0);
    ASSERT_EQ(KMPEngine_Play(window.handle(), file.c_str(), 1, wavDir, 1, streamDir), 1);
    // Without a sound card to keep time the file is written as fast as it decodes.
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7DE, 1, 1, 525); }, 800));
    const std::string written = mpegWavOutputPath();
    EXPECT_EQ(written, folder + "/" + baseNameOf(file) + ".wav");
    KMPEngine_Stop();
    analysis::Stereo w;
    ASSERT_TRUE(analysis::readWav(written, w));
    EXPECT_NEAR(w.seconds(), 1.0, 0.05);
    EXPECT_NEAR(analysis::toneAmplitude(analysis::slice(w, 0.2, 0.5).left, w.rate, 440), 0.5, 0.03);
    // Automatic naming picks a free name; without it the file is replaced.
    ASSERT_EQ(KMPEngine_Play(window.handle(), file.c_str(), 2, wavDir, 1, streamDir), 1);
    EXPECT_EQ(mpegWavOutputPath(), folder + "/" + baseNameOf(file) + " (2).wav");
    KMPEngine_Stop();
    ASSERT_EQ(KMPEngine_Play(window.handle(), file.c_str(), 3, wavDir, 0, streamDir), 1);
    EXPECT_EQ(mpegWavOutputPath(), written);
    KMPEngine_Stop();

    // Both: heard and written.
    KMPEngine_SetOutputOptions(2, 10, 1, 0);
    std::snprintf(wavDir, sizeof wavDir, "%s/both", folder.c_str());
    const auto r = record(file);
    EXPECT_NEAR(analysis::toneAmplitude(part(r, 0.3, 0.5).left, r.rate, 440), 0.5, 0.03);
    // (record() used an empty folder buffer: the music folder was filled in.)
    ASSERT_EQ(KMPEngine_Play(window.handle(), file.c_str(), 4, wavDir, 0, streamDir), 1);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7DE, 4, 1, 525); }, 4000));
    KMPEngine_Stop();
    ASSERT_TRUE(analysis::readWav(folder + "/both/" + baseNameOf(file) + ".wav", w));
    EXPECT_NEAR(w.seconds(), 1.0, 0.05);

    // An empty folder buffer is filled with the folder used.
    KMPEngine_SetOutputOptions(1, 10, 1, 0);
    char empty[256] = {};
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", dir.path().toUtf8());
    ASSERT_EQ(KMPEngine_Play(window.handle(), file.c_str(), 5, empty, 1, streamDir), 1);
    qputenv("HOME", oldHome);
    KMPEngine_Stop();
    EXPECT_EQ(std::string(empty), folder + "/Music");
}

TEST_F(Output, HttpStreamsPlayOpenLaterAndAreSaved)
{
    LocalServer server;
    const std::string tone = toneFile("mp3", 1.0, 440);
    const std::string url = server.serve(tone, "radio.mp3");
    ASSERT_FALSE(url.empty());

    QTemporaryDir saveDir;
    char wavDir[256] = {}, streamDir[256] = {};
    std::snprintf(streamDir, sizeof streamDir, "%s", saveDir.path().toUtf8().constData());
    KMPEngine_SetOutputOptions(0, 10, 1, 1);
    SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    ASSERT_EQ(KMPEngine_Play(window.handle(), url.c_str(), 9, wavDir, 0, streamDir),
              kResultMpegLater);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7DE, 9, 1, 526); }, 5000));
    char info[1024];
    const int flags[6] = {1, 1, 1, 1, 1, 1};
    KMPEngine_GetFileInfo(info, sizeof info, 1, flags);
    EXPECT_TRUE(contains(info, "MPEG 1 Layer 3, 192 kbps, 44.1 kHz"));
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7DE, 9, 1, 525); }, 5000));
    pump(150);
    const auto r = recorder.stop();
    EXPECT_NEAR(analysis::dominantFrequency(part(r, 0.3, 0.5).left, r.rate), 440, 2);
    const std::string saved = mpegStreamCopyPath();
    KMPEngine_Stop();
    EXPECT_EQ(saved, saveDir.path().toStdString() + "/radio.mp3");
    EXPECT_EQ(readFile(saved), readFile(tone));

    // An address the server does not have fails by notification.
    const std::string missing = url.substr(0, url.rfind('/')) + "/nothing.mp3";
    ASSERT_EQ(KMPEngine_Play(window.handle(), missing.c_str(), 10, wavDir, 0, streamDir),
              kResultMpegLater);
    EXPECT_TRUE(pumpUntil([&] { return window.hasEvent(0x7DE, 10, 2); }, 5000));
    EXPECT_EQ(KMPEngine_GetMode(), kModeStopped);
}

TEST_F(Output, TheGeneralEngineOpensAnHttpStreamLaterAndPlaysIt)
{
    LocalServer server;
    const std::string url = server.serve(toneFile("wav", 1.0, 550), "radio.wav");
    ASSERT_FALSE(url.empty());

    SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    int hasVideo = -1;
    ASSERT_EQ(KAMEngine_Open(0, window.handle(), url.c_str(), 21, &hasVideo, 0), kResultAmLater);
    EXPECT_EQ(hasVideo, 0);
    EXPECT_EQ(KAMEngine_IsOpen(0), 1);
    // Ready by notification; until then the instance is opening, and after it waits for Play.
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7AC, 21, 1, kModeOpening); }, 5000));
    EXPECT_EQ(KAMEngine_GetMode(0), kModeStopped);
    EXPECT_NEAR(KAMEngine_GetLength(0), 1000, 50);
    ASSERT_EQ(KAMEngine_Play(0), 1);
    EXPECT_EQ(KAMEngine_GetMode(0), kModePlaying);
    ASSERT_TRUE(pumpUntil([&] { return window.has(0x7AC, 21, 1, kModeStopped); }, 5000));
    EXPECT_FALSE(window.hasEvent(0x7AC, 21, 2));
    pump(150);
    const auto r = recorder.stop();
    const auto p = part(r, 0.3, 0.5);
    EXPECT_NEAR(analysis::dominantFrequency(p.left, r.rate), 550, 2);
    EXPECT_NEAR(analysis::toneAmplitude(p.left, r.rate, 550), 0.5, 0.03);
    // The whole file was heard, not just what had arrived by the time Play came.
    const auto all = analysis::mix(r);
    EXPECT_NEAR(analysis::lastAbove(all, r.rate, 0.02) - analysis::firstAbove(all, r.rate, 0.02),
                1.0, 0.05);
}

TEST_F(Output, TheSpectrumFollowsWhatSounds)
{
    std::int32_t bands[20];
    EXPECT_EQ(KMPEngine_GetSpectrum(bands, 0), 0) << "nothing plays yet";
    char wav[256] = "", stream[256] = "";
    ASSERT_EQ(
        KMPEngine_Play(window.handle(), toneFile("mp3", 2.5, 1000).c_str(), 1, wav, 0, stream), 1);
    ASSERT_TRUE(pumpUntil([&] { return KMPEngine_GetSpectrum(bands, 0) != 0; }, 2000));
    pump(300);
    ASSERT_EQ(KMPEngine_GetSpectrum(bands, 0), 1);
    const auto loudest = std::max_element(bands, bands + 20) - bands;
    EXPECT_EQ(loudest, 10) << "1 kHz lies in band 10 (894 to 1196 Hz)";
    EXPECT_GT(bands[10], 50);
    EXPECT_LT(bands[0], bands[10] / 2);
    std::int32_t linear[20];
    ASSERT_EQ(KMPEngine_GetSpectrum(linear, kSpectrumLinearFlag), 1);
    EXPECT_EQ(std::max_element(linear, linear + 20) - linear, 10);
    EXPECT_NE(std::vector<std::int32_t>(bands, bands + 20),
              std::vector<std::int32_t>(linear, linear + 20));
    // Paused or stopped, nothing sounds.
    KMPEngine_Pause();
    EXPECT_EQ(KMPEngine_GetSpectrum(bands, 0), 0);
    KMPEngine_Stop();
    EXPECT_EQ(KMPEngine_GetSpectrum(bands, 0), 0);
}

TEST_F(Output, PcmOfTheCdPlayerPassesTheChainAndItsSpectrum)
{
    std::int32_t bands[20];
    KCDSEngine_Stop(0);
    KCDSEngine_Stop(1);
    SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    PcmTone tone(ChainRole::Cd, 2000, 2.0);
    pump(300);
    EXPECT_EQ(KCDSEngine_GetSpectrum(0, bands, 0), 0) << "not running yet";
    EXPECT_EQ(KCDSEngine_IsRunning(0), 0);
    ASSERT_EQ(KCDSEngine_Run(0), 1);
    EXPECT_EQ(KCDSEngine_IsRunning(0), 1);
    EXPECT_TRUE(pumpUntil([&] { return KCDSEngine_GetSpectrum(0, bands, 0) != 0; }, 1500));
    EXPECT_EQ(std::max_element(bands, bands + 20) - bands, 12) << "2 kHz lies in band 12";
    KCDSEngine_Run(1);
    EXPECT_EQ(KCDSEngine_GetSpectrum(1, bands, 0), 0) << "no MIDI audio sounds";
    EXPECT_EQ(KMPEngine_GetSpectrum(bands, 0), 0) << "nor does the digital audio player";
    KCDSEngine_Stop(0);
    KCDSEngine_Stop(1);
    EXPECT_EQ(KCDSEngine_GetSpectrum(0, bands, 0), 0);
    EXPECT_EQ(KCDSEngine_Run(2), 0);
    pumpUntil([&] { return tone.done() && tone.mode() == kModeStopped; }, 4000);
    pump(150);
    const auto r = recorder.stop();
    const auto p = part(r, 0.5, 0.5);
    EXPECT_NEAR(analysis::dominantFrequency(p.left, r.rate, 1000, 3000), 2000, 3);
    EXPECT_NEAR(analysis::toneAmplitude(p.left, r.rate, 2000), 0.5, 0.03);
}

} // namespace
