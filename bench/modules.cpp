// Module rendering, against openmpt123 in the same run: a 3-minute four-channel MOD (made by
// tools/make-test-music) rendered by the module engine through the output chain (effects off)
// to a sink that does not keep time, against `openmpt123 --render` writing the same module to a
// 16-bit 44.1 kHz WAVE file (goal: within 1.5 times); and libopenmpt's bare render loop in this
// process, for scale. The IMS engine's rendering speed is printed too (an IMS song of the same
// length through the chain), against real time.

#include "engines/engineapi.h"
#include "engines/kimsengine.h"
#include "engines/kmodengine.h"
#include "engines/outputchain.h"

#include <libopenmpt/libopenmpt.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QString benchDir()
{
    const QString dir = QDir::tempPath() + "/kolvo-bench-modules";
    QDir().mkpath(dir);
    return dir;
}

// A song of `kind` by our tool, about three minutes long.
std::string fixture(const QString& kind, const QString& name, const QString& notes)
{
    const QString path = benchDir() + "/" + name;
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "modules: making %s...\n", name.toUtf8().constData());
        const int rc = QProcess::execute(
            "/usr/bin/python3",
            {QString(KOLVO_SOURCE_DIR) + "/tools/make-test-music", kind, path, "--notes", notes});
        if (rc != 0)
            return {};
    }
    return path.toStdString();
}

QString melody(int repeats, const char* unit)
{
    QStringList parts;
    const int pitches[] = {72, 76, 79, 84, 79, 76};
    for (int i = 0; i < repeats; ++i)
        parts << QString("%1:%2").arg(pitches[i % 6]).arg(unit);
    return parts.join(',');
}

// Waits until `mode` reports the end; the wall time from `began`.
template <typename Mode>
double untilStopped(Clock::time_point began, Mode mode)
{
    while (mode() != kModeStopped)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return seconds(Clock::now() - began);
}

double engineRender(const std::string& file)
{
    const auto began = Clock::now();
    if (KMODEngine_Open(0, file.c_str(), 1, nullptr) != 1 || KMODEngine_Play() != 1)
        return -1;
    const double s = untilStopped(began, [] { return KMODEngine_GetMode(); });
    KMODEngine_Close();
    return s;
}

double peerRender(const std::string& file)
{
    const QString copy = benchDir() + "/peer.mod";
    QFile::remove(copy);
    QFile::copy(QString::fromStdString(file), copy);
    const auto began = Clock::now();
    const int rc =
        QProcess::execute("openmpt123", {"--quiet", "--render", "--samplerate", "44100",
                                         "--channels", "2", "--no-float", "--force", copy});
    const double s = seconds(Clock::now() - began);
    return rc == 0 && QFileInfo::exists(copy + ".wav") ? s : -1;
}

double bareRender(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string data = bytes.str();
    const auto began = Clock::now();
    openmpt_module* m = openmpt_module_create_from_memory2(
        data.data(), data.size(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!m)
        return -1;
    std::vector<std::int16_t> pcm(2 * 1024);
    while (openmpt_module_read_interleaved_stereo(m, 44100, 1024, pcm.data()) > 0) {
    }
    openmpt_module_destroy(m);
    return seconds(Clock::now() - began);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (QProcess::execute("openmpt123", {"--version"}) != 0) {
        std::fprintf(stderr, "modules: openmpt123 is missing (scripts/install-deps)\n");
        return 1;
    }
    // 1500 rows of 0.12 s: three minutes.
    const std::string mod = fixture("mod", "three-minutes.mod", melody(94, "16"));
    // Three minutes of IMS: 360 beats at 120 a minute.
    const std::string ims = fixture("ims", "three-minutes.ims", melody(90, "4"));
    if (mod.empty() || ims.empty())
        return 1;
    engines::setAudioSinkOverride("fakesink sync=false");

    std::vector<double> ours, peer, bare;
    for (int i = 0; i < 5; ++i) {
        ours.push_back(engineRender(mod));
        peer.push_back(peerRender(mod));
        bare.push_back(bareRender(mod));
    }
    const double o = median(ours), p = median(peer), b = median(bare);
    if (o <= 0 || p <= 0 || b <= 0) {
        std::fprintf(stderr, "modules: a render failed (kolvo %.3f, openmpt123 %.3f, bare %.3f)\n",
                     o, p, b);
        return 1;
    }
    const double length =
        KMODEngine_Open(0, mod.c_str(), 1, nullptr) == 1 ? KMODEngine_GetLength() / 1000.0 : 0;
    KMODEngine_Close();
    const double ratio = o / p;
    std::printf("rendering a %.0f-second MOD, effects off: kolvo module engine %.3f s (%.0f x real "
                "time), openmpt123 --render %.3f s, ratio %.2f (goal < 1.5); libopenmpt's bare "
                "loop in this process %.3f s\n",
                length, o, length / o, p, ratio, b);

    std::vector<double> imsRuns;
    for (int i = 0; i < 3; ++i) {
        const auto began = Clock::now();
        if (KIMSEngine_Play(0, ims.c_str(), 1) != 1) {
            std::fprintf(stderr, "modules: the IMS song does not play\n");
            return 1;
        }
        imsRuns.push_back(untilStopped(began, [] { return KIMSEngine_GetMode(); }));
    }
    const double imsLength = KIMSEngine_GetLength() / 1000.0;
    KIMSEngine_Stop();
    std::printf("rendering a %.0f-second IMS song, effects off: kolvo IMS engine %.3f s (%.0f x "
                "real time)\n",
                imsLength, median(imsRuns), imsLength / median(imsRuns));
    return ratio < 1.5 ? 0 : 1;
}
