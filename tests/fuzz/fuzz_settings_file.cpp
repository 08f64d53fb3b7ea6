// The settings file, edited by hand, restored from anywhere or damaged: an unreadable one goes
// aside whole, a readable one stays; every setting reads as a usable value and writes back the
// same; the CD database servers in it parse or are refused; windows land on the screen.
#include "cddb/cddbprotocol.h"
#include "cddb/serverlist.h"
#include "fuzzcheck.h"
#include "fuzzhome.h"
#include "platform/paths.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/text.h"

static void checkServers(size_t lines)
{
    const std::vector<std::string> servers = LoadCddbServerList();
    FUZZ_CHECK(servers.size() <= lines);
    for (const std::string& s : servers) {
        const CddbServerAddress a = ParseCddbServer(s, 8880);
        if (a.valid && a.http)
            FUZZ_CHECK(a.url == s);
        else if (a.valid)
            FUZZ_CHECK(!a.host.empty() && a.port >= 1 && a.port <= 65535 && a.host.front() != ' ' &&
                       a.host.front() != '\t' && a.host.back() != ' ' && a.host.back() != '\t');
    }
}

static void checkWindows(const Profile& profile)
{
    const QRect area(0, 0, 1920, 1080), fallback(710, 0, 500, 400);
    const std::pair<const char*, RectValueNames> windows[] = {
        {"LyricViewer_0", kLeftTopRightBottom},
        {"AlbumQuickSelect", kLeftTopRightBottom},
        {"MainController", kPosXYX2Y2}};
    for (const auto& [section, form] : windows) {
        const QRect r = FitToWorkArea(ReadWindowRect(profile, section, form), area, fallback);
        FUZZ_CHECK(r == fallback || area.contains(r));
    }
}

FUZZ_TARGET
{
    fuzzhome::next("read");
    const std::string file = paths::settingsFile();
    fuzzhome::write(file, bytes);

    // As the program starts: an unreadable file goes aside whole, a readable one stays.
    const Profile::SetAside aside = Profile::setAsideUnreadableFile(file);
    const bool readable = bytes.find('\0') == std::string::npos && text::isValidUtf8(bytes);
    FUZZ_CHECK(aside.moved == !readable);
    if (aside.moved)
        FUZZ_CHECK(fuzzhome::read(aside.path) == bytes && ::access(file.c_str(), F_OK) != 0);
    else
        FUZZ_CHECK(fuzzhome::read(file) == bytes &&
                   (aside.path.empty() || fuzzhome::read(aside.path) == bytes));

    AppSettings first, again;
    {
        const Profile profile;
        LoadSettingsFrom(profile, first);
        checkWindows(profile);
    }
    FUZZ_CHECK(first.timer >= 0 && first.timer <= 990000);
    FUZZ_CHECK(first.recordFormat.size() == kRecordFormatSize);
    checkServers(1 + std::count_if(bytes.begin(), bytes.end(),
                                   [](char c) { return c == '\n' || c == '\r'; }));

    // Written to a fresh file and read again, every value is what was read.
    fuzzhome::next("written");
    {
        Profile profile;
        paths::ensureDir(paths::configDir() + "/" + paths::kOrganization);
        FUZZ_CHECK(SaveSettingsTo(profile, first));
    }
    LoadSettingsFrom(Profile(), again);
    FUZZ_CHECK(settingValues(again) == settingValues(first));
    FUZZ_CHECK(again.recordFormat == first.recordFormat);
}
