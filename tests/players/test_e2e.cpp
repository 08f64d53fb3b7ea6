// The real program, started as the desktop starts it, heard through the private PulseAudio.

#include "analysis.h"
#include "playertest.h"

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
    // Reads the program's trace until it says `what`.
    static bool waitFor(QProcess& p, const QString& what, QString& out, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!out.contains(what) && t.elapsed() < ms) {
            p.waitForReadyRead(50);
            out += QString::fromUtf8(p.readAllStandardOutput());
        }
        return out.contains(what);
    }
};

} // namespace

TEST_F(EndToEndTest, PlayAudioFromTheCommandLineAndASecondStartSwitchesSongs)
{
    const std::string wav = playertest::tone(homePath("tone.wav"), 3, 440);
    const std::string mp3 = homePath("tone.mp3");
    ASSERT_TRUE(enginetest::sh("lame --quiet '" + wav + "' '" + mp3 + "'"));
    const std::string second = playertest::tone(homePath("song2.wav"), 3, 660);

    enginetest::SinkRecorder recorder;
    ASSERT_TRUE(recorder.start());
    auto first = start({QStringLiteral("/playaudio"), QString::fromStdString(mp3)});
    QString out;
    ASSERT_TRUE(
        waitFor(*first, "play component=3 song=1 path=" + QString::fromStdString(mp3), out, 10000))
        << out.toStdString();
    enginetest::pump(1500);
    QElapsedTimer clock;
    clock.start();
    auto again = start({QString::fromStdString(second)});
    ASSERT_TRUE(again->waitForFinished(3000));
    EXPECT_EQ(again->exitCode(), 0);
    EXPECT_LT(clock.elapsed(), 1000 * kStartDeadlineScale) << "the second start ends at once";
    ASSERT_TRUE(waitFor(*first, "path=" + QString::fromStdString(second), out, 5000))
        << out.toStdString();
    enginetest::pump(1500);
    const analysis::Stereo heard = recorder.stop();
    first->terminate();
    ASSERT_TRUE(first->waitForFinished(5000));
    EXPECT_EQ(first->exitCode(), 0);
    // First the MP3's 440 Hz, then the second file's 660 Hz.
    const auto pitchAt = [&](double at) {
        return analysis::dominantFrequency(analysis::slice(heard, at, 0.5).left, heard.rate);
    };
    const double start = analysis::firstAbove(heard.left, heard.rate, 0.05);
    ASSERT_GE(start, 0) << "nothing reached the sink";
    EXPECT_NEAR(pitchAt(start + 0.3), 440, 10);
    EXPECT_NEAR(pitchAt(analysis::lastAbove(heard.left, heard.rate, 0.05) - 0.8), 660, 10);
}
