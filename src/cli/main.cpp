#include "cli/commands.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Command
{
    const char* name;
    const char* synopsis;
    int (*run)(const CliArgs&);
};

const Command kCommands[] = {
    {"settings", "settings [--get SECTION/NAME] [--set SECTION/NAME=VALUE]", runSettings},
    {"info", "info FILE", runInfo},
    {"play",
     "play FILE... [--reverb MODE:DEPTH] [--3d DEPTH] [--wide DEPTH] [--fx MODE]\n"
     "       [--eq PRESET|v0,...,v19] [--sink DESCRIPTION]",
     runPlay},
};

void printHelp(FILE* out)
{
    std::fprintf(out, "usage: kolvo-cli [--home DIR] COMMAND [ARGS...]\n\n"
                      "Kolvo's command-line companion.\n\n"
                      "  --home DIR   use DIR for settings and albums (overrides KOLVO_HOME)\n"
                      "  --help       show this text\n\ncommands:\n");
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
    QCoreApplication app(argc, argv);
    CliArgs args(argv + 1, argv + argc);
    size_t i = 0;
    while (i < args.size() && args[i].rfind("--", 0) == 0) {
        if (args[i] == "--help" || args[i] == "-h") {
            printHelp(stdout);
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
