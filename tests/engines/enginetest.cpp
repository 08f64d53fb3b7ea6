#include "enginetest.h"

#include "engines/engineapi.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

namespace {

// Makes `name` once: sox writes a WAVE with `synth`, then `kind` decides how it is encoded.
std::string makeOnce(const std::string& name, const std::string& kind, const char* synth)
{
    const std::string path = fixtureDir() + "/" + name, wav = path + ".src.wav";
    if (std::filesystem::exists(path))
        return path;
    const std::string ff = "ffmpeg -hide_banner -loglevel error -y -i '" + wav + "' ";
    const std::map<std::string, std::string> encoders = {
        {"wav", "mv '" + wav + "'"},
        {"aiff", "sox '" + wav + "'"},
        {"au", "sox '" + wav + "'"},
        {"ogg", "sox '" + wav + "'"},
        {"flac", "sox '" + wav + "'"},
        {"snd", "sox '" + wav + "' -t au"},
        {"opus", ff + "-c:a libopus -b:a 96k"},
        {"mp3", "lame --quiet -b 192 '" + wav + "'"},
        {"mp2", ff + "-c:a mp2 -b:a 192k"},
        {"rm", ff + "-c:a ac3 -b:a 128k -f rm"},
        {"ra", std::string(KOLVO_SOURCE_DIR) + "/tools/make-realaudio '" + wav + "'"}};
    const auto encoder = encoders.find(kind);
    if (encoder == encoders.end() || !sh("sox -n -r 44100 -c 2 -b 16 '" + wav + "' " + synth) ||
        !sh(encoder->second + " '" + path + "'" +
            (kind == "ra" ? " --title Tone --author Kolvo" : "")))
        return {};
    std::remove(wav.c_str());
    return path;
}

} // namespace

std::string toneFile(const std::string& kind, double seconds, double hz, double rightHz,
                     double amplitude, double silence)
{
    char name[200], synth[200];
    std::snprintf(name, sizeof name, "tone-%g-%g-%g-%g-%g.%s", seconds, hz, rightHz, amplitude,
                  silence, kind.c_str());
    // Each channel its own sine; "vol" keeps the amplitude exact (no normalising).
    std::snprintf(synth, sizeof synth, "synth %g sine %g sine %g vol %g pad 0 %g", seconds, hz,
                  rightHz > 0 ? rightHz : hz, amplitude, silence);
    return makeOnce(name, kind, synth);
}

std::string twoToneFile(const std::string& kind, double seconds, double hz1, double hz2,
                        double amplitude)
{
    char name[200], synth[200];
    std::snprintf(name, sizeof name, "two-%g-%g-%g-%g.%s", seconds, hz1, hz2, amplitude,
                  kind.c_str());
    std::snprintf(synth, sizeof synth, "synth %g sine %g sine %g vol %g remix -m 1,2 1,2", seconds,
                  hz1, hz2, amplitude);
    return makeOnce(name, kind, synth);
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
    for (const auto& [value, size] : {std::pair{extensible ? 0xFFFE : tag, 2},
                                      {channels, 2},
                                      {rate, 4},
                                      {rate * channels * bytes, 4},
                                      {channels * bytes, 2},
                                      {bits, 2}})
        put(fmt, static_cast<std::uint64_t>(value), size);
    if (extensible) {
        // Its size, the valid bits, front left and right, and the sub-format GUID: the tag,
        // then the fixed tail.
        for (const auto& [value, size] : {std::pair{22, 2}, {bits, 2}, {3, 4}, {tag, 2}})
            put(fmt, static_cast<std::uint64_t>(value), size);
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

std::string midiFile(const std::string& name, const std::string& args)
{
    const std::string path = fixtureDir() + "/" + name;
    if (!std::filesystem::exists(path) &&
        !sh("/usr/bin/python3 '" KOLVO_SOURCE_DIR "/tools/make-midi' " + args + " '" + path + "'"))
        return {};
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
    return std::any_of(notes.begin(), notes.end(), [&](const Note& n) {
        return n.message == message && n.cookie == cookie && n.event == event && n.value == value;
    });
}

bool NoteWindow::hasEvent(UINT message, int cookie, int event) const
{
    return std::any_of(notes.begin(), notes.end(), [&](const Note& n) {
        return n.message == message && n.cookie == cookie && n.event == event;
    });
}

std::vector<Note> NoteWindow::of(int cookie) const
{
    std::vector<Note> out;
    std::copy_if(notes.begin(), notes.end(), std::back_inserter(out),
                 [&](const Note& n) { return n.cookie == cookie; });
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

PcmTone::PcmTone(engines::ChainRole role, double hz, double seconds)
    : m_out(role, engines::PcmFormat{44100, 2})
{
    m_out.start();
    m_feeder = std::thread([this, hz, seconds] {
        std::vector<std::int16_t> block(2 * 441);
        const long blocks = seconds > 0 ? std::lround(seconds * 100) : -1;
        for (long n = 0; !m_quit && n != blocks; ++n) {
            for (int i = 0; i < 441; ++i)
                block[2 * i] = block[2 * i + 1] = static_cast<std::int16_t>(
                    16384 * std::sin(2 * M_PI * hz * static_cast<double>(n * 441 + i) / 44100));
            if (!m_out.write(block.data(), 441))
                break;
        }
        if (blocks > 0)
            m_out.finish();
        m_done = true;
    });
}

PcmTone::~PcmTone()
{
    m_quit = true;
    m_out.stop();
    m_feeder.join();
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
