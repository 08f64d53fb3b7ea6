// kolvo-cli associate: Kolvo as the desktop's player for a family's file types or for audio CDs,
// and back, as the preferences' association dialog and CD buttons do it.
//
//   associate audio|midi|video [--register EXT...] [--restore EXT...]
//   associate cd register|restore
#include "cli/commands.h"
#include "platform/associations.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <cstdio>

namespace {

constexpr UINT kRegistryKeyStringId = 1016;

int report(const associations::Outcome& outcome)
{
    if (!outcome.ok)
        return cliFail(outcome.message);
    std::printf("%s\n", outcome.message.c_str());
    return kCliOk;
}

} // namespace

int runAssociate(const CliArgs& args)
{
    Profile::SetRegistryKey(LoadString(kRegistryKeyStringId));
    if (args.empty())
        return cliUsage("associate takes audio, midi, video or cd");
    if (args[0] == "cd") {
        if (args.size() == 2 && args[1] == "register")
            return report(associations::RegisterCdPlayer());
        if (args.size() == 2 && args[1] == "restore")
            return report(associations::RestoreCdPlayer());
        return cliUsage("associate cd takes register or restore");
    }
    const int family = args[0] == "audio" ? 0 : args[0] == "midi" ? 1 : args[0] == "video" ? 2 : -1;
    if (family < 0)
        return cliUsage("associate takes audio, midi, video or cd");
    std::vector<std::string> reg, restore;
    std::vector<std::string>* into = nullptr;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--register") {
            into = &reg;
        } else if (args[i] == "--restore") {
            into = &restore;
        } else if (!into) {
            return cliUsage("name the extensions after --register or --restore");
        } else {
            bool known = false;
            for (const associations::Extension& e : associations::familyExtensions(family))
                known = known || QString::fromStdString(args[i]).compare(QLatin1String(e.extension),
                                                                         Qt::CaseInsensitive) == 0;
            if (!known)
                return cliUsage(args[i] + " is not an extension of the " + args[0] + " family");
            into->push_back(args[i]);
        }
    }
    return report(associations::Apply(family, reg, restore));
}
