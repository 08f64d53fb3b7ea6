// The Digital Audio Player as a user meets it, in a private PulseAudio:
//  - from `kolvo /playaudio file.mp3` to its first sound going to the sink, beside
//    gst-launch-1.0 decoding the same file into the same sink;
//  - CPU while stopped, beside a bare Qt window doing nothing;
//  - resident memory while playing, beside gst-launch-1.0 playing the same file.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QString g_runtime;
constexpr double kIdleSeconds = 10;

QProcessEnvironment environment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), g_runtime);
    env.insert(QStringLiteral("PULSE_SERVER"),
               QStringLiteral("unix:") + g_runtime + QStringLiteral("/pulse/native"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KOLVO_HOME"), home);
    env.insert(QStringLiteral("KOLVO_AUDIO_SINK"), QStringLiteral("pulsesink device=kolvo_test"));
    env.insert(QStringLiteral("PULSE_LATENCY_MSEC"), QStringLiteral("20"));
    return env;
}

bool run(const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

// Milliseconds from starting the program to the line on its standard output that says its
// first sound went to the sink: kolvo's trace "sound", gst-launch's first buffer through an
// identity element in front of the sink.
double timeToFirstSound(const QString& program, const QStringList& args, const QString& home,
                        const QString& marker)
{
    QProcessEnvironment env = environment(home);
    env.insert(QStringLiteral("KOLVO_TRACE"), QStringLiteral("1"));
    QProcess player;
    player.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    player.start(program, args);
    double ms = -1;
    QByteArray out;
    while (clock.elapsed() < 10000 && ms < 0) {
        player.waitForReadyRead(2);
        out += player.readAllStandardOutput();
        if (out.contains(marker.toUtf8()))
            ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }
    player.terminate();
    if (!player.waitForFinished(5000))
        player.kill();
    return ms;
}

long cpuTicks(qint64 pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const size_t close = s.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(s.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15)
            stime = std::stol(field);
    }
    return utime + stime;
}

long residentKiB(qint64 pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Percent of one core the program uses over `seconds`, after `settle` seconds of starting up;
// and its resident memory at the end.
std::pair<double, double> idleLoad(const QString& program, const QStringList& args,
                                   const QString& home, double settle, double seconds)
{
    QProcess p;
    p.setProcessEnvironment(environment(home));
    p.start(program, args);
    p.waitForStarted();
    QThread::msleep(static_cast<unsigned long>(settle * 1000));
    const long before = cpuTicks(p.processId());
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
    const long after = cpuTicks(p.processId());
    const double rssMb = residentKiB(p.processId()) / 1024.0;
    p.terminate();
    if (!p.waitForFinished(5000))
        p.kill();
    const double percent = 100.0 * (after - before) / sysconf(_SC_CLK_TCK) / seconds;
    return {percent, rssMb};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    g_runtime = work.path() + QStringLiteral("/runtime");
    const QString fixture = QStringLiteral(KOLVO_SOURCE_DIR "/tests/harness/pulse-fixture");
    if (!run(fixture, {QStringLiteral("start"), g_runtime},
             QProcessEnvironment::systemEnvironment())) {
        std::fprintf(stderr, "player: the private PulseAudio did not start\n");
        return 1;
    }
    const QString dir = work.path();
    const QString wav = dir + QStringLiteral("/tone.wav"), mp3 = dir + QStringLiteral("/tone.mp3");
    const QString longMp3 = dir + QStringLiteral("/long.mp3");
    run(QStringLiteral("sox"),
        {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
         QStringLiteral("2"), wav, QStringLiteral("synth"), QStringLiteral("3"),
         QStringLiteral("sine"), QStringLiteral("440"), QStringLiteral("vol"),
         QStringLiteral("0.5")},
        QProcessEnvironment::systemEnvironment());
    run(QStringLiteral("lame"), {QStringLiteral("--quiet"), wav, mp3},
        QProcessEnvironment::systemEnvironment());
    run(QStringLiteral("sox"),
        {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
         QStringLiteral("2"), dir + QStringLiteral("/long.wav"), QStringLiteral("synth"),
         QStringLiteral("60"), QStringLiteral("sine"), QStringLiteral("300")},
        QProcessEnvironment::systemEnvironment());
    run(QStringLiteral("lame"),
        {QStringLiteral("--quiet"), dir + QStringLiteral("/long.wav"), longMp3},
        QProcessEnvironment::systemEnvironment());

    const QString kolvo = QStringLiteral(KOLVO_BIN_DIR "/kolvo");
    const QString peerWindow = QStringLiteral(KOLVO_BENCH_DIR "/startup_peer");
    // A first start writes the settings and the demo album; the runs after it are ordinary.
    const QString home = dir + QStringLiteral("/home");
    const QString kolvoMarker = QStringLiteral("kolvo: sound component=3");
    const QString gstMarker = QStringLiteral("chain");
    timeToFirstSound(kolvo, {QStringLiteral("/playaudio"), mp3}, home, kolvoMarker);

    std::vector<double> kolvoMs, peerMs;
    for (int i = 0; i < 5; ++i) {
        kolvoMs.push_back(
            timeToFirstSound(kolvo, {QStringLiteral("/playaudio"), mp3}, home, kolvoMarker));
        peerMs.push_back(timeToFirstSound(
            QStringLiteral("gst-launch-1.0"),
            {QStringLiteral("-v"), QStringLiteral("filesrc"), QStringLiteral("location=") + mp3,
             QStringLiteral("!"), QStringLiteral("decodebin"), QStringLiteral("!"),
             QStringLiteral("audioconvert"), QStringLiteral("!"), QStringLiteral("identity"),
             QStringLiteral("silent=false"), QStringLiteral("!"), QStringLiteral("pulsesink"),
             QStringLiteral("device=kolvo_test")},
            home, gstMarker));
    }
    const double km = median(kolvoMs), pm = median(peerMs);
    std::printf("first sound to the sink: kolvo /playaudio %.0f ms, gst-launch-1.0 %.0f ms, "
                "ratio %.2f "
                "(goal < 500 ms)\n",
                km, pm, pm > 0 ? km / pm : 0.0);

    const auto [kolvoIdle, kolvoIdleRss] =
        idleLoad(kolvo, {QStringLiteral("/nosplash")}, home, 2, kIdleSeconds);
    const auto [peerIdle, peerIdleRss] =
        idleLoad(peerWindow, {QStringLiteral("--stay")}, home, 2, kIdleSeconds);
    // CPU time is counted in clock ticks: a bare window may use less than one in the whole
    // measurement, and the ratio is then only known to be at least kolvo's share of one tick.
    const double tickPercent = 100.0 / sysconf(_SC_CLK_TCK) / kIdleSeconds;
    char idleRatio[64];
    if (peerIdle > 0)
        std::snprintf(idleRatio, sizeof idleRatio, "%.2f", kolvoIdle / peerIdle);
    else if (kolvoIdle > 0)
        std::snprintf(idleRatio, sizeof idleRatio, ">= %.2f (peer under one tick)",
                      kolvoIdle / tickPercent);
    else
        std::snprintf(idleRatio, sizeof idleRatio, "1.00 (both under one tick)");
    std::printf("CPU while stopped: kolvo %.2f %% of a core, bare Qt window %.2f %%, ratio %s "
                "(goal < 0.5 %%)\n",
                kolvoIdle, peerIdle, idleRatio);

    const auto [playCpu, playRss] =
        idleLoad(kolvo, {QStringLiteral("/playaudio"), longMp3}, home, 3, 3);
    const auto [gstCpu, gstRss] = idleLoad(
        QStringLiteral("gst-launch-1.0"),
        {QStringLiteral("-q"), QStringLiteral("playbin"), QStringLiteral("uri=file://") + longMp3,
         QStringLiteral("audio-sink=pulsesink device=kolvo_test")},
        home, 3, 3);
    std::printf(
        "resident memory while playing: kolvo %.1f MB, gst-launch-1.0 playbin %.1f MB, ratio "
        "%.2f (goal < 90 MB; CPU %.1f %% vs %.1f %%)\n",
        playRss, gstRss, gstRss > 0 ? playRss / gstRss : 0.0, playCpu, gstCpu);

    run(fixture, {QStringLiteral("stop"), g_runtime}, QProcessEnvironment::systemEnvironment());
    return (km > 0 && km < 500 && kolvoIdle < 0.5 && playRss < 90) ? 0 : 1;
}
