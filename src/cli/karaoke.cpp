// kolvo-cli karaoke FILE: the karaoke events the MIDI engine sends the karaoke viewer while the
// file plays, one line each, with the song time it is due at (at the file's own tempo):
//   0.000 start "Title"
//   0.000 line 1 new page "Kolvo sings"
//   1.000 highlight 1 from 0 length 3
//   1.500 highlight 1 to 11
// The texts are shown in UTF-8 (legacy bytes decoded as for song names); positions and lengths
// count the file's own bytes, as the viewer receives them. Warnings about the file go to stderr.

#include "engines/karaoke.h"
#include "cli/commands.h"
#include "engines/smf.h"

#include <cstdio>

int runKaraoke(const CliArgs& args)
{
    if (args.size() != 1 || args[0].empty() || args[0].rfind("--", 0) == 0)
        return cliUsage("karaoke takes one FILE");
    midi::Song song;
    std::string error;
    if (!midi::readSongFile(args[0], song, error))
        return cliFail("cannot read " + args[0] + ": " + error);
    for (const std::string& w : song.warnings)
        std::fprintf(stderr, "kolvo-cli: %s: %s\n", args[0].c_str(), w.c_str());
    const midi::KaraokeScript script = midi::buildKaraoke(song);
    if (script.empty())
        return cliFail(args[0] + " has no karaoke words");
    for (const midi::KaraokeCue& cue : script.cues)
        std::printf("%.3f %s\n", cue.ms / 1000.0, midi::describeCue(cue).c_str());
    return kCliOk;
}
