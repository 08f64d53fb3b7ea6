// kolvo-cli info and play: the engine the Digital Audio Player would choose, its length and
// text; headless play with effects through the same chain, its lines, its end and Ctrl-C.

#include "enginetest.h"
#include "support/clirun.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <cmath>
#include <csignal>

using namespace enginetest;

namespace {

class Cli : public KolvoCliTest
{};

TEST_F(Cli, InfoNamesTheEngineTheLengthAndTheText)
{
    // (MPEG and plain WAVE files are described where they are played, and in every WAVE form.)
    // With the general engine off for WAV files, the media device answers ("%.3f kHz").
    writeFile("config/Quorvane System, Inc./Kolvo.conf", "[Audio]\nWAVUseDirectShow=0\n");
    auto r = run({"info", q(toneFile("wav", 1.0, 440))});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(
        contains(r.out, "engine: media device\nlength: 1000 ms\ninfo: 44.100 kHz, 16 bit, Stereo"));

    r = run({"info", q(toneFile("ra", 1.0, 440))});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "engine: RealAudio engine\n"));

    // The newer kinds go to the general engine. Compressed files say their own bit rate, not
    // the decoded PCM's, and no sample width: FLAC is not 1411 kbps, nor Vorbis "32 bit"
    // because it decodes to floats.
    for (const char* kind : {"flac", "ogg", "opus"}) {
        r = run({"info", q(toneFile(kind, 2.0, 440))});
        ASSERT_EQ(r.code, 0) << kind << ": " << r.err;
        EXPECT_TRUE(contains(r.out, "engine: general engine\n"));
        const size_t at = r.out.find("info: ");
        ASSERT_NE(at, std::string::npos) << r.out;
        const std::string info = r.out.substr(at);
        EXPECT_FALSE(contains(info, " bit,")) << kind << ": " << info;
        const size_t kbpsAt = info.find(" kbps");
        ASSERT_NE(kbpsAt, std::string::npos) << kind << ": " << info;
        const int kbps = std::stoi(info.substr(info.rfind(", ", kbpsAt) + 2));
        EXPECT_GT(kbps, 16) << kind << ": " << info;
        EXPECT_LT(kbps, 1000) << kind << ": " << info << " is the PCM rate";
    }

    r = run({"info", "/nonexistent/song.mp3"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "cannot be reached"));
    // What refused a file is said in words: no function prefixes, no bare result codes.
    r = run({"info", q(writeFile("noise.mp3", std::string(4096, '\x55')))});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "engine: the file is not an audio file it can play (code "));
    EXPECT_FALSE(contains(r.err, "Engine_"));
    EXPECT_FALSE(contains(r.err, "MCI"));
    EXPECT_EQ(run({"info"}).code, 2);
    EXPECT_EQ(run({"info", "a.mp3", "b.mp3"}).code, 2);
}

// WAVE files as other programs write them (24 and 32 bits, float, the extensible form) are
// described from what GStreamer found in them, with their own sample width, even when their
// samples hold what a frame scan takes for MPEG audio; MPEG audio inside a WAVE still is.
TEST_F(Cli, WaveFilesOfEveryFormAreDescribedAsWhatTheyHold)
{
    struct Case
    {
        const char* name;
        WaveForm form;
        int bits;
        const char* codec;
    } cases[] = {{"p8.wav", WaveForm::Pcm, 8, "8-bit PCM"},
                 {"p16.wav", WaveForm::Pcm, 16, "16-bit PCM"},
                 {"p24.wav", WaveForm::Pcm, 24, "24-bit PCM"},
                 {"p32.wav", WaveForm::Pcm, 32, "32-bit PCM"},
                 {"f32.wav", WaveForm::Float, 32, "32-bit IEEE float"},
                 {"e24.wav", WaveForm::ExtensiblePcm, 24, "24-bit PCM"},
                 {"ef32.wav", WaveForm::ExtensibleFloat, 32, "32-bit IEEE float"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProcessResult r = run({"info", q(waveWithFalseMpegSync(c.name, c.form, c.bits))});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(contains(r.out, "engine: general engine\n"));
        EXPECT_TRUE(contains(r.out, "length: 500 ms\n"));
        EXPECT_FALSE(contains(r.out, "MPEG"));
        EXPECT_TRUE(contains(r.out, c.codec));
        EXPECT_TRUE(contains(r.out, ", " + std::to_string(c.bits) + " bit, Stereo"));
        const int kbps = (44100 * 2 * c.bits + 500) / 1000;
        EXPECT_TRUE(contains(r.out, std::to_string(kbps) + " kbps"));
    }
    // Raw MPEG frames wrapped as a WAVE by ffmpeg: the frames are described, and timed.
    const std::string riff = fixtureDir() + "/mp3inside.wav";
    ASSERT_TRUE(sh("ffmpeg -loglevel error -y -i '" + toneFile("wav", 1.0, 440) +
                   "' -c:a libmp3lame -b:a 128k -f wav '" + riff + "'"));
    const ProcessResult r = run({"info", q(riff)});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "info: MPEG 1 Layer 3, 128 kbps, 44.1 kHz"));
    EXPECT_TRUE(contains(r.out, "length: 10"));
}

// Where GStreamer's own readers go wrong, the file's header decides: mono MS ADPCM WAVE is
// timed by its "fact" chunk (GStreamer alone says about half), and A-law AIFF-C (which
// GStreamer's AIFF reader calls damaged) opens through libav's reader.
TEST_F(Cli, CompressedWaveAndAiffcAreTimedAsTheirHeadersSay)
{
    const std::string tone = fixtureDir() + "/mono11k.wav";
    const std::string adpcm = fixtureDir() + "/mono11k-adpcm.wav";
    const std::string alaw = fixtureDir() + "/stereo-alaw.aifc";
    ASSERT_TRUE(sh("sox -n -r 11025 -c 1 -b 16 '" + tone + "' synth 1 sine 440"));
    ASSERT_TRUE(sh("sox '" + tone + "' -e ms-adpcm '" + adpcm + "'"));
    ASSERT_TRUE(sh("ffmpeg -loglevel error -y -i '" + toneFile("wav", 1.0, 440) +
                   "' -c:a pcm_alaw -f aiff '" + alaw + "'"));
    ProcessResult r = run({"info", q(adpcm)});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "length: 1000 ms\n"));
    EXPECT_TRUE(contains(r.out, "Mono"));
    r = run({"info", q(alaw)});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "length: 1000 ms\n"));
    EXPECT_TRUE(contains(r.out, "A-law"));
    EXPECT_TRUE(contains(r.out, "Stereo"));
}

// Each way a file can fail says which it is, and only a file that is not there is called
// unreachable.
TEST_F(Cli, FailuresSayWhetherTheFileIsMissingUnplayableDamagedOrTheOutputIsGone)
{
    const auto why = [&](const std::string& path) {
        const ProcessResult r = run({"info", q(path)});
        EXPECT_EQ(r.code, 1) << path;
        return r.err;
    };
    std::string err = why("/nonexistent/song.ogg");
    EXPECT_TRUE(contains(err, "the file is missing"));

    err = why(writeFile("notes.ogg", "these are words, not sound\n"));
    EXPECT_TRUE(contains(err, "not a file this player plays"));
    EXPECT_FALSE(contains(err, "cannot be reached"));

    // An Ogg file cut short inside its headers: the container is there, the sound is not.
    const std::string whole = readFile(toneFile("ogg", 1.0, 440));
    ASSERT_GT(whole.size(), 4000u);
    err = why(writeFile("cut.ogg", whole.substr(0, 120)));
    EXPECT_TRUE(contains(err, "the file is damaged"));

    // With no sound server to reach, good files of every engine blame the output when played
    // (info needs no output).
    const std::string pulse = getenv("PULSE_SERVER") ? getenv("PULSE_SERVER") : "";
    setenv("PULSE_SERVER", ("unix:" + homePath("no-such-socket")).c_str(), 1);
    const auto playWhy = [&](const std::string& path) {
        const ProcessResult r = run({"play", q(path)});
        EXPECT_EQ(r.code, 1) << path;
        return r.err;
    };
    const std::string ogg = playWhy(toneFile("ogg", 1.0, 440)),
                      mp3 = playWhy(toneFile("mp3", 1.0, 440));
    if (pulse.empty())
        unsetenv("PULSE_SERVER");
    else
        setenv("PULSE_SERVER", pulse.c_str(), 1);
    for (const std::string& e : {ogg, mp3}) {
        EXPECT_TRUE(contains(e, "the sound output cannot be opened"));
        EXPECT_FALSE(contains(e, "cannot be reached"));
    }
}

TEST_F(Cli, PlayPrintsItsProgressAndEnds)
{
    const std::string a = toneFile("mp3", 1.5, 440), b = toneFile("wav", 1.0, 660);
    const auto r = run({"play", q(a), "/nonexistent/x.mp3", q(b), "--sink", "fakesink sync=true",
                        "--reverb", "hall:20", "--eq", "rock"});
    EXPECT_EQ(r.code, 1) << "one of three files could not be played";
    EXPECT_TRUE(contains(r.err, "1 of 3 files"));
    const std::string expected = "file 1/3: " + a +
                                 " (MPEG engine)\nstate playing\nlength 1500 ms\n"
                                 "position 0 s\nposition 1 s\nstate stopped\n"
                                 "file 2/3: /nonexistent/x.mp3\nstate failed\n"
                                 "file 3/3: " +
                                 b + " (general engine)\n";
    EXPECT_EQ(r.out.substr(0, expected.size()), expected) << r.out;
    EXPECT_TRUE(contains(r.out, "length 1000 ms\nposition 0 s\nstate stopped\n"));
}

TEST_F(Cli, VeryShortFilesThroughASinkThatDoesNotWaitStillEnd)
{
    // Each can be over before the first look at its state: the play must end all the same.
    const std::string mp3 = toneFile("mp3", 0.05, 440), wav = toneFile("wav", 0.02, 440);
    const std::string ra = toneFile("ra", 0.05, 440);
    QStringList args{"play"};
    for (int i = 0; i < 4; ++i)
        args << q(mp3) << q(wav) << q(ra);
    args << "--sink"
         << "fakesink sync=false";
    const auto r = run(args, 30000);
    ASSERT_EQ(r.code, 0) << "timed out or failed: " << r.err << r.out;
    int ends = 0;
    for (size_t at = 0; (at = r.out.find("state stopped\n", at)) != std::string::npos; ++at)
        ++ends;
    EXPECT_EQ(ends, 12) << r.out;
    EXPECT_FALSE(contains(r.out, "state failed"));
    EXPECT_FALSE(contains(r.out, "length 0 ms"));
}

TEST_F(Cli, PlayRejectsWhatItCannotUse)
{
    for (const char* args : {"play", "play a.mp3 --reverb cave:10", "play a.mp3 --reverb hall:40",
                             "play a.mp3 --3d x", "play a.mp3 --fx echo", "play a.mp3 --eq 1,2,3",
                             "play a.mp3 --eq 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,99",
                             "play a.mp3 --loud yes", "play a.mp3 --wide"})
        EXPECT_EQ(run(QString(args).split(' ')).code, 2) << args;
}

TEST_F(Cli, CtrlCStopsThePlayCleanly)
{
    QProcess p;
    p.start(q(builtProgram("kolvo-cli")),
            {"play", q(toneFile("mp3", 6.0, 440)), "--sink", "fakesink sync=true"});
    ASSERT_TRUE(p.waitForStarted());
    std::string out;
    pumpUntil(
        [&] {
            p.waitForReadyRead(20);
            out += p.readAllStandardOutput().toStdString();
            return out.find("position 1 s") != std::string::npos;
        },
        8000);
    ASSERT_NE(out.find("position 1 s"), std::string::npos) << out;
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(3000));
    out += p.readAllStandardOutput().toStdString();
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(contains(out, "state stopped\ninterrupted\n"));
    EXPECT_FALSE(contains(out, "position 4 s"));
}

TEST_F(Cli, TheEffectsOfPlayReachTheSink)
{
    if (!haveTestSink())
        GTEST_SKIP() << "no test sound sink";
    SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    const auto r = run({"play", q(toneFile("mp3", 1.2, 440)), "--fx", "pitch+4"});
    ASSERT_EQ(r.code, 0) << r.err;
    pump(150);
    const auto rec = recorder.stop();
    const double onset = analysis::firstAbove(analysis::mix(rec), rec.rate, 0.02);
    ASSERT_GE(onset, 0);
    const auto part = analysis::slice(rec, onset + 0.3, 0.5);
    EXPECT_NEAR(analysis::dominantFrequency(part.left, rec.rate), 440 * std::pow(2, 4 / 12.0), 4);
}

} // namespace
