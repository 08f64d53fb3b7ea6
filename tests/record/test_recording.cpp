// Recording from the sound card, through the private PulseAudio: its sink's monitor is recorded
// while a tone plays into the sink.
#include "recordtest.h"
#include "support/testhome.h"

#include "record/wave.h"

#include <gmock/gmock.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace record;
using namespace recordtest;
using ::testing::HasSubstr;

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
        m_player = playIntoTestSink(homePath("tone.wav"), tone(hz, seconds, 44100, 2));
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

} // namespace

TEST_F(RecordingTest, KolvoCliRecordsTheToneThatPlays)
{
    playTone(660, 4);
    const std::string out = homePath("rec.wav");
    const RunResult r = kolvoCli("record " + quoted(out) + " --seconds 2");
    stopTone();
    ASSERT_EQ(r.status, 0) << r.output;
    const SoxStat wav = soxStat(out);
    EXPECT_DOUBLE_EQ(wav.seconds, 2.0) << wav.text;
    EXPECT_NEAR(wav.hz, 660, 15) << wav.text;
    EXPECT_GT(wav.rms, 0.2) << wav.text;

    // An MP3 of it decodes to the same tone.
    playTone(440, 3);
    const std::string mp3 = homePath("rec.mp3");
    ASSERT_EQ(kolvoCli("record " + quoted(mp3) + " --seconds 1.5 --type mp3").status, 0);
    stopTone();
    ASSERT_EQ(run("mpg123 -q -w " + quoted(homePath("d.wav")) + " " + quoted(mp3)).status, 0);
    const SoxStat decoded = soxStat(homePath("d.wav"));
    EXPECT_NEAR(decoded.seconds, 1.5, 0.06);
    EXPECT_NEAR(decoded.hz, 440, 15) << decoded.text;

    // RealAudio 1.0 of it: 8 kHz mono 14.4 of the length asked for, the tone kept.
    playTone(880, 3);
    const std::string ra = homePath("rec.ra");
    const RunResult made = kolvoCli("record " + quoted(ra) + " --seconds 1.5 --type ra");
    stopTone();
    ASSERT_EQ(made.status, 0) << made.output;
    EXPECT_EQ(probe(ra).summary(), "ra_144 8000 Hz 1 ch \"rec\" by \"\"");
    EXPECT_NEAR(probe(ra).seconds, 1.5, 0.05);
    EXPECT_NEAR(decodedTone(ra, homePath("dra.wav"), 1000, 9000), 880, 6);
    // A folder that takes no file: the designed message with the reason.
    const RunResult refused = kolvoCli("record /proc/rec.ra --seconds 1 --type ra");
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.output, HasSubstr("Can not write to file. (cannot create a file in /proc"));

    // A source that cannot be had: the designed message, and no file.
    ::setenv("KOLVO_CAPTURE_SOURCE", "nosuchelement", 1);
    const RunResult bad = kolvoCli("record " + quoted(homePath("bad.wav")) + " --seconds 1");
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.output, HasSubstr("Can not open recording device."));
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
