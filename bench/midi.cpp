// The MIDI engine against the fluidsynth program, measured in the same run with the same
// SoundFont:
//  - rendering a 3-minute, five-part MIDI file through the MIDI engine and the output chain
//    (effects off) to a sink that does not keep time, against `fluidsynth -F` rendering the same
//    file to a WAVE file (goal: at most 1.2 times its time, and faster than real time); both
//    load the SoundFont first, so a second, warm run of ours is shown too;
//  - the CPU time of playing the same file in real time for ten seconds (goal: under 5 % of a
//    core).
// The file is made by tools/make-midi and kept in $TMPDIR/kolvo-bench-midi.

#include "engines/engineapi.h"
#include "engines/kmidengine.h"
#include "engines/midisynth.h"
#include "engines/outputchain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Plays the file with the MIDI engine until it has ended; the wall time.
double renderThroughEngine(const std::string& path)
{
    const auto start = Clock::now();
    const std::int32_t result = KMIDEngine_Play(0, path.c_str(), 1);
    if (result != 1 && result != kResultMidiLater)
        return -1;
    while (KMIDEngine_GetMode() != kModeStopped)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const double taken = seconds(Clock::now() - start);
    KMIDEngine_Stop();
    return taken;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString dir = QDir::temp().filePath(QStringLiteral("kolvo-bench-midi"));
    QDir().mkpath(dir);
    const std::string song = (dir + QStringLiteral("/song3min.mid")).toStdString();
    if (!QFileInfo::exists(QString::fromStdString(song)) &&
        std::system(("/usr/bin/python3 '" KOLVO_SOURCE_DIR "/tools/make-midi' song --minutes 3 '" +
                     song + "'")
                        .c_str()) != 0) {
        std::fprintf(stderr, "midi: the file cannot be made (tools/make-midi)\n");
        return 1;
    }
    const std::string soundFont = engines::findSoundFont();
    if (soundFont.empty()) {
        std::fprintf(stderr, "midi: no SoundFont is installed\n");
        return 1;
    }
    engines::setSoundFontChoice(soundFont);
    bool ok = true;

    // The peer first, so that both find the SoundFont in the page cache.
    const std::string wav = (dir + QStringLiteral("/fluidsynth.wav")).toStdString();
    const auto peerStart = Clock::now();
    const int peerStatus = std::system(("fluidsynth -ni -q -r 44100 -F '" + wav + "' '" +
                                        soundFont + "' '" + song + "' >/dev/null 2>&1")
                                           .c_str());
    const double peer = seconds(Clock::now() - peerStart);
    if (peerStatus != 0) {
        std::fprintf(stderr, "midi: fluidsynth -F failed (is the fluidsynth package installed?)\n");
        return 1;
    }

    engines::setAudioSinkOverride("fakesink sync=false");
    const double cold = renderThroughEngine(song);
    const double warm = renderThroughEngine(song);
    if (cold < 0 || warm < 0) {
        std::fprintf(stderr, "midi: the MIDI engine cannot play the file\n");
        return 1;
    }
    const double ratio = cold / peer;
    std::printf("rendering a 3-minute MIDI file to the chain (%s): kolvo %.2f s (%.0f x real "
                "time; %.2f s with the SoundFont loaded), fluidsynth -F %.2f s, ratio %.2f "
                "(goal <= 1.2)\n",
                QFileInfo(QString::fromStdString(soundFont)).fileName().toUtf8().constData(), cold,
                180.0 / cold, warm, peer, ratio);
    ok = ok && ratio <= 1.2 && cold < 180;

    engines::setAudioSinkOverride("fakesink sync=true");
    if (KMIDEngine_Play(0, song.c_str(), 2) != 1)
        return 1; // the SoundFont is loaded by now: the song starts at once
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double cpu0 = cpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double share = (cpuSeconds() - cpu0) / seconds(Clock::now() - wall0) * 100;
    KMIDEngine_Stop();
    std::printf("CPU while playing the same file in real time (fakesink sync=true): kolvo %.1f %% "
                "of a core (goal < 5 %%)\n",
                share);
    ok = ok && share < 5;
    return ok ? 0 : 1;
}
