#include "enginetest.h"

#include "engines/engineapi.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace enginetest {

const std::string& fixtureDir()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kolvo-engines-XXXXXX"));
    static const std::string path = dir.path().toStdString();
    return path;
}

bool sh(const std::string& command)
{
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

std::string toneFile(const std::string& kind, double seconds, double hz, double rightHz,
                     double amplitude, double silence)
{
    char name[200];
    std::snprintf(name, sizeof name, "tone-%g-%g-%g-%g-%g.%s", seconds, hz, rightHz, amplitude,
                  silence, kind.c_str());
    const std::string path = fixtureDir() + "/" + name;
    struct stat st
    {};
    if (::stat(path.c_str(), &st) == 0)
        return path;
    const std::string wav = path + ".src.wav";
    char synth[400];
    const double right = rightHz > 0 ? rightHz : hz;
    // Each channel its own sine; "vol" keeps the amplitude exact (no normalising).
    std::snprintf(synth, sizeof synth,
                  "sox -n -r 44100 -c 2 -b 16 '%s' synth %g sine %g sine %g vol %g pad 0 %g",
                  wav.c_str(), seconds, hz, right, amplitude, silence);
    if (!sh(synth))
        return {};
    std::string make;
    if (kind == "wav") {
        make = "mv '" + wav + "' '" + path + "'";
    } else if (kind == "aiff" || kind == "au") {
        make = "sox '" + wav + "' '" + path + "'";
    } else if (kind == "snd") {
        make = "sox '" + wav + "' -t au '" + path + "'";
    } else if (kind == "ogg" || kind == "flac") {
        make = "sox '" + wav + "' '" + path + "'";
    } else if (kind == "opus") {
        make = "ffmpeg -hide_banner -loglevel error -y -i '" + wav + "' -c:a libopus -b:a 96k '" +
               path + "'";
    } else if (kind == "mp3") {
        make = "lame --quiet -b 192 '" + wav + "' '" + path + "'";
    } else if (kind == "mp2") {
        make = "ffmpeg -hide_banner -loglevel error -y -i '" + wav + "' -c:a mp2 -b:a 192k '" +
               path + "'";
    } else if (kind == "rm") {
        make = "ffmpeg -hide_banner -loglevel error -y -i '" + wav +
               "' -c:a ac3 -b:a 128k -f rm '" + path + "'";
    } else if (kind == "flac" || kind == "ogg") {
        make = "ffmpeg -hide_banner -loglevel error -y -i '" + wav + "' -c:a " +
               (kind == "flac" ? "flac" : "libvorbis -q:a 4") + " '" + path + "'";
    } else if (kind == "ra") {
        make = std::string(KOLVO_SOURCE_DIR) + "/tools/make-realaudio '" + wav + "' '" + path +
               "' --title Tone --author Kolvo";
    } else {
        return {};
    }
    if (!sh(make))
        return {};
    std::remove(wav.c_str());
    return path;
}

std::string twoToneFile(const std::string& kind, double seconds, double hz1, double hz2,
                        double amplitude)
{
    char name[200];
    std::snprintf(name, sizeof name, "two-%g-%g-%g-%g.%s", seconds, hz1, hz2, amplitude,
                  kind.c_str());
    const std::string path = fixtureDir() + "/" + name;
    struct stat st
    {};
    if (::stat(path.c_str(), &st) == 0)
        return path;
    const std::string wav = path + ".src.wav";
    char synth[400];
    std::snprintf(
        synth, sizeof synth,
        "sox -n -r 44100 -c 2 -b 16 '%s' synth %g sine %g sine %g vol %g remix -m 1,2 1,2",
        wav.c_str(), seconds, hz1, hz2, amplitude);
    if (!sh(synth))
        return {};
    const std::string make = kind == "mp3" ? "lame --quiet -b 192 '" + wav + "' '" + path + "'"
                                           : "mv '" + wav + "' '" + path + "'";
    if (!sh(make))
        return {};
    std::remove(wav.c_str());
    return path;
}

std::string waveWithFalseMpegSync(const std::string& name, WaveForm form, int bits, int ms)
{
    const bool isFloat = form == WaveForm::Float || form == WaveForm::ExtensibleFloat;
    const bool extensible = form == WaveForm::ExtensiblePcm || form == WaveForm::ExtensibleFloat;
    const int rate = 44100, channels = 2, bytes = bits / 8;
    const auto put = [](std::string& out, std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::string data;
    const int frames = rate * ms / 1000;
    for (int i = 0; i < frames; ++i) {
        const double v = 0.6 * std::exp(-3.0 * i / rate) * std::sin(2 * M_PI * 220 * i / rate);
        for (int c = 0; c < channels; ++c) {
            if (isFloat) {
                const float f = static_cast<float>(v);
                std::uint32_t u;
                std::memcpy(&u, &f, 4);
                put(data, u, 4);
            } else if (bits == 8) {
                put(data, static_cast<std::uint64_t>(128 + std::lround(v * 127)), 1);
            } else {
                const double full = std::ldexp(1.0, bits - 1) - 1;
                put(data, static_cast<std::uint64_t>(std::llround(v * full)), bytes);
            }
        }
    }
    // MPEG-1 Layer 3, 128 kbps, 44.1 kHz: 417-byte frames.
    const std::string header("\xFF\xFB\x90\x00", 4);
    data.replace(1000, 4, header);
    data.replace(1000 + 417, 4, header);

    std::string fmt;
    const int tag = isFloat ? 3 : 1;
    put(fmt, extensible ? 0xFFFE : tag, 2);
    put(fmt, channels, 2);
    put(fmt, rate, 4);
    put(fmt, rate * channels * bytes, 4);
    put(fmt, channels * bytes, 2);
    put(fmt, bits, 2);
    if (extensible) {
        put(fmt, 22, 2);
        put(fmt, bits, 2); // valid bits
        put(fmt, 3, 4);    // front left and right
        put(fmt, tag, 2);  // the sub-format GUID: the tag, then the fixed tail
        fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string file = "RIFF";
    put(file, 4 + 8 + fmt.size() + 8 + data.size(), 4);
    file += "WAVEfmt ";
    put(file, fmt.size(), 4);
    file += fmt + "data";
    put(file, data.size(), 4);
    file += data;
    const std::string path = fixtureDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << file;
    return path;
}

long fixtureLengthMs(const std::string& path)
{
    const std::string out = fixtureDir() + "/length.txt";
    const std::string cmd = "gst-launch-1.0 -q filesrc location='" + path +
                            "' ! decodebin ! audioconvert ! audio/x-raw,format=S16LE ! wavenc ! "
                            "filesink location='" +
                            out + ".wav' && soxi -D '" + out + ".wav' > '" + out + "'";
    if (!sh(cmd))
        return -1;
    std::ifstream in(out);
    double seconds = -1;
    in >> seconds;
    return seconds < 0 ? -1 : static_cast<long>(seconds * 1000 + 0.5);
}

LRESULT NoteWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    notes.push_back({message, HIWORD(wParam), LOWORD(wParam), lParam});
    return 0;
}

bool NoteWindow::has(UINT message, int cookie, int event, LPARAM value) const
{
    for (const Note& n : notes) {
        if (n.message == message && n.cookie == cookie && n.event == event && n.value == value)
            return true;
    }
    return false;
}

bool NoteWindow::hasEvent(UINT message, int cookie, int event) const
{
    for (const Note& n : notes) {
        if (n.message == message && n.cookie == cookie && n.event == event)
            return true;
    }
    return false;
}

std::vector<Note> NoteWindow::of(int cookie) const
{
    std::vector<Note> out;
    for (const Note& n : notes) {
        if (n.cookie == cookie)
            out.push_back(n);
    }
    return out;
}

bool pumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void pump(int ms)
{
    pumpUntil([] { return false; }, ms);
}

namespace {

std::string testSinkName()
{
    const char* name = std::getenv("KOLVO_TEST_SINK");
    return name ? name : "kolvo_test";
}

pid_t spawn(const std::vector<std::string>& args)
{
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

pid_t g_listener = -1;

void stopListener()
{
    if (g_listener > 0) {
        kill(g_listener, SIGTERM);
        waitpid(g_listener, nullptr, 0);
        g_listener = -1;
    }
}

} // namespace

bool haveTestSink()
{
    static const bool present = [] {
        if (!std::getenv("KOLVO_TEST_SINK") || !sh("pactl info"))
            return false;
        // A null sink nobody listens to runs with a latency of seconds, unlike a sound card.
        // A low-latency reader of its monitor makes it keep time the way a device does.
        g_listener = spawn(
            {"sh", "-c",
             "exec parec -d '" + testSinkName() + ".monitor' --latency-msec=10 --raw > /dev/null"});
        std::atexit(stopListener);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return true;
    }();
    return present;
}

SinkRecorder::SinkRecorder()
{
    static int serial = 0;
    m_path = fixtureDir() + "/recording-" + std::to_string(++serial) + ".wav";
}

SinkRecorder::~SinkRecorder()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

bool SinkRecorder::start()
{
    m_pid = spawn({"parec", "-d", testSinkName() + ".monitor", "--file-format=wav", "--rate=44100",
                   "--channels=2", "--format=s16le", "--latency-msec=20", m_path});
    if (m_pid <= 0)
        return false;
    // Recording runs once the file grows past its header.
    for (int i = 0; i < 300; ++i) {
        struct stat st
        {};
        if (::stat(m_path.c_str(), &st) == 0 && st.st_size > 44 + 4 * 441)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

analysis::Stereo SinkRecorder::stop()
{
    analysis::Stereo out;
    if (m_pid > 0) {
        // parec finishes the WAVE header when interrupted.
        kill(m_pid, SIGINT);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    analysis::readWav(m_path, out);
    std::remove(m_path.c_str());
    return out;
}

} // namespace enginetest
