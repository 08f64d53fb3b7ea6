// kolvo-cli info FILE: what the player of the file's kind (the Digital Audio Player, or the MIDI
// Player for IMS songs and modules) would show for it, from the engine it would choose: the
// engine, the length in milliseconds and the information text.

#include "cli/audiofile.h"
#include "cli/commands.h"
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
    if (args.size() != 1 || args[0].empty() || args[0].rfind("--", 0) == 0)
        return cliUsage("info takes one FILE");
    const std::string& path = args[0];
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
    file.stop();
    return kCliOk;
}
