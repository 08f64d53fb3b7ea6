// The Digital Video Player's picture path on a 352 x 288 MPEG-1 film (10 s, MPEG audio), beside
// gst-launch-1.0 playbin playing the same file in the same run, both into the same sound sink
// (fakesink sync=true, so no sound server is measured). Kolvo: the general engine's instance 1
// painting into the viewer, as the player opens it. playbin: X's own sink when there is a display
// and GStreamer has one, else the same BGRx pictures Kolvo paints, kept in time but not shown
// (so the peer does the decoding and conversion, not the painting).
//   CPU while playing in real time: goal at most 1.2 x playbin's.
//   Time from the open to the first picture painted in the viewer: goal under 300 ms.
// Run it under xvfb-run to compare painting on a display; offscreen it measures the same path
// with Qt's offscreen platform.

#include "engines/kamengine.h"
#include "engines/outputchain.h"
#include "players/videoviewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kWarmUpMs = 1500;
constexpr int kMeasureMs = 6000;
const char* const kSoundSink = "fakesink sync=true";

double cpuSecondsOfSelf()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// utime + stime of a process, in seconds.
double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    // After the name: state is field 0, utime 11, stime 12.
    return (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK);
}

void pump(int ms)
{
    // Blocking in the event loop, as the program does: a loop that polls would be measured.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("KOLVO_HOME", dir.path().toUtf8());
    const QString film = dir.filePath(QStringLiteral("film.mpg"));
    if (QProcess::execute(QStringLiteral("ffmpeg"), {"-v",
                                                     "error",
                                                     "-y",
                                                     "-f",
                                                     "lavfi",
                                                     "-i",
                                                     "testsrc=size=352x288:rate=25:duration=10",
                                                     "-f",
                                                     "lavfi",
                                                     "-i",
                                                     "sine=frequency=440:duration=10",
                                                     "-c:v",
                                                     "mpeg1video",
                                                     "-b:v",
                                                     "1150k",
                                                     "-c:a",
                                                     "mp2",
                                                     "-b:a",
                                                     "224k",
                                                     "-f",
                                                     "mpeg",
                                                     film}) != 0) {
        std::fprintf(stderr, "ffmpeg could not make the film\n");
        return 1;
    }
    const bool display = QGuiApplication::platformName() != QLatin1String("offscreen");

    // Kolvo.
    engines::setAudioSinkOverride(kSoundSink);
    VideoViewer viewer(0);
    viewer.SetSizeMode(1);
    viewer.show();
    pump(300);
    // The first film of the process starts GStreamer too; the second is what a running Kolvo
    // that has played before does.
    double firstFrameMs[2] = {0, 0};
    QElapsedTimer clock;
    for (int round = 0; round < 2; ++round) {
        const int painted = viewer.child()->paintedFrames();
        clock.restart();
        int result = 0;
        if (KAMEngine_Open(1, viewer.child()->handle(), film.toUtf8().constData(), round + 1,
                           &result, 1) <= 0 ||
            KAMEngine_Play(1) <= 0) {
            std::fprintf(stderr, "the general engine did not open the film\n");
            return 1;
        }
        // As the player in size mode 1: the viewer fits the picture, the movie fills the child.
        RECT source;
        if (KAMEngine_GetSourceRect(1, &source) > 0)
            viewer.FitPicture(QSize(source.right - source.left, source.bottom - source.top));
        const RECT movie{0, 0, viewer.child()->width(), viewer.child()->height()};
        KAMEngine_SetMovieRect(1, &movie);
        while (viewer.child()->paintedFrames() == painted && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        firstFrameMs[round] = clock.nsecsElapsed() / 1e6;
    }
    pump(kWarmUpMs);
    const int paintedBefore = viewer.child()->paintedFrames();
    double cpu0 = cpuSecondsOfSelf();
    clock.restart();
    pump(kMeasureMs);
    const double ours = (cpuSecondsOfSelf() - cpu0) / (clock.nsecsElapsed() / 1e9) * 100;
    const double fps = (viewer.child()->paintedFrames() - paintedBefore) / (kMeasureMs / 1000.0);
    KAMEngine_Close(1);

    // playbin.
    // With an X display, X's own sink; otherwise the same pictures Kolvo paints (converted to
    // BGRx), kept in time but not shown: the part of showing that happens in the player.
    const QString videoSink =
        display && QProcess::execute(QStringLiteral("gst-inspect-1.0"),
                                     {QStringLiteral("-q"), QStringLiteral("ximagesink")}) == 0
            ? QStringLiteral("ximagesink")
            : QStringLiteral("videoconvert ! video/x-raw,format=BGRx ! fakesink sync=true");
    QProcess peer;
    peer.start(QStringLiteral("gst-launch-1.0"),
               {"-q", "playbin", "uri=file://" + film, "video-sink=" + videoSink,
                QStringLiteral("audio-sink=") + kSoundSink});
    if (!peer.waitForStarted()) {
        std::fprintf(stderr, "gst-launch-1.0 did not start\n");
        return 1;
    }
    QThread::msleep(300 + kWarmUpMs);
    cpu0 = cpuSecondsOf(peer.processId());
    clock.restart();
    QThread::msleep(kMeasureMs);
    const double theirs =
        (cpuSecondsOf(peer.processId()) - cpu0) / (clock.nsecsElapsed() / 1e9) * 100;
    peer.kill();
    peer.waitForFinished();

    const double ratio = theirs > 0 ? ours / theirs : 0;
    std::printf("CPU while playing a 352 x 288 MPEG-1 film in real time (%s): kolvo %.1f %% of a "
                "core (%.1f pictures a second painted), gst-launch-1.0 playbin with %s %.1f %%, "
                "ratio %.2f (goal <= 1.2)\n",
                display ? "on an X display" : "offscreen", ours, fps,
                videoSink.toUtf8().constData(), theirs, ratio);
    std::printf("from the open to the first picture painted in the viewer: kolvo %.0f ms, the "
                "first film of the process (GStreamer starting too) %.0f ms (goal < 300 ms)\n",
                firstFrameMs[1], firstFrameMs[0]);
    return ratio <= 1.2 && firstFrameMs[1] < 300 ? 0 : 1;
}
