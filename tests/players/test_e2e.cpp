// The real program, started as the desktop starts it, heard through the private PulseAudio.

#include "analysis.h"
#include "enginetest.h"
#include "support/testhome.h"

#include <QElapsedTimer>
#include <QProcess>

namespace {

class EndToEndTest : public KolvoHomeTest
{
protected:
    std::unique_ptr<QProcess> start(const QStringList& args)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KOLVO_HOME"), QString::fromStdString(home()));
        env.insert(QStringLiteral("KOLVO_TRACE"), QStringLiteral("1"));
        p->setProcessEnvironment(env);
        p->start(QString::fromStdString(builtProgram("kolvo")), args);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }
    std::string tone(const std::string& name, double seconds, int hz)
    {
        const std::string path = homePath(name);
        enginetest::sh("sox -n -r 44100 -c 2 '" + path + "' synth " + std::to_string(seconds) +
                       " sine " + std::to_string(hz) + " vol 0.4");
        return path;
    }
    static bool waitFor(QProcess& p, const QString& what, QString& out, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            out += QString::fromUtf8(p.readAllStandardOutput());
            if (out.contains(what))
                return true;
            p.waitForReadyRead(50);
        }
        return false;
    }
};

} // namespace

TEST_F(EndToEndTest, PlayAudioFromTheCommandLineAndASecondStartSwitchesSongs)
{
    const std::string wav = tone("tone.wav", 3, 440);
    const std::string mp3 = homePath("tone.mp3");
    ASSERT_TRUE(enginetest::sh("lame --quiet '" + wav + "' '" + mp3 + "'"));
    const std::string second = tone("song2.wav", 3, 660);

    enginetest::SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    auto first = start({QStringLiteral("/playaudio"), QString::fromStdString(mp3)});
    QString out;
    ASSERT_TRUE(waitFor(
        *first, QStringLiteral("play component=3 song=1 path=") + QString::fromStdString(mp3), out,
        10000))
        << out.toStdString();
    enginetest::pump(1500);

    QElapsedTimer clock;
    clock.start();
    auto again = start({QString::fromStdString(second)});
    ASSERT_TRUE(again->waitForFinished(3000));
    EXPECT_EQ(again->exitCode(), 0);
    EXPECT_LT(clock.elapsed(), 1000 * kStartDeadlineScale) << "the second start ends at once";
    ASSERT_TRUE(
        waitFor(*first, QStringLiteral("path=") + QString::fromStdString(second), out, 5000))
        << out.toStdString();
    enginetest::pump(1500);
    const analysis::Stereo heard = recorder.stop();
    first->terminate();
    ASSERT_TRUE(first->waitForFinished(5000));
    EXPECT_EQ(first->exitCode(), 0);

    // First the MP3's 440 Hz, then the second file's 660 Hz.
    const double start = analysis::firstAbove(heard.left, heard.rate, 0.05);
    ASSERT_GE(start, 0) << "nothing reached the sink";
    EXPECT_NEAR(
        analysis::dominantFrequency(analysis::slice(heard, start + 0.3, 0.5).left, heard.rate), 440,
        10);
    const double end = analysis::lastAbove(heard.left, heard.rate, 0.05);
    EXPECT_NEAR(
        analysis::dominantFrequency(analysis::slice(heard, end - 0.8, 0.5).left, heard.rate), 660,
        10);
}

TEST_F(EndToEndTest, APlayListOnTheCommandLinePlaysInOrderThenStops)
{
    const std::string a = tone("a.wav", 1, 300), b = tone("b.wav", 1, 500),
                      c = tone("c.wav", 1, 700);
    const std::string list = writeFile("list.m3u", b + "\n" + a + "\n" + c + "\n");

    enginetest::SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    auto player = start({QString::fromStdString(list)});
    QString out;
    // The end of the list: the player stops with no song playing.
    ASSERT_TRUE(waitFor(*player, QStringLiteral("path=") + QString::fromStdString(c), out, 10000))
        << out.toStdString();
    const qsizetype lastStart = out.indexOf(QStringLiteral("play component=3 song=3"));
    ASSERT_GE(lastStart, 0) << out.toStdString();
    QElapsedTimer clock;
    clock.start();
    while (!out.mid(lastStart).contains(QStringLiteral("state component=3 state=525")) &&
           clock.elapsed() < 5000) {
        player->waitForReadyRead(50);
        out += QString::fromUtf8(player->readAllStandardOutput());
    }
    ASSERT_TRUE(out.mid(lastStart).contains(QStringLiteral("state component=3 state=525")))
        << out.toStdString();
    enginetest::pump(1500); // nothing starts again
    out += QString::fromUtf8(player->readAllStandardOutput());
    const analysis::Stereo heard = recorder.stop();
    player->terminate();
    ASSERT_TRUE(player->waitForFinished(5000));

    std::vector<std::string> played;
    for (const QString& line : out.split(QLatin1Char('\n')))
        if (line.contains(QStringLiteral("play component=3 song=")))
            played.push_back(line.section(QStringLiteral("path="), 1)
                                 .section(QStringLiteral(" ms="), 0, 0)
                                 .toStdString());
    EXPECT_EQ(played, (std::vector<std::string>{b, a, c})) << "in the list's order, once each";

    // What reached the sink: the three pitches in the list's order, then silence.
    const std::vector<double> tones = analysis::toneSequence(heard.left, heard.rate);
    ASSERT_EQ(tones.size(), 3u) << "nothing or too much reached the sink";
    EXPECT_NEAR(tones[0], 500, 15);
    EXPECT_NEAR(tones[1], 300, 15);
    EXPECT_NEAR(tones[2], 700, 15);
    const double end = analysis::lastAbove(heard.left, heard.rate, 0.05);
    EXPECT_GT(heard.seconds() - end, 1.0) << "the list is not started again";
}
