// kolvo-adlib-bank OUT.BNK: writes Kolvo's own AdLib instrument bank, the one IMS songs play
// with when no bank of theirs is found. It is laid out like the General MIDI program list:
// sixteen families of eight timbres ("PIANO1".."PIANO8", "ORGAN1", ...), then the percussion
// voices. Every timbre is drawn from its family's envelope and operator shape here, varied by
// its number; nothing is taken from another bank.

#include "engines/adlibbank.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// One operator as a bank record holds it: key scale level, multiple, feedback, attack, sustain
// level, sustaining, decay, release, output level (attenuation), amplitude vibrato, frequency
// vibrato, envelope scaling, connection.
struct Op
{
    int ksl, mult, fb, ar, sl, eg, dr, rr, tl, am, vib, ksr, con;
};

struct Family
{
    const char* name;
    Op mod, car;
};

// The families in General MIDI order. A modulator's output level shapes the timbre (lower is
// brighter); a carrier's sets its loudness. Connection 1 sounds both operators side by side.
const Family kFamilies[] = {
    {"PIANO", {1, 1, 3, 15, 6, 0, 4, 5, 30, 0, 0, 1, 0}, {0, 1, 0, 15, 8, 0, 3, 5, 0, 0, 0, 1, 0}},
    {"CHROM", {0, 7, 2, 15, 5, 0, 5, 4, 34, 0, 0, 0, 0}, {0, 1, 0, 15, 7, 0, 4, 5, 0, 0, 0, 0, 0}},
    {"ORGAN", {0, 2, 0, 15, 0, 1, 0, 8, 12, 0, 0, 0, 1}, {0, 1, 0, 15, 0, 1, 0, 8, 2, 0, 0, 0, 1}},
    {"GUITAR", {1, 3, 4, 15, 6, 0, 5, 6, 28, 0, 0, 1, 0}, {0, 1, 0, 15, 9, 0, 4, 6, 0, 0, 0, 1, 0}},
    {"BASS", {0, 0, 5, 15, 4, 0, 4, 7, 24, 0, 0, 0, 0}, {0, 1, 0, 15, 6, 0, 3, 7, 0, 0, 0, 0, 0}},
    {"STRING", {0, 1, 3, 6, 2, 1, 2, 5, 26, 0, 1, 0, 0}, {0, 1, 0, 7, 1, 1, 2, 5, 0, 0, 1, 0, 0}},
    {"ENSEMB", {0, 1, 2, 7, 2, 1, 2, 5, 28, 0, 1, 0, 0}, {0, 2, 0, 7, 1, 1, 2, 5, 2, 0, 1, 0, 0}},
    {"BRASS", {0, 1, 6, 10, 3, 1, 3, 6, 20, 0, 0, 0, 0}, {0, 1, 0, 11, 2, 1, 2, 6, 0, 0, 0, 0, 0}},
    {"REED", {0, 3, 5, 12, 3, 1, 2, 6, 26, 0, 1, 0, 0}, {0, 1, 0, 12, 2, 1, 2, 6, 0, 0, 0, 0, 0}},
    {"PIPE", {0, 1, 0, 11, 2, 1, 1, 6, 40, 0, 1, 0, 0}, {0, 1, 0, 11, 1, 1, 1, 6, 0, 0, 1, 0, 0}},
    {"LEAD", {0, 1, 7, 15, 2, 1, 1, 5, 22, 0, 0, 0, 0}, {0, 1, 0, 15, 1, 1, 1, 5, 0, 0, 0, 0, 0}},
    {"PAD", {0, 1, 2, 4, 2, 1, 1, 3, 30, 1, 1, 0, 0}, {0, 1, 0, 4, 1, 1, 1, 3, 0, 1, 1, 0, 0}},
    {"SYNFX", {0, 5, 4, 9, 4, 1, 3, 4, 24, 1, 1, 0, 0}, {0, 1, 0, 9, 3, 1, 2, 4, 0, 1, 1, 0, 0}},
    {"ETHNIC", {1, 4, 3, 15, 7, 0, 5, 6, 30, 0, 0, 1, 0}, {0, 1, 0, 15, 9, 0, 4, 6, 0, 0, 0, 1, 0}},
    {"PERC", {0, 1, 4, 15, 10, 0, 7, 7, 24, 0, 0, 0, 0}, {0, 1, 0, 15, 12, 0, 6, 7, 0, 0, 0, 0, 0}},
    {"SFX", {0, 15, 7, 13, 5, 0, 4, 4, 16, 1, 1, 0, 0}, {0, 1, 0, 13, 5, 0, 4, 4, 0, 1, 1, 0, 0}},
};

void put(std::array<std::uint8_t, 30>& r, size_t at, const Op& o)
{
    const int v[13] = {o.ksl, o.mult, o.fb, o.ar,  o.sl,  o.eg, o.dr,
                       o.rr,  o.tl,   o.am, o.vib, o.ksr, o.con};
    for (int i = 0; i < 13; ++i)
        r[at + static_cast<size_t>(i)] = static_cast<std::uint8_t>(v[i]);
}

int clampTo(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

engines::AdlibTimbre timbre(const std::string& name, int mode, int voice, Op mod, Op car)
{
    engines::AdlibTimbre t;
    t.name = name;
    t.record[0] = static_cast<std::uint8_t>(mode);
    t.record[1] = static_cast<std::uint8_t>(voice);
    put(t.record, 2, mod);
    put(t.record, 15, car);
    return t;
}

std::vector<engines::AdlibTimbre> makeBank()
{
    std::vector<engines::AdlibTimbre> bank;
    for (const Family& f : kFamilies) {
        for (int n = 0; n < 8; ++n) {
            Op mod = f.mod, car = f.car;
            // Each number is a little brighter or darker, quicker or slower than the last.
            mod.tl = clampTo(mod.tl + (n % 4) * 3 - 4, 0, 63);
            mod.fb = clampTo(mod.fb + (n / 4), 0, 7);
            if (n % 2)
                mod.mult = clampTo(mod.mult + 1, 0, 15);
            car.dr = clampTo(car.dr + (n % 3) - 1, 0, 15);
            car.rr = clampTo(car.rr + (n / 4), 0, 15);
            bank.push_back(timbre(f.name + std::to_string(n + 1), 0, 0, mod, car));
        }
    }
    // The percussion voices of percussive songs: bass drum (voice 6), snare (7), tom (8),
    // cymbal (9) and hi-hat (10).
    const Op drumMod{0, 0, 5, 15, 8, 0, 7, 7, 14, 0, 0, 0, 0};
    const Op drumCar{0, 0, 0, 15, 8, 0, 6, 7, 0, 0, 0, 0, 0};
    bank.push_back(timbre("BDRUM1", 1, 6, drumMod, drumCar));
    const Op snare{0, 1, 0, 15, 9, 0, 8, 8, 0, 0, 0, 0, 0};
    bank.push_back(timbre("SNARE1", 1, 7, snare, snare));
    const Op tom{0, 2, 0, 15, 8, 0, 7, 7, 2, 0, 0, 0, 0};
    bank.push_back(timbre("TOM1", 1, 8, tom, tom));
    const Op cymbal{0, 1, 0, 15, 7, 0, 5, 5, 2, 0, 0, 0, 0};
    bank.push_back(timbre("CYMBAL1", 1, 9, cymbal, cymbal));
    const Op hihat{0, 1, 0, 15, 10, 0, 9, 9, 2, 0, 0, 0, 0};
    bank.push_back(timbre("HIHAT1", 1, 10, hihat, hihat));
    return bank;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kolvo-adlib-bank OUT.BNK\n");
        return 2;
    }
    const std::string bytes = engines::writeAdlibBank(makeBank());
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        std::fprintf(stderr, "kolvo-adlib-bank: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
