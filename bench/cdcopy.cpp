// The digital copy of a CD to WAVE files against cd-paranoia on the same disc image, measured
// in the same run: a five-track, five-minute image (tools/make-test-disc) copied by CdCopier
// (blocks of 300 frames through the temporary file and the WAVE writer, as the copy window
// does) and by `cd-paranoia -d IMG.cue -w 1-5 OUT.wav`. Goals: at least 50 times real time,
// and at least 0.9 times cd-paranoia's speed. The image is kept in $TMPDIR/kolvo-bench-cdcopy.

#include "record/cdcopy.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Quiet : record::CdCopier::Listener
{
    bool isEnded = false, allDone = false;
    void rowIcon(int, record::CdCopier::RowIcon) override {}
    void rowFile(int, const std::string&) override {}
    void rowStatus(int, const std::string&) override {}
    void bars(int, int) override {}
    void message(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ended(bool done) override
    {
        isEnded = true;
        allDone = done;
    }
};

double copyOnce(const std::string& cue, const fs::path& out)
{
    fs::remove_all(out);
    fs::create_directories(out);
    record::RecordJob job;
    job.drive = cue;
    job.directory = out.string();
    job.selectedTracks = {1, 2, 3, 4, 5};
    Quiet quiet;
    const auto start = Clock::now();
    {
        record::CdCopier copier(job, quiet);
        copier.start();
        while (!quiet.isEnded)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (!quiet.allDone) {
        std::fprintf(stderr, "bench_cdcopy: the copy failed\n");
        std::exit(1);
    }
    return s;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / "kolvo-bench-cdcopy";
    fs::create_directories(dir);
    const std::string cue = (dir / "five.cue").string();
    if (!fs::exists(cue) && std::system(("'" KOLVO_SOURCE_DIR "/tools/make-test-disc' audio '" +
                                         cue + "' --tracks 5 60 >/dev/null")
                                            .c_str()) != 0) {
        std::fprintf(stderr,
                     "bench_cdcopy: the image cannot be made (tools/make-test-disc, sox)\n");
        return 1;
    }
    // Warm the page cache for both.
    copyOnce(cue, dir / "ours");
    double ours = 1e9, peer = 1e9;
    for (int round = 0; round < 3; ++round) {
        ours = std::min(ours, copyOnce(cue, dir / "ours"));
        fs::remove_all(dir / "peer");
        fs::create_directories(dir / "peer");
        const auto start = Clock::now();
        const std::string command = "cd '" + (dir / "peer").string() + "' && cd-paranoia -q -d '" +
                                    cue + "' -B -w 1-5 >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            std::printf("cdcopy: cd-paranoia is missing or failed (install cd-paranoia)\n");
            peer = 0;
            break;
        }
        peer = std::min(peer, std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::printf("cdcopy: 5 tracks, 300 s of CD sound, to WAVE files (best of 3)\n");
    std::printf("  CdCopier      %7.1f ms  (%6.0f x real time; goal >= 50)\n", ours * 1000,
                300 / ours);
    if (peer > 0)
        std::printf(
            "  cd-paranoia   %7.1f ms  (%6.0f x real time)  speed ratio %.2f (goal >= 0.9)\n",
            peer * 1000, 300 / peer, peer / ours);
    fs::remove_all(dir / "ours");
    fs::remove_all(dir / "peer");
    return 0;
}
