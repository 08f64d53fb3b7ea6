// The Sound Effector, the spectrum displays and the Mixer, in a private PulseAudio:
//  - CPU of a stopped Kolvo with the Sound Effector shown (its spectrum display registered),
//    beside the same Kolvo with the effector switched off and a bare Qt window;
//  - what the spectrum viewer at twenty pictures a second adds to playing an MP3, beside the
//    same playback without it (both in a child process of this program, measured from /proc);
//  - how soon a volume set on the Mixer panel has reached PulseAudio, beside
//    `pactl set-sink-volume`, both seen by a libpulse client of this program.
#include "engines/kmpengine.h"
#include "engines/samplingservice.h"
#include "players/component.h"
#include "players/mixer.h"
#include "players/spectrumdisplay.h"
#include "players/spectrumviewer.h"

#include <pulse/pulseaudio.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

QString g_runtime;
constexpr double kIdleSeconds = 10;
constexpr double kPlaySeconds = 8;

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

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitCode() == 0;
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

// Percent of one core a program uses over `seconds` after `settle` seconds, and what it printed.
std::pair<double, QString> load(const QString& program, const QStringList& args,
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
    p.terminate();
    if (!p.waitForFinished(5000))
        p.kill();
    const double percent = 100.0 * (after - before) / sysconf(_SC_CLK_TCK) / seconds;
    return {percent, QString::fromUtf8(p.readAllStandardOutput())};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

class BenchHost : public PlayerHost
{
public:
    BenchHost()
    {
        for (ComponentRecord& r : m_settings.components)
            r.enable = 1;
    }
    AppSettings& settings() override { return m_settings; }
    void saveSettings() override {}
    int& startMode() override { return m_mode; }
    std::string& pendingFile() override { return m_file; }
    bool& pendingFileIsTemporary() override { return m_temporary; }
    HWND controller() const override { return 0; }

private:
    AppSettings m_settings;
    int m_mode = StartModeNone;
    std::string m_file;
    bool m_temporary = false;
};

// The child: plays a file with the MPEG engine, with or without the spectrum viewer, until it
// is ended; prints how many pictures the viewer showed a second.
int playChild(int argc, char** argv, const QString& file, bool viewer)
{
    QApplication app(argc, argv);
    engines::SpectrumService::instance().start();
    Wnd window;
    char wav[256] = "", stream[256] = "";
    if (KMPEngine_Play(window.handle(), file.toUtf8().constData(), 1, wav, 0, stream) != 1)
        return 1;
    BenchHost host;
    host.settings().spectrumSize = 2;
    host.settings().spectrumMode = 2;
    std::unique_ptr<SpectrumViewer> v;
    if (viewer) {
        v = std::make_unique<SpectrumViewer>(host, 0);
        v->show();
    }
    QElapsedTimer clock;
    clock.start();
    // Reports as it goes: the parent ends the child when it has measured.
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        if (v)
            std::printf("pictures %d in %.3f s\n", v->display()->snapshotsShown(),
                        clock.elapsed() / 1000.0);
        std::fflush(stdout);
    });
    report.start(1000);
    return app.exec();
}

// Sees the test sink's changes as PulseAudio makes them.
class SinkWatcher
{
public:
    SinkWatcher()
    {
        m_loop = pa_threaded_mainloop_new();
        pa_threaded_mainloop_start(m_loop);
        pa_threaded_mainloop_lock(m_loop);
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "kolvo-bench-watcher");
        pa_context_set_state_callback(m_context, &SinkWatcher::onState, this);
        pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        pa_threaded_mainloop_unlock(m_loop);
    }
    ~SinkWatcher()
    {
        pa_threaded_mainloop_lock(m_loop);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }
    bool ready() const { return m_ready; }
    void reset() { m_changedAt = std::chrono::steady_clock::time_point{}; }
    std::chrono::steady_clock::time_point changedAt() const { return m_changedAt.load(); }

private:
    static void onState(pa_context* c, void* self)
    {
        auto* w = static_cast<SinkWatcher*>(self);
        if (pa_context_get_state(c) != PA_CONTEXT_READY)
            return;
        pa_context_set_subscribe_callback(c, &SinkWatcher::onEvent, w);
        pa_operation_unref(pa_context_subscribe(c, PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr));
        w->m_ready = true;
    }
    static void onEvent(pa_context*, pa_subscription_event_type_t t, std::uint32_t, void* self)
    {
        auto* w = static_cast<SinkWatcher*>(self);
        if ((t & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_CHANGE &&
            w->m_changedAt.load() == std::chrono::steady_clock::time_point{})
            w->m_changedAt = std::chrono::steady_clock::now();
    }

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    std::atomic<bool> m_ready{false};
    std::atomic<std::chrono::steady_clock::time_point> m_changedAt{};
};

bool pumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    return done();
}

// A stopped Kolvo with the Sound Effector shown, beside it switched off and a bare Qt window.
bool stoppedLoad(const QString& dir)
{
    const QString kolvo = QStringLiteral(KOLVO_BIN_DIR "/kolvo");
    const QString shownHome = dir + QStringLiteral("/shown"),
                  offHome = dir + QStringLiteral("/off");
    for (const QString& home : {shownHome, offHome}) {
        const QString conf = home + QStringLiteral("/config/Quorvane System, Inc.");
        QDir().mkpath(conf);
        std::ofstream out((conf + QStringLiteral("/Kolvo.conf")).toStdString());
        out << "[FXMixer]\nEnable=" << (home == shownHome ? 1 : 0) << "\n";
    }
    std::vector<double> shown, off, bare;
    for (int i = 0; i < 2; ++i) {
        shown.push_back(
            load(kolvo, {QStringLiteral("/nosplash")}, shownHome, 3, kIdleSeconds).first);
        off.push_back(load(kolvo, {QStringLiteral("/nosplash")}, offHome, 3, kIdleSeconds).first);
        bare.push_back(load(QStringLiteral(KOLVO_BENCH_DIR "/startup_peer"),
                            {QStringLiteral("--stay")}, offHome, 1, kIdleSeconds)
                           .first);
    }
    const double idleShown = median(shown);
    std::printf("CPU while stopped with the Sound Effector shown: kolvo %.2f %% of a core, with it "
                "switched off %.2f %%, bare Qt window %.2f %% (goal < 0.5 %%)\n",
                idleShown, median(off), median(bare));
    return idleShown < 0.5;
}

// Playing an MP3 with and without the spectrum viewer, in child processes of this program.
bool viewerLoad(const QString& dir)
{
    const QString self = QCoreApplication::applicationFilePath();
    const QString home = dir + QStringLiteral("/player");
    const QString wav = dir + QStringLiteral("/music.wav"),
                  mp3 = dir + QStringLiteral("/music.mp3");
    run(QStringLiteral("sox"),
        {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
         QStringLiteral("2"), wav, QStringLiteral("synth"), QStringLiteral("60"),
         QStringLiteral("sine"), QStringLiteral("80/8000"), QStringLiteral("sine"),
         QStringLiteral("300"), QStringLiteral("vol"), QStringLiteral("0.3")});
    run(QStringLiteral("lame"), {QStringLiteral("--quiet"), wav, mp3});
    std::vector<double> plain, withViewer, fps;
    for (int i = 0; i < 3; ++i) {
        plain.push_back(load(self, {QStringLiteral("--play"), mp3}, home, 2, kPlaySeconds).first);
        const auto [cpu, out] =
            load(self, {QStringLiteral("--play"), mp3, QStringLiteral("--viewer")}, home, 2,
                 kPlaySeconds);
        withViewer.push_back(cpu);
        // The pictures shown between the first and the last report of the measured stretch.
        const QStringList lines = out.trimmed().split(QLatin1Char('\n'));
        int p0 = 0, p1 = 0;
        double t0 = 0, t1 = 0;
        if (lines.size() >= 4 &&
            std::sscanf(lines[2].toUtf8().constData(), "pictures %d in %lf", &p0, &t0) == 2 &&
            std::sscanf(lines.last().toUtf8().constData(), "pictures %d in %lf", &p1, &t1) == 2 &&
            t1 > t0)
            fps.push_back((p1 - p0) / (t1 - t0));
    }
    const double playPlain = median(plain), playViewer = median(withViewer);
    const double cost = playViewer - playPlain;
    std::printf("spectrum viewer while playing an MP3: %.2f %% of a core more than playing without "
                "it (%.2f %% vs %.2f %%; %.1f pictures a second) (goal < 2 %%)\n",
                cost, playViewer, playPlain, median(fps));
    return cost < 2.0;
}

// From setting a volume on the Mixer panel to PulseAudio's change event, beside pactl.
bool mixerLatency()
{
    SinkWatcher watcher;
    BenchHost host;
    Mixer mixer(host, nullptr);
    if (!pumpUntil([&] { return watcher.ready() && mixer.MasterVolume() > 0; }, 5000)) {
        std::fprintf(stderr, "effector: the mixer did not connect\n");
        return false;
    }
    const auto measure = [&](const std::function<void(int)>& change) {
        std::vector<double> ms;
        for (int i = 0; i < 20; ++i) {
            const int volume = i % 2 ? 10 : 20;
            // The previous change's echo has been read by the mixer before the next one.
            pumpUntil([] { return false; }, 30);
            watcher.reset();
            const auto began = std::chrono::steady_clock::now();
            change(volume);
            pumpUntil(
                [&] { return watcher.changedAt() != std::chrono::steady_clock::time_point{}; },
                2000);
            const auto at = watcher.changedAt();
            ms.push_back(at == std::chrono::steady_clock::time_point{}
                             ? 2000.0
                             : std::chrono::duration<double, std::milli>(at - began).count());
        }
        return ms;
    };
    const std::vector<double> kolvoMs = measure([&](int v) { mixer.SetMasterVolume(v); });
    const std::vector<double> pactlMs = measure([&](int v) {
        QProcess::startDetached(QStringLiteral("pactl"),
                                {QStringLiteral("set-sink-volume"), QStringLiteral("kolvo_test"),
                                 QString::number(v * 2048)});
    });
    // The slowest change shows the machine's scheduling as much as the mixer; nine in ten is
    // the goal, the slowest is reported.
    std::vector<double> sorted = kolvoMs;
    std::sort(sorted.begin(), sorted.end());
    const double p90 = sorted[sorted.size() * 9 / 10 - 1];
    std::printf("mixer volume change reaching PulseAudio: kolvo median %.2f ms, 9 in 10 within "
                "%.2f ms, slowest %.2f ms; pactl set-sink-volume median %.2f ms, ratio %.3f "
                "(goal: 9 in 10 < 20 ms)\n",
                median(kolvoMs), p90, sorted.back(), median(pactlMs),
                median(pactlMs) > 0 ? median(kolvoMs) / median(pactlMs) : 0.0);
    return p90 < 20;
}

} // namespace

// Without arguments every part runs; "idle", "viewer" or "mixer" runs that part alone.
int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--play")
        return playChild(argc, argv, QString::fromLocal8Bit(argv[2]),
                         argc >= 4 && std::string(argv[3]) == "--viewer");
    const std::string only = argc >= 2 ? argv[1] : "";

    QTemporaryDir work;
    g_runtime = work.path() + QStringLiteral("/runtime");
    const QString fixture = QStringLiteral(KOLVO_SOURCE_DIR "/tests/harness/pulse-fixture");
    if (!run(fixture, {QStringLiteral("start"), g_runtime})) {
        std::fprintf(stderr, "effector: the private PulseAudio did not start\n");
        return 1;
    }
    // This process is a libpulse client of the same server, on the offscreen platform.
    const QProcessEnvironment env = environment(work.path() + QStringLiteral("/home"));
    for (const QString& key : env.keys())
        qputenv(key.toUtf8().constData(), env.value(key).toUtf8());
    QApplication app(argc, argv);
    bool met = true;
    if (only.empty() || only == "idle")
        met = stoppedLoad(work.path()) && met;
    if (only.empty() || only == "viewer")
        met = viewerLoad(work.path()) && met;
    if (only.empty() || only == "mixer")
        met = mixerLatency() && met;
    run(fixture, {QStringLiteral("stop"), g_runtime});
    return met ? 0 : 1;
}
