// Recording from the sound card, through the private PulseAudio: its sink's monitor is recorded
// while a tone plays into the sink.
#include "recordtest.h"
#include "support/testhome.h"

#include "record/wave.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <thread>

using namespace record;
using namespace recordtest;

namespace {

class RecordingTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        const char* sink = std::getenv("KOLVO_TEST_SINK");
        ASSERT_TRUE(sink) << "the pulse fixture sets KOLVO_TEST_SINK";
        m_monitor = std::string("pulsesrc device=") + sink + ".monitor";
        ::setenv("KOLVO_CAPTURE_SOURCE", m_monitor.c_str(), 1);
    }
    void TearDown() override
    {
        stopTone();
        ::unsetenv("KOLVO_CAPTURE_SOURCE");
        KolvoHomeTest::TearDown();
    }
    // Plays a tone into the test sink for `seconds`, in the background.
    void playTone(double hz, double seconds)
    {
        const std::string tone = homePath("tone.wav");
        writeBytes(tone,
                   waveBytes(MakePcmFormat(44100, 16, 2), recordtest::tone(hz, seconds, 44100, 2)));
        m_player = std::thread([tone] { run("paplay -d \"$KOLVO_TEST_SINK\" " + quoted(tone)); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    void stopTone()
    {
        if (m_player.joinable())
            m_player.join();
    }

    std::string m_monitor;
    std::thread m_player;
};

struct Collector : WaveReceiver
{
    std::vector<size_t> sizes;
    size_t total = 0;
    std::string failure;
    void DataRecorded(CWave&, const std::uint8_t*, size_t count, int) override
    {
        sizes.push_back(count);
        total += count;
    }
    void RecordingFailed(CWave&, const std::string& why) override { failure = why; }
};

void pump(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

double statValue(const std::string& output, const std::string& key)
{
    const size_t at = output.find(key);
    return at == std::string::npos ? -1 : std::stod(output.substr(output.find(':', at) + 1));
}

} // namespace

TEST_F(RecordingTest, KolvoCliRecordsTheToneThatPlays)
{
    playTone(660, 4);
    const std::string out = homePath("rec.wav");
    const RunResult r =
        run(quoted(builtProgram("kolvo-cli")) + " record " + quoted(out) + " --seconds 2", true);
    stopTone();
    ASSERT_EQ(r.status, 0) << r.output;
    const RunResult stat = run("sox " + quoted(out) + " -n remix - stat", true);
    EXPECT_DOUBLE_EQ(statValue(stat.output, "Length (seconds)"), 2.0) << stat.output;
    EXPECT_NEAR(statValue(stat.output, "Rough   frequency"), 660, 15) << stat.output;
    EXPECT_GT(statValue(stat.output, "RMS     amplitude"), 0.2) << stat.output;

    // An MP3 of it decodes to the same tone.
    playTone(440, 3);
    const std::string mp3 = homePath("rec.mp3");
    ASSERT_EQ(run(quoted(builtProgram("kolvo-cli")) + " record " + quoted(mp3) +
                  " --seconds 1.5 --type mp3")
                  .status,
              0);
    stopTone();
    ASSERT_EQ(run("mpg123 -q -w " + quoted(homePath("d.wav")) + " " + quoted(mp3)).status, 0);
    const RunResult decoded = run("sox " + quoted(homePath("d.wav")) + " -n remix - stat", true);
    EXPECT_NEAR(statValue(decoded.output, "Length (seconds)"), 1.5, 0.06);
    EXPECT_NEAR(statValue(decoded.output, "Rough   frequency"), 440, 15) << decoded.output;

    // RealAudio 1.0 of it: 8 kHz mono 14.4 of the length asked for, the tone kept.
    playTone(880, 3);
    const std::string ra = homePath("rec.ra");
    const RunResult made = run(quoted(builtProgram("kolvo-cli")) + " record " + quoted(ra) +
                                   " --seconds 1.5 --type ra",
                               true);
    stopTone();
    ASSERT_EQ(made.status, 0) << made.output;
    const Probe p = probe(ra);
    EXPECT_EQ(p.codec, "ra_144");
    EXPECT_EQ(p.rate, 8000);
    EXPECT_EQ(p.channels, 1);
    EXPECT_NEAR(p.seconds, 1.5, 0.05);
    EXPECT_EQ(p.title, "rec");
    std::uint32_t rate = 0;
    const std::vector<std::int16_t> samples = recordtest::decoded(ra, homePath("dra.wav"), rate);
    ASSERT_GT(samples.size(), 9000u);
    EXPECT_NEAR(strongestHz({samples.begin() + 1000, samples.begin() + 9000}, rate, 100, 3000), 880,
                6);
    // A folder that takes no file: the designed message with the reason.
    const RunResult refused =
        run(quoted(builtProgram("kolvo-cli")) + " record /proc/rec.ra --seconds 1 --type ra", true);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("Can not write to file. (cannot create a file in /proc"),
              std::string::npos)
        << refused.output;

    // A source that cannot be had: the designed message, and no file.
    ::setenv("KOLVO_CAPTURE_SOURCE", "nosuchelement", 1);
    const RunResult bad = run(quoted(builtProgram("kolvo-cli")) + " record " +
                                  quoted(homePath("bad.wav")) + " --seconds 1",
                              true);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("Can not open recording device."), std::string::npos) << bad.output;
    EXPECT_FALSE(std::filesystem::exists(homePath("bad.wav")));
}

TEST_F(RecordingTest, BuffersKeepComingWhileTheWindowIsBusyAndStopWhenPaused)
{
    playTone(500, 4);
    CWave wave;
    EXPECT_EQ(wave.SetRecordingFormat(44100, 12, 2, 0, 4, -1), 0) << "8 or 16 bits only";
    ASSERT_EQ(wave.SetRecordingFormat(44100, 16, 2, 0, 4, -1), 1) << wave.recorder().failure();
    EXPECT_EQ(wave.recorder().bufferSize(), 44100);
    EXPECT_EQ(wave.recorder().objectName(), "Voice Recording Window");
    Collector collector;
    ASSERT_EQ(wave.StartRecording(7, &collector), 1);
    EXPECT_EQ(wave.userValue(), 7);
    QElapsedTimer clock;
    clock.start();
    while (collector.total == 0 && clock.elapsed() < 8000)
        pump(20);
    ASSERT_GT(collector.total, 0u) << "the source gives sound";
    // The user-interface thread is busy for 0.8 s: capture goes on, and nothing captured
    // meanwhile is lost.
    const std::uint64_t before = wave.recorder().GetPosition();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    pump(600);
    const std::uint64_t position = wave.recorder().GetPosition();
    EXPECT_GT(position - before, 176400u) << "more than a second was captured in 1.4 s";
    EXPECT_GE(collector.total + 44100, position) << "every full buffer was handed on";
    EXPECT_LE(collector.total, position);
    for (size_t s : collector.sizes)
        EXPECT_EQ(s, 44100u);

    wave.PauseRecording();
    pump(300);
    const size_t paused = collector.total;
    pump(600);
    EXPECT_LE(collector.total, paused + 44100) << "a paused recorder captures nothing";
    wave.ResumeRecording();
    pump(700);
    EXPECT_GT(collector.total, paused + 44100);
    EXPECT_EQ(wave.StopRecording(), 1);
    EXPECT_EQ(wave.userValue(), 0);
    const size_t stopped = collector.total;
    pump(400);
    EXPECT_EQ(collector.total, stopped) << "nothing arrives after Stop";
    EXPECT_TRUE(collector.failure.empty()) << collector.failure;

    // The buffer size of a format of 11025 bytes a second.
    CWave small;
    ASSERT_EQ(small.SetRecordingFormat(11025, 8, 1, 0, 4, -1), 1);
    EXPECT_EQ(small.recorder().bufferSize(), 2756);
}
