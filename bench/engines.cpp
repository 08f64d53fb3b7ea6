// The engines against bare GStreamer, measured in the same run:
//  - decoding a 10-minute 320 kbps MP3 through the MPEG engine and the output chain (effects
//    off) to a sink that does not keep time, against `gst-launch-1.0 filesrc ! decodebin !
//    fakesink` of the same file (goal: within 1.10 times);
//  - the CPU time of playing in real time with every effect on and the spectrum read twenty
//    times a second, against a bare pipeline playing the same file (goal: under 5 % of a core);
//  - the time from KMPEngine_Play to the first buffer at the sink, against a bare pipeline's
//    time from PLAYING to its first buffer (goal: under 150 ms).
// The fixtures are made once with sox and lame and kept in $TMPDIR/kolvo-bench-engines.

#include "engines/effects.h"
#include "engines/engineapi.h"
#include "engines/gstglue.h"
#include "engines/kmpengine.h"
#include "engines/outputchain.h"

#include <gst/gst.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

template <typename T>
T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string fixture(const QString& name, const QString& make)
{
    const QString dir = QDir::tempPath() + "/kolvo-bench-engines";
    QDir().mkpath(dir);
    const QString path = dir + "/" + name;
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "engines: making %s...\n", name.toUtf8().constData());
        const QString command = QString(make).replace("OUT", "'" + path + "'");
        if (QProcess::execute("/bin/sh", {"-c", command}) != 0)
            return {};
    }
    return path.toStdString();
}

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Plays a file to its end with the MPEG engine; the wall time.
double engineDecode(const std::string& file)
{
    char wav[256] = "", stream[256] = "";
    const auto began = Clock::now();
    if (KMPEngine_Play(0, file.c_str(), 1, wav, 0, stream) != 1)
        return -1;
    while (KMPEngine_GetMode() != kModeStopped)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const double t = seconds(Clock::now() - began);
    KMPEngine_Stop();
    return t;
}

// The same bare pipeline run inside this process, without gst-launch's start-up.
double bareDecode(const std::string& file)
{
    const std::string description = "filesrc location=\"" + file + "\" ! decodebin ! fakesink";
    const auto began = Clock::now();
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (!pipeline)
        return -1;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* m = gst_bus_timed_pop_filtered(
        bus, GST_CLOCK_TIME_NONE, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool eos = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
    const double t = seconds(Clock::now() - began);
    if (m)
        gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return eos ? t : -1;
}

double launchDecode(const std::string& file)
{
    const auto began = Clock::now();
    const int rc = QProcess::execute("gst-launch-1.0",
                                     {"-q", "filesrc", "location=" + QString::fromStdString(file),
                                      "!", "decodebin", "!", "fakesink"});
    return rc == 0 ? seconds(Clock::now() - began) : -1;
}

// CPU seconds a process has used so far (from /proc, so a running child can be read).
double processCpuSeconds(pid_t pid)
{
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f)
        return -1;
    char buf[1024] = {};
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    // Fields after the command name (which may hold spaces) start after the last ')'.
    const char* p = std::strrchr(buf, ')');
    if (!p || n == 0)
        return -1;
    unsigned long utime = 0, stime = 0;
    if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) !=
        2)
        return -1;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The CPU share of the bare pipeline playing in real time, measured over `wall` seconds after
// its first second (as for the engine: start-up is not playing).
double launchCpuShare(const std::string& file, const std::string& sink, double wall)
{
    const std::string command = "exec gst-launch-1.0 -q filesrc location='" + file +
                                "' ! decodebin ! audioconvert ! audioresample ! " + sink;
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double before = processCpuSeconds(pid);
    const auto began = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(wall));
    const double after = processCpuSeconds(pid);
    const double elapsed = seconds(Clock::now() - began);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    return before < 0 || after < 0 ? -1 : (after - before) / elapsed;
}

// Time from PLAYING to the first buffer at the sink of a bare pipeline.
double bareFirstBufferMs(const std::string& file, const std::string& sink)
{
    const std::string description =
        "filesrc location=\"" + file + "\" ! decodebin ! audioconvert ! audioresample ! " + sink;
    const auto began = Clock::now(); // building the pipeline counts, as it does for the engine
    GError* err = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &err);
    if (!pipeline) {
        if (err)
            g_error_free(err);
        return -1;
    }
    struct Mark
    {
        Clock::time_point at{};
        bool seen = false;
    } mark;
    GstElement* last = nullptr;
    GstIterator* it = gst_bin_iterate_sinks(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(it, &item) == GST_ITERATOR_OK)
        last = GST_ELEMENT(g_value_dup_object(&item));
    g_value_unset(&item);
    gst_iterator_free(it);
    GstPad* pad = last ? gst_element_get_static_pad(last, "sink") : nullptr;
    if (pad) {
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo*, gpointer m) {
                auto* mk = static_cast<Mark*>(m);
                if (!mk->seen) {
                    mk->at = Clock::now();
                    mk->seen = true;
                }
                return GST_PAD_PROBE_REMOVE;
            },
            &mark, nullptr);
        gst_object_unref(pad);
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    for (int i = 0; i < 500 && !mark.seen; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double ms =
        mark.seen ? std::chrono::duration<double, std::milli>(mark.at - began).count() : -1;
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    if (last)
        gst_object_unref(last);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!engines::ensureGstreamer()) {
        std::fprintf(stderr, "engines: GStreamer cannot start\n");
        return 1;
    }
    const std::string longFile =
        fixture("ten-minutes-320k.mp3",
                "sox -n -r 44100 -c 2 -b 16 -t wav - synth 600 pinknoise sine 440 vol 0.3 | "
                "lame --quiet -b 320 - OUT");
    const std::string shortFile =
        fixture("three-seconds.mp3", "sox -n -r 44100 -c 2 -b 16 -t wav - synth 3 sine 440 "
                                     "vol 0.5 | lame --quiet -b 192 - OUT");
    if (longFile.empty() || shortFile.empty()) {
        std::fprintf(stderr, "engines: the fixtures cannot be made (sox, lame)\n");
        return 1;
    }
    bool ok = true;

    // 1. Decoding as fast as it goes.
    engines::setCurrentEffects({});
    engines::setCurrentEqualizer({});
    KMPEngine_SetScale(0, 24000);
    engines::setAudioSinkOverride("fakesink sync=false");
    std::vector<double> ours, bare, inside;
    engineDecode(shortFile); // loads the plugins once
    for (int i = 0; i < 3; ++i) {
        ours.push_back(engineDecode(longFile));
        bare.push_back(launchDecode(longFile));
        inside.push_back(bareDecode(longFile));
    }
    const double o = median(ours), b = median(bare), in = median(inside);
    std::printf("decoding a 10-minute 320 kbps MP3, effects off: kolvo %.2f s, bare gst-launch "
                "%.2f s, ratio %.2f (goal < 1.10); the bare pipeline in this process %.2f s, "
                "ratio %.2f\n",
                o, b, o / b, in, o / in);
    ok = ok && o > 0 && b > 0 && o / b < 1.10;

    // 2. Playing in real time with every effect on, the spectrum read as the display does.
    const char* env = std::getenv("KOLVO_AUDIO_SINK");
    const std::string sink = env && *env ? env : "fakesink sync=true";
    engines::setAudioSinkOverride(sink);
    engines::setCurrentEffects({.reverb = 1,
                                .reverbMode = 0,
                                .reverbDepth = 32,
                                .chorus = 1,
                                .chorusDepth = 32,
                                .wide = 1,
                                .wideDepth = 32,
                                .fx = 1,
                                .fxMode = 5});
    engines::setCurrentEqualizer(engines::kEqualizerPresets[0]);
    constexpr double kWall = 10.0;
    char wav[256] = "", stream[256] = "";
    KMPEngine_Play(0, longFile.c_str(), 2, wav, 0, stream);
    std::this_thread::sleep_for(std::chrono::seconds(1)); // past the start
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    const auto began = Clock::now();
    std::int32_t bands[20];
    int answered = 0;
    while (seconds(Clock::now() - began) < kWall) {
        answered += KMPEngine_GetSpectrum(bands, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const double share = (cpuSeconds(RUSAGE_SELF) - cpuBefore) / seconds(Clock::now() - began);
    const bool allIn =
        engines::mpegChainHasReverb() && engines::mpegChainHasPitch() && answered > 0;
    KMPEngine_Stop();
    const double bareShare = launchCpuShare(longFile, sink, kWall);
    std::printf("CPU while playing in real time with every effect on (%s): kolvo %.1f %% of a "
                "core, bare gst-launch %.1f %%, ratio %.1f (goal < 5 %%)\n",
                sink.c_str(), 100 * share, 100 * bareShare, share / bareShare);
    if (!allIn)
        std::printf("  (the effects or the spectrum were not all in the chain)\n");
    ok = ok && share < 0.05 && allIn;

    // 3. From Play to the first buffer at the sink.
    engines::setCurrentEffects({});
    engines::setCurrentEqualizer({});
    std::vector<double> start, bareStart;
    for (int i = 0; i < 9; ++i) {
        const auto called = Clock::now();
        KMPEngine_Play(0, shortFile.c_str(), 3, wav, 0, stream);
        const auto first = engines::mpegFirstBufferAt();
        start.push_back(first == Clock::time_point{}
                            ? -1
                            : std::chrono::duration<double, std::milli>(first - called).count());
        KMPEngine_Stop();
        bareStart.push_back(bareFirstBufferMs(shortFile, sink));
    }
    const double s = median(start), bs = median(bareStart);
    std::printf("from KMPEngine_Play to the first buffer at the sink: kolvo %.1f ms, bare "
                "pipeline %.1f ms, ratio %.2f (goal < 150 ms)\n",
                s, bs, s / bs);
    ok = ok && s >= 0 && s < 150;
    engines::setAudioSinkOverride("");
    return ok ? 0 : 1;
}
