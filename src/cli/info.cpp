// kolvo-cli info FILE [--tempo PERCENT] [--key SEMITONES]: what the Digital Audio Player (or,
// for its kinds, the MIDI Player) would show for a file, from the engine it would choose: the
// engine, the length in milliseconds and the information text; with --tempo also the length at
// that tempo.

#include "cli/audiofile.h"
#include "cli/commands.h"
#include "engines/engineapi.h"
#include "engines/outputchain.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/strings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

int runFileInfo(const CliArgs& args)
{
    std::string path;
    std::optional<int> tempo, key;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](int lo, int hi) -> std::optional<int> {
            if (i + 1 >= args.size())
                return std::nullopt;
            char* end = nullptr;
            const long v = std::strtol(args[++i].c_str(), &end, 10);
            if (args[i].empty() || *end || v < lo || v > hi)
                return std::nullopt;
            return static_cast<int>(v);
        };
        if (a == "--tempo") {
            if (!(tempo = value(10, 500)))
                return cliUsage("--tempo takes a percent 10..500");
        } else if (a == "--key") {
            if (!(key = value(-12, 12)))
                return cliUsage("--key takes semitones -12..12");
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
    // The length at another tempo is the one the player's display would count down.
    if (tempo && *tempo != 100) {
        if (!file.setTempoPercent(*tempo))
            return cliFail("the " + std::string(file.engine()->name) + " has no tempo control");
        std::printf("tempo: %d %%\nlength at that tempo: %lld ms\n", *tempo,
                    static_cast<long long>(file.lengthMs()) * 100 / *tempo);
    }
    if (key) {
        if (!file.setKey(*key))
            return cliFail("the " + std::string(file.engine()->name) + " cannot change the key");
        std::printf("key: %+d\n", *key);
    }
    file.stop();
    return kCliOk;
}
