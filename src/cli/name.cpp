// kolvo-cli name: the name a song is shown by.
#include "albums/songname.h"
#include "cli/commands.h"

#include <cstdio>

int runName(const CliArgs& args)
{
    if (args.size() == 1 || (args.size() == 2 && args[1] == "--tags")) {
        std::printf("%s\n", SongDisplayName(args[0], args.size() == 2).c_str());
        return kCliOk;
    }
    return cliUsage("name takes FILE [--tags]");
}
