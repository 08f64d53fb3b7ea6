// Writes the first seeds of the Video CD fuzz targets from the discs the Video CD tests make:
//   make_vcd_fuzz_seeds OUT   writes OUT/fuzz_vcd_{info,entries,psd}/<disc>
// A play-sequence seed is the disc's offset multiplier followed by its PSD file, as
// fuzz_vcd_psd takes it. The committed corpora started from these; run it only to start a
// corpus again.
#include "vcdtest.h"

#include "engines/vcddisc.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

using namespace engines;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_vcd_fuzz_seeds OUT\n");
        return 2;
    }
    const std::string out = argv[1];
    const std::string menu = vcdtest::menuDisc();
    const std::string tracks = vcdtest::trackModeDisc();
    const std::string plain =
        vcdtest::tracksDisc("plain", {vcdtest::clip("one", 2, 440), vcdtest::clip("two", 2, 880)});
    int written = 0;
    for (const auto& [name, cue] :
         {std::pair{"menu", menu}, {"tracks", tracks}, {"plain", plain}}) {
        VcdDisc disc;
        if (cue.empty() || !disc.open(cue)) {
            std::fprintf(stderr, "make_vcd_fuzz_seeds: the %s disc could not be made\n", name);
            return 1;
        }
        const auto put = [&](const std::string& target, const std::string& bytes,
                             const std::string& suffix = {}) {
            QDir().mkpath(QString::fromStdString(out + "/" + target));
            written += vcdtest::writeBytes(out + "/" + target + "/" + name + suffix, bytes);
        };
        if (auto info = disc.readFile("VCD/INFO.VCD"))
            put("fuzz_vcd_info", *info);
        if (auto entries = disc.readFile("VCD/ENTRIES.VCD"))
            put("fuzz_vcd_entries", *entries);
        VcdDescription d;
        std::string why;
        if (readVcdDescription(disc, d, &why) && !d.psd.empty())
            put("fuzz_vcd_psd", std::string(1, static_cast<char>(d.info.offsetMultiplier)) + d.psd);
        if (auto plainPsd = disc.readFile("VCD/PSD.VCD"); plainPsd && !d.psd.empty())
            put("fuzz_vcd_psd",
                std::string(1, static_cast<char>(d.info.offsetMultiplier)) + *plainPsd, "-plain");
    }
    std::printf("%d seeds\n", written);
    return 0;
}
