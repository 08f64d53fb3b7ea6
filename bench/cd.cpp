// The CD reader and the CD audio device against libcdio's own tools, measured in the same run:
//  - the table of contents of a 99-track image: CdReader's open and toc(), and the CD audio
//    device's open with the questions the CD Player asks of a new disc, against libcdio's
//    cdio_open and TOC calls in this process and `cd-info --cue-file` as a process (goal:
//    under 50 ms);
//  - reading every sector of a 5-minute image into a WAVE file, against
//    `cd-paranoia -d IMG.cue -w 1-5 OUT.wav` (goal: at least 0.9 times its speed); the same
//    read through paranoia by our reader is printed too, as the reason images are read
//    plainly;
//  - the CPU time of playing the image in real time through the CD audio device, against the
//    same sound as a WAVE file through the general engine (goal: at most 1.2 times).
// The fixtures are made once by tools/make-test-disc and kept in $TMPDIR/kolvo-bench-cd.

#include "engines/cdaudio.h"
#include "engines/cdreader.h"
#include "engines/effects.h"
#include "engines/engineapi.h"
#include "engines/gstglue.h"
#include "engines/kamengine.h"
#include "engines/mcidevice.h"
#include "engines/outputchain.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QString benchDir()
{
    const QString dir = QDir::tempPath() + "/kolvo-bench-cd";
    QDir().mkpath(dir);
    return dir;
}

std::string disc(const QString& name, const QString& arguments)
{
    const QString cue = benchDir() + "/" + name + ".cue";
    if (!QFileInfo::exists(cue)) {
        std::fprintf(stderr, "cd: making %s...\n", cue.toUtf8().constData());
        const QString command = QString("'%1/tools/make-test-disc' audio '%2' %3")
                                    .arg(KOLVO_SOURCE_DIR, cue, arguments);
        if (QProcess::execute("/bin/sh", {"-c", command}) != 0)
            return {};
    }
    return cue.toStdString();
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// ---- 1. the table of contents ----

double readerToc(const std::string& cue)
{
    const auto began = Clock::now();
    engines::CdReader reader;
    if (!reader.open(cue) || reader.toc().tracks.size() != 99)
        return -1;
    return ms(Clock::now() - began);
}

// Open, then what the CD Player asks of a new disc: mode, tracks, identity, each track's type
// and position, the disc's length.
double deviceToc(const std::string& cue)
{
    const auto began = Clock::now();
    MciDevice device;
    if (device.openByType(MCI_DEVTYPE_CD_AUDIO, cue.c_str()) != 1)
        return -1;
    device.setTimeFormat(MCI_FORMAT_TMSF);
    device.status(MCI_STATUS_MODE);
    const long n = device.status(MCI_STATUS_NUMBER_OF_TRACKS);
    char identity[80];
    device.info(MCI_INFO_MEDIA_IDENTITY, identity, sizeof identity);
    device.setTimeFormat(MCI_FORMAT_MILLISECONDS);
    for (long t = 1; t <= n; ++t) {
        device.isAudioTrack(t);
        device.position(t);
    }
    device.length();
    return n == 99 ? ms(Clock::now() - began) : -1;
}

double libcdioToc(const std::string& cue)
{
    const auto began = Clock::now();
    CdIo_t* cd = cdio_open(cue.c_str(), DRIVER_UNKNOWN);
    if (!cd)
        return -1;
    const track_t first = cdio_get_first_track_num(cd), count = cdio_get_num_tracks(cd);
    lsn_t sum = 0;
    for (int t = first; t < first + count; ++t) {
        sum += cdio_get_track_lsn(cd, static_cast<track_t>(t));
        cdio_get_track_format(cd, static_cast<track_t>(t));
    }
    sum += cdio_get_track_lsn(cd, CDIO_CDROM_LEADOUT_TRACK);
    cdio_destroy(cd);
    return count == 99 && sum > 0 ? ms(Clock::now() - began) : -1;
}

double cdInfoToc(const std::string& cue)
{
    const auto began = Clock::now();
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start("cd-info", {"--no-header", "--no-device-info", "--no-disc-mode", "--no-analyze",
                        "--cue-file", QString::fromStdString(cue)});
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return -1;
    return ms(Clock::now() - began);
}

// ---- 2. reading ----

void putLe(std::FILE* f, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        std::fputc(static_cast<int>(v >> (8 * i) & 0xFF), f);
}

// Every sector into a WAVE file, as a copy would; the wall time in ms.
double readToWave(const std::string& cue, engines::CdReader::Method method, const std::string& out)
{
    const auto began = Clock::now();
    engines::CdReader reader;
    if (!reader.open(cue, method))
        return -1;
    const engines::CdToc toc = reader.toc();
    const std::int32_t first = toc.tracks.front().lsn, end = toc.leadOutLsn;
    std::FILE* f = std::fopen(out.c_str(), "wb");
    if (!f)
        return -1;
    const std::uint32_t bytes = static_cast<std::uint32_t>(end - first) * engines::kCdSectorBytes;
    std::fwrite("RIFF", 1, 4, f);
    putLe(f, 36 + bytes, 4);
    std::fwrite("WAVEfmt ", 1, 8, f);
    putLe(f, 16, 4), putLe(f, 1, 2), putLe(f, 2, 2), putLe(f, 44100, 4), putLe(f, 176400, 4);
    putLe(f, 4, 2), putLe(f, 16, 2);
    std::fwrite("data", 1, 4, f);
    putLe(f, bytes, 4);
    constexpr int kChunk = 75;
    std::vector<std::int16_t> buffer(kChunk * engines::kCdSectorBytes / 2);
    bool ok = true;
    for (std::int32_t lsn = first; lsn < end && ok; lsn += kChunk) {
        const int want = std::min<std::int32_t>(kChunk, end - lsn);
        ok = reader.read(lsn, want, buffer.data()) == want &&
             std::fwrite(buffer.data(), engines::kCdSectorBytes, static_cast<size_t>(want), f) ==
                 static_cast<size_t>(want);
    }
    ok = std::fclose(f) == 0 && ok;
    return ok ? ms(Clock::now() - began) : -1;
}

double paranoiaTool(const std::string& cue, int tracks, const std::string& out)
{
    const auto began = Clock::now();
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start("cd-paranoia", {"-q", "-d", QString::fromStdString(cue), "-w",
                            QString("1-%1").arg(tracks), QString::fromStdString(out)});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return -1;
    return ms(Clock::now() - began);
}

// ---- 3. playing ----

// CPU share over `wall` seconds after the first, while polling like a player's tick.
template <typename Poll>
double cpuShareWhile(double wall, Poll poll)
{
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double before = cpuSeconds();
    const auto began = Clock::now();
    while (std::chrono::duration<double>(Clock::now() - began).count() < wall) {
        poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return (cpuSeconds() - before) / std::chrono::duration<double>(Clock::now() - began).count();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!engines::ensureGstreamer()) {
        std::fprintf(stderr, "cd: GStreamer cannot start\n");
        return 1;
    }
    cdio_log_set_handler([](cdio_log_level_t, const char*) {});
    engines::registerCdAudioDriver();
    const std::string many = disc("ninety-nine", "--tracks 99 2");
    const std::string five = disc("five-minutes", "60 60 60 60 60");
    if (many.empty() || five.empty()) {
        std::fprintf(stderr, "cd: the fixtures cannot be made (tools/make-test-disc, sox)\n");
        return 1;
    }
    bool ok = true;

    // 1. The table of contents.
    std::vector<double> reader, device, bare, tool;
    for (int i = 0; i < 15; ++i) {
        reader.push_back(readerToc(many));
        device.push_back(deviceToc(many));
        bare.push_back(libcdioToc(many));
        tool.push_back(cdInfoToc(many));
    }
    const double r = median(reader), d = median(device), b = median(bare), t = median(tool);
    std::printf("table of contents of a 99-track image: kolvo reader %.2f ms, CD audio device "
                "with the CD Player's questions %.2f ms; libcdio in this process %.2f ms, "
                "cd-info %.2f ms; ratio %.2f to libcdio (goal < 50 ms)\n",
                r, d, b, t, r / b);
    ok = ok && r >= 0 && d >= 0 && r < 50 && d < 50;

    // 2. Reading every sector.
    const std::string out = (benchDir() + "/out.wav").toStdString();
    std::vector<double> plain, verified, peer;
    for (int i = 0; i < 3; ++i) {
        plain.push_back(readToWave(five, engines::CdReader::Method::Auto, out));
        peer.push_back(paranoiaTool(five, 5, out));
    }
    verified.push_back(readToWave(five, engines::CdReader::Method::Paranoia, out));
    std::remove(out.c_str());
    const double p = median(plain), q = median(peer), v = verified.front();
    std::printf("reading a 5-minute image to a WAVE file: kolvo %.0f ms (%.0f x real time), "
                "cd-paranoia %.0f ms, speed ratio %.2f (goal >= 0.9); through paranoia in "
                "kolvo %.0f ms\n",
                p, 300000 / p, q, q / p, v);
    if (q < 0)
        std::printf("  (cd-paranoia is missing: install the cd-paranoia package)\n");
    ok = ok && p > 0 && (q < 0 || q / p >= 0.9);

    // 3. Playing in real time.
    const char* env = std::getenv("KOLVO_AUDIO_SINK");
    const std::string sink = env && *env ? env : "fakesink sync=true";
    engines::setAudioSinkOverride(sink);
    engines::setCurrentEffects({});
    engines::setCurrentEqualizer({});
    constexpr double kWall = 8.0;
    MciDevice cd;
    cd.openByType(MCI_DEVTYPE_CD_AUDIO, five.c_str());
    cd.setTimeFormat(MCI_FORMAT_TMSF);
    if (cd.play(1, -1) != 1) {
        std::fprintf(stderr, "cd: the image does not play\n");
        return 1;
    }
    const double cdShare = cpuShareWhile(kWall, [&] {
        cd.status(MCI_STATUS_MODE);
        cd.position();
    });
    const bool cdPlayed = cd.status(MCI_STATUS_MODE) == kModePlaying;
    cd.close();
    const std::string wav = five.substr(0, five.size() - 4) + ".wav";
    if (!QFileInfo::exists(QString::fromStdString(wav)))
        QProcess::execute("sox",
                          {"-t", "raw", "-r", "44100", "-e", "signed", "-b", "16", "-c", "2", "-L",
                           QString::fromStdString(five.substr(0, five.size() - 4) + ".bin"),
                           QString::fromStdString(wav)});
    int result = 0;
    if (KAMEngine_Open(0, 0, wav.c_str(), 1, &result, 0) != 1 || KAMEngine_Play(0) != 1) {
        std::fprintf(stderr, "cd: the WAVE file does not play\n");
        return 1;
    }
    const double wavShare = cpuShareWhile(kWall, [] {
        KAMEngine_GetMode(0);
        KAMEngine_GetPosition(0);
    });
    KAMEngine_Close(0);
    std::printf("CPU while playing in real time (%s): kolvo CD image %.2f %% of a core, the same "
                "sound as WAVE through the general engine %.2f %%, ratio %.2f (goal <= 1.2)\n",
                sink.c_str(), 100 * cdShare, 100 * wavShare, cdShare / wavShare);
    ok = ok && cdPlayed && cdShare / wavShare <= 1.2;
    engines::setAudioSinkOverride("");
    return ok ? 0 : 1;
}
