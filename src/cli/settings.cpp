#include "platform/settings.h"
#include "cli/commands.h"
#include "platform/instancelock.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <QSettings>

#include <cstdio>

namespace {

constexpr UINT kTitleStringId = 2042;

bool splitName(const std::string& text, std::string& section, std::string& name)
{
    const size_t slash = text.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == text.size())
        return false;
    section = text.substr(0, slash);
    name = text.substr(slash + 1);
    return true;
}

} // namespace

int runSettings(const CliArgs& args)
{
    Profile::SetRegistryKey(LoadString(1016));
    AppSettings settings;
    {
        const Profile profile;
        LoadSettingsFrom(profile, settings);
    }
    const auto values = settingValues(settings);

    if (args.empty()) {
        for (const auto& [name, value] : values)
            std::printf("%s=%s\n", name.c_str(), value.c_str());
        return kCliOk;
    }
    if (args.size() != 2)
        return cliUsage("settings takes --get SECTION/NAME or --set SECTION/NAME=VALUE");

    std::string section, name;
    if (args[0] == "--get") {
        if (!splitName(args[1], section, name))
            return cliUsage("expected SECTION/NAME, got " + args[1]);
        for (const auto& [key, value] : values) {
            if (key == args[1]) {
                std::printf("%s\n", value.c_str());
                return kCliOk;
            }
        }
        // Values owned by windows (positions, server lists) are not in the table.
        const Profile profile;
        if (!profile.hasValue(section, name))
            return cliFail("no value " + args[1]);
        std::printf("%s\n", profile.GetProfileString(section, name, "").c_str());
        return kCliOk;
    }
    if (args[0] == "--set") {
        const size_t eq = args[1].find('=');
        if (eq == std::string::npos || !splitName(args[1].substr(0, eq), section, name))
            return cliUsage("expected SECTION/NAME=VALUE, got " + args[1]);
        const std::string key = args[1].substr(0, eq);
        const std::string text = args[1].substr(eq + 1);
        paths::ensureDir(paths::configDir() + "/" + paths::kOrganization);
        Profile profile;
        const SettingCheck check = CheckSettingValue(profile, section, name, text);
        switch (check.verdict) {
        case SettingCheck::UnknownName:
            return cliFail("no setting " + key + " (kolvo-cli settings lists them)");
        case SettingCheck::NotANumber:
            return cliFail(key + " is a whole number; \"" + text + "\" is not one");
        case SettingCheck::Binary:
            return cliFail(key + " is binary and cannot be set from the command line");
        case SettingCheck::UnusableDrive:
            return cliFail(key + ": \"" + text +
                           "\" is neither a CD drive, a disc image nor a folder");
        case SettingCheck::Adjusted:
            std::fprintf(stderr, "kolvo-cli: %s=%s is out of range; Kolvo reads it as %s\n",
                         key.c_str(), text.c_str(), check.value.c_str());
            break;
        case SettingCheck::Accepted:
            break;
        }
        profile.WriteProfileString(section, name, text);
        if (!profile.sync())
            return cliFail("cannot write " + paths::settingsFile());
        if (isInstanceRunning(QString::fromStdString(LoadString(kTitleStringId))))
            std::fprintf(stderr,
                         "kolvo-cli: Kolvo is running and writes its own settings when it ends, "
                         "over this change; end Kolvo first for the change to last\n");
        return kCliOk;
    }
    return cliUsage("unknown settings option " + args[0]);
}
