// kolvo-cli info FILE [--tempo PERCENT] [--key SEMITONES]: what the player of the file's kind
// (the Digital Audio Player, or the MIDI Player for MIDI and karaoke files, IMS songs and
// modules) would show for it, from the engine it would choose: the engine, the length in
// milliseconds and the information text; with --tempo also the length at that tempo.

#include "cli/audiofile.h"
#include "cli/commands.h"
#include "cli/tempokey.h"
#include "engines/engineapi.h"
#include "engines/outputchain.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/strings.h"

#include <chrono>
#include <cstdio>
#include <thread>

int runFileInfo(const CliArgs& args)
{
    std::string path;
    CliTempoKey tempoKey;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string bad;
        if (a == "--tempo" || a == "--key") {
            if (i + 1 >= args.size())
                return cliUsage(a + " needs a value");
            parseTempoKeyOption(a, args[++i], tempoKey, bad);
            if (!bad.empty())
                return cliUsage(bad);
        } else if (a.rfind("--", 0) == 0 || a.empty() || !path.empty()) {
            return cliUsage("info takes one FILE");
        } else {
            path = a;
        }
    }
    if (path.empty())
        return cliUsage("info takes one FILE");
    Profile::SetRegistryKey(LoadString(1016));
    AppSettings settings;
    {
        const Profile profile;
        LoadSettingsFrom(profile, settings);
    }
    // The engines open files by playing them; nobody needs to hear that.
    engines::setAudioSinkOverride("fakesink sync=true");
    settings.mp3OutputType = 0;
    CliAudioFile file(settings);
    std::string why;
    if (!file.start(path, why))
        return cliFail("cannot open " + path + ": " + why);
    // Streams and RealAudio open later; wait for the length.
    int mode = file.mode();
    for (int waited = 0; mode == kModeOpening && waited < 15000; waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        mode = file.mode();
    }
    if (mode == -1 || mode == kModeOpening)
        return cliFail("cannot play " + path + " with the " + file.engine()->name);
    std::printf("engine: %s\nlength: %d ms\ninfo: %s\n", file.engine()->name, file.lengthMs(),
                file.information().c_str());
    if (std::string why; !applyTempoKey(*file.session(), tempoKey, why))
        return cliFail(why);
    // The length at another tempo is the one the player's display would count down.
    if (const int tempo = tempoKey.tempoPercent; tempo != 100)
        std::printf("tempo: %d %%\nlength at that tempo: %lld ms\n", tempo,
                    static_cast<long long>(file.lengthMs()) * 100 / tempo);
    if (tempoKey.keySemitones != 0)
        std::printf("key: %+d\n", tempoKey.keySemitones);
    file.stop();
    return kCliOk;
}
