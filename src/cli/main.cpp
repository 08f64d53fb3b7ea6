#include "cli/commands.h"
#include "engines/cdaudio.h"
#include "engines/sequencer.h"
#include "engines/versioninfo.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct Command
{
    const char* name;
    const char* synopsis;
    int (*run)(const CliArgs&);
};

const Command kCommands[] = {
    {"settings", "settings [--get SECTION/NAME] [--set SECTION/NAME=VALUE]", runSettings},
    {"album",
     "album list|show|add|import|export|delete KIND ... (KIND: cd, audio, midi, video)\n"
     "      album list KIND               key, title, artist of each album\n"
     "      album show KIND KEY           the album's fields, then one line per song\n"
     "      album add KIND KEY FILE...\n"
     "      album import KIND KEY FILE [--merge]   (.pls, .m3u, .ini; prints the number added)\n"
     "      album export KIND KEY FILE\n"
     "      album delete KIND KEY\n"
     "      (texts are printed with \\r, \\n, \\t and \\\\ for CR, LF, tab and backslash)",
     runAlbum},
    {"cd",
     "cd import FILE (.ini, .dpc, .ncd) | cd export FILE (.ini, .txt)\n"
     "      cd report OUT.pdf [--album KEY] [--pages FROM-TO] [--paper a4|letter|...]\n"
     "      (the printed report of all CD albums, or of one, as a PDF file; prints its pages)\n"
     "      cd toc DRIVE                  tracks (start frame, length, audio or data), lead-out,\n"
     "                                    media identity, album key and CDDB disc id\n"
     "      cd play DRIVE [TRACK] [--sink DESCRIPTION]   the disc, or one track, to its end\n"
     "      cd copy DRIVE TRACKS OUTDIR [--type wav|mp3|ra] [--bitrate K]   the tracks (all, or\n"
     "                                    such as 1,3,5-7) copied digitally, named from the CD "
     "album\n"
     "      (DRIVE: a CD device such as /dev/sr0, a .cue/.toc/.nrg disc image or a folder)",
     runCd},
    {"id3",
     "id3 show FILE | id3 remove FILE\n"
     "      id3 write FILE [--title T] [--artist A] [--album B] [--year Y] [--comment C] "
     "[--genre N]",
     runId3},
    {"name", "name FILE [--tags]   the name a song is shown by", runName},
    {"cddb",
     "cddb discid|query|read|submit|record ...   (the CD database)\n"
     "      cddb discid (--offsets F1,F2,... --leadout F | --album KEY)\n"
     "      cddb query [--server S] [--first | --match N] (--offsets F1,F2,... --leadout F\n"
     "                 [--save KEY] | --album KEY)   (--save: a new CD album with what was found)\n"
     "      cddb read --album KEY [--server S] [--first | --match N]\n"
     "      cddb submit --album KEY --mail-server HOST[:PORT] --from ADDRESS [--to ADDRESS]\n"
     "      cddb record --album KEY\n"
     "      (S: HOST, HOST:PORT or an http:// address; Kolvo's chosen server when absent;\n"
     "       --first or --match N takes one of several close matches, which are listed otherwise)",
     runCddb},
    {"skin",
     "skin pack DIR OUT.uib [--name NAME] | info FILE\n"
     "      skin sheet [FILE | --builtin] OUT.png [--scale 2]   (no FILE: the skin Kolvo uses)",
     runSkin},
    {"info", "info FILE [--tempo PERCENT] [--key SEMITONES]", runFileInfo},
    {"play",
     "play FILE... [--reverb MODE:DEPTH] [--3d DEPTH] [--wide DEPTH] [--fx MODE]\n"
     "       [--eq PRESET|v0,...,v19] [--sink DESCRIPTION]\n"
     "       [--tempo PERCENT] [--key SEMITONES]\n"
     "       (MIDI and karaoke files, IMS songs, modules: 10..500, -12..12)",
     runPlayFiles},
    {"video",
     "video info FILE   the engine, picture size, frame rate and length of a film\n"
     "      video frame FILE SECONDS OUT.bmp   the picture at SECONDS, captured as a BMP file",
     runVideo},
    {"karaoke", "karaoke FILE   the karaoke events of a .kar or MIDI file with their times",
     runKaraoke},
    {"vcd",
     "vcd info DRIVE   a Video CD's INFO.VCD, tracks, entries and play-sequence descriptors\n"
     "      (DRIVE: a CD device, a .cue/.nrg disc image or the folder of a copied disc)",
     runVcd},
    {"associate",
     "associate audio|midi|video [--register EXT...] [--restore EXT...]\n"
     "      associate cd register|restore   (Kolvo as the desktop's player of those files, or\n"
     "      of audio CDs, in the user's mimeapps.list; restore gives back what was there)",
     runAssociate},
    {"encode",
     "encode FILE... [--type mp3|ra] [--bitrate K] [--out DIR] [--title T] [--author A]\n"
     "       [--copyright C]\n"
     "      (16-bit PCM WAVE files to MP3 or RealAudio 1.0 beside them or in DIR, several at a\n"
     "       time; the log lines of the file encoding window, a progress line on a terminal)",
     runEncode},
    {"record",
     "record OUT [--seconds N] [--type wav|mp3|ra] [--bitrate K]\n"
     "      (what the default sound source hears, or KOLVO_CAPTURE_SOURCE's pipeline, for N\n"
     "       seconds or until Ctrl-C; WAVE in the recording format, MP3 or RealAudio 1.0)",
     runRecord},
};

void printHelp(FILE* out)
{
    std::fprintf(out, "usage: kolvo-cli [--home DIR] COMMAND [ARGS...]\n\n"
                      "Kolvo's command-line companion.\n\n"
                      "  --home DIR   use DIR for settings and albums (overrides KOLVO_HOME)\n"
                      "  --help       show this text\n"
                      "  --version    show the version of Kolvo and of the libraries it uses\n"
                      "\ncommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %s\n", c.synopsis);
}

} // namespace

int cliFail(const std::string& message)
{
    std::fprintf(stderr, "kolvo-cli: %s\n", message.c_str());
    return kCliFailed;
}

int cliUsage(const std::string& message)
{
    std::fprintf(stderr, "kolvo-cli: %s (see kolvo-cli --help)\n", message.c_str());
    return kCliUsage;
}

int main(int argc, char* argv[])
{
    // Skin sheets and the album report draw text and widgets, which take a GUI application;
    // kolvo-cli never shows a window, so those run offscreen. The other commands need no more
    // than the core.
    std::unique_ptr<QCoreApplication> app;
    const auto given = [&](const char* word) {
        return std::find(argv + 1, argv + argc, std::string(word)) != argv + argc;
    };
    if (given("skin") || given("report")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    engines::registerCdAudioDriver();
    engines::registerSequencerDriver();
    CliArgs args(argv + 1, argv + argc);
    size_t i = 0;
    while (i < args.size() && args[i].rfind("--", 0) == 0) {
        if (args[i] == "--help" || args[i] == "-h") {
            printHelp(stdout);
            return kCliOk;
        }
        if (args[i] == "--version") {
            std::fputs(engines::versionReport("kolvo-cli").c_str(), stdout);
            return kCliOk;
        }
        if (args[i] == "--home") {
            if (i + 1 >= args.size())
                return cliUsage("--home needs a folder");
            setenv("KOLVO_HOME", args[i + 1].c_str(), 1);
            i += 2;
            continue;
        }
        return cliUsage("unknown option " + args[i]);
    }
    if (i >= args.size()) {
        printHelp(stderr);
        return kCliUsage;
    }
    for (const Command& c : kCommands) {
        if (args[i] == c.name)
            return c.run(CliArgs(args.begin() + static_cast<long>(i) + 1, args.end()));
    }
    return cliUsage("unknown command " + args[i]);
}
