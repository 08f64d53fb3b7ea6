// What recording from the sound card costs: ten seconds captured through CWave and written by
// CAcmWaveWriter into a WAVE file, from a live test source (so no sound server is needed),
// against gst-launch-1.0 writing the same live source into a WAVE file with wavenc, measured in
// the same run. Goal: under 3 % of a core.

#include "record/acmwavewriter.h"
#include "record/wave.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
constexpr double kSeconds = 10;
constexpr const char* kSource = "audiotestsrc is-live=true wave=sine freq=440 samplesperbuffer=441";

double cpu(int who)
{
    struct rusage u
    {};
    ::getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Writer : record::WaveReceiver
{
    record::CAcmWaveWriter writer;
    bool first = true;
    std::uint64_t bytes = 0;
    void DataRecorded(record::CWave&, const std::uint8_t* data, size_t count, int) override
    {
        writer.write(data, count, nullptr, nullptr, first ? -1 : 0);
        first = false;
        bytes += count;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / "kolvo-bench-record";
    fs::create_directories(dir);
    ::setenv("KOLVO_CAPTURE_SOURCE", kSource, 1);

    record::CWave wave;
    if (wave.SetRecordingFormat(44100, 16, 2, 0, 4, -1) != 1) {
        std::fprintf(stderr, "bench_record: %s\n", wave.recorder().failure().c_str());
        return 1;
    }
    Writer writer;
    const record::WAVEFORMATEX pcm = wave.recordFormat();
    writer.writer.openConverter(pcm, pcm);
    writer.writer.createFile((dir / "ours.wav").string(), pcm);
    const double start = cpu(RUSAGE_SELF);
    const auto began = std::chrono::steady_clock::now();
    wave.StartRecording(0, &writer);
    QTimer::singleShot(static_cast<int>(kSeconds * 1000), &app, &QCoreApplication::quit);
    app.exec();
    wave.StopRecording();
    writer.writer.finishFile();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double ours = cpu(RUSAGE_SELF) - start;

    const double peerStart = cpu(RUSAGE_CHILDREN);
    const std::string command =
        std::string("gst-launch-1.0 -q ") + kSource +
        " num-buffers=" + std::to_string(static_cast<int>(kSeconds * 100)) +
        " ! audio/x-raw,format=S16LE,rate=44100,channels=2 ! wavenc ! filesink location='" +
        (dir / "peer.wav").string() + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    const double peer = cpu(RUSAGE_CHILDREN) - peerStart;

    std::printf("record: %.0f s of 44.1 kHz 16-bit stereo from a live source into a WAVE file\n",
                kSeconds);
    std::printf("  CWave + CAcmWaveWriter  %6.3f s CPU = %.2f %% of a core (goal < 3 %%), %.1f s "
                "recorded\n",
                ours, 100 * ours / wall, static_cast<double>(writer.bytes) / pcm.nAvgBytesPerSec);
    if (status == 0)
        std::printf("  gst-launch wavenc       %6.3f s CPU = %.2f %% of a core; ratio %.2f\n", peer,
                    100 * peer / kSeconds, peer > 0 ? ours / peer : 0.0);
    else
        std::printf("  (gst-launch-1.0 is missing: install gstreamer1.0-tools)\n");
    fs::remove_all(dir);
    return 0;
}
