// The file encoding batch against the lame program, measured in the same run: four 3-minute
// 44.1 kHz stereo WAVE files (music-like: a chord over pink noise, each file its own) encoded
// to 128 kbps MP3
//  - by `lame -b 128` one file after another (one core);
//  - by the batch with one worker, and with one worker per core (two here).
// Goals: the batch on one core at least 0.9 times lame's speed, and on two cores at least
// 1.6 times faster than on one. The fixtures are made once by sox and kept in
// $TMPDIR/kolvo-bench-encode.

#include "record/encodingbatch.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

int shell(const std::string& command)
{
    return std::system(command.c_str());
}

std::vector<std::string> fixtures(const fs::path& dir)
{
    std::vector<std::string> files;
    const char* chords[] = {"220 277 330", "247 311 370", "196 247 294", "262 330 392"};
    for (int i = 0; i < 4; ++i) {
        const fs::path path = dir / ("song" + std::to_string(i + 1) + ".wav");
        if (!fs::exists(path)) {
            std::string synth = "sox -n -r 44100 -c 2 -b 16 '" + path.string() + "' synth 180";
            std::string freqs = chords[i];
            size_t pos = 0;
            while (pos < freqs.size()) {
                const size_t end = freqs.find(' ', pos);
                synth += " sine " + freqs.substr(pos, end - pos);
                pos = end == std::string::npos ? freqs.size() : end + 1;
            }
            synth += " pinknoise remix 1,2,3,4 1,2,3,4 gain -n -3 2>/dev/null";
            if (shell(synth) != 0) {
                std::fprintf(stderr, "bench_encode: sox could not make %s\n", path.c_str());
                std::exit(1);
            }
        }
        files.push_back(path.string());
    }
    return files;
}

// CPU seconds (user and system) of this process, or of its waited-for children.
double cpu(int who)
{
    struct rusage u
    {};
    ::getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double runBatch(const std::vector<std::string>& files, const fs::path& out, int workers,
                double* cpuSeconds)
{
    fs::remove_all(out);
    fs::create_directories(out);
    record::EncodeJob job;
    job.files = files;
    job.bitRate = 128;
    job.outputFolder = out.string();
    record::EncodingBatch batch(job, workers);
    struct Quiet : record::EncodingBatch::Listener
    {
        int failed = 0;
        void fileEnded(int, bool success, const std::string&) override { failed += !success; }
    } listener;
    const double cpuStart = cpu(RUSAGE_SELF);
    const auto start = Clock::now();
    batch.run(listener);
    const double s = seconds(Clock::now() - start);
    *cpuSeconds = cpu(RUSAGE_SELF) - cpuStart;
    if (listener.failed) {
        std::fprintf(stderr, "bench_encode: %d files failed\n", listener.failed);
        std::exit(1);
    }
    return s;
}

} // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / "kolvo-bench-encode";
    fs::create_directories(dir);
    const std::vector<std::string> files = fixtures(dir);
    const double audio = 4 * 180.0;

    // lame, one file after another.
    fs::create_directories(dir / "lame");
    const double lameCpuStart = cpu(RUSAGE_CHILDREN);
    const auto lameStart = Clock::now();
    for (const std::string& f : files) {
        const std::string out = (dir / "lame" / fs::path(f).filename()).string() + ".mp3";
        if (shell("lame --quiet -b 128 '" + f + "' '" + out + "'") != 0) {
            std::fprintf(stderr, "bench_encode: lame failed on %s\n", f.c_str());
            return 1;
        }
    }
    const double lame = seconds(Clock::now() - lameStart);
    const double lameCpu = cpu(RUSAGE_CHILDREN) - lameCpuStart;
    double oneCpu = 0, allCpu = 0;
    const double one = runBatch(files, dir / "one", 1, &oneCpu);
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const double all = runBatch(files, dir / "all", cores, &allCpu);

    std::printf("encode: 4 x 3 min WAVE to 128 kbps MP3\n");
    std::printf("  lame, one after another  %6.2f s wall, %6.2f s CPU\n", lame, lameCpu);
    std::printf("  batch, 1 worker          %6.2f s wall, %6.2f s CPU\n", one, oneCpu);
    std::printf("  batch, %d workers         %6.2f s wall, %6.2f s CPU\n", cores, all, allCpu);
    std::printf("  speed per core: %.2f x lame's (by CPU time; by wall time %.2f) (goal >= 0.9)\n",
                lameCpu / oneCpu, lame / one);
    std::printf("  %d workers: %.2f x faster than 1 (wall time; goal >= 1.6 on two idle cores), "
                "%.0f x real time\n",
                cores, one / all, audio / all);
    std::printf("  load average at the end: %s\n", [] {
        static char text[64] = "?";
        if (FILE* f = std::fopen("/proc/loadavg", "r")) {
            if (!std::fgets(text, sizeof text, f))
                text[0] = 0;
            std::fclose(f);
            if (char* nl = std::strchr(text, '\n'))
                *nl = 0;
        }
        return text;
    }());
    fs::remove_all(dir / "lame");
    fs::remove_all(dir / "one");
    fs::remove_all(dir / "all");
    return 0;
}
