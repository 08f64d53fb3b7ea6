// The settings file is a text file the user may edit, restore from anywhere or find damaged.
// Whatever it holds: a file that is not readable text is moved aside and one that is stays
// where it is, and in neither case is a byte of it lost; every setting reads as a value the
// program can use; settings written out read back the same; the CD database servers listed in
// it parse into usable addresses or are refused; and window rectangles read from it are put on
// the screen or given up for the fallback.
#include "cddb/cddbprotocol.h"
#include "cddb/serverlist.h"
#include "fuzzcheck.h"
#include "fuzzhome.h"
#include "platform/paths.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/text.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

void checkServers(size_t lines)
{
    const std::vector<std::string> servers = LoadCddbServerList();
    FUZZ_CHECK(servers.size() <= lines);
    for (const std::string& s : servers) {
        const CddbServerAddress a = ParseCddbServer(s, 8880);
        if (!a.valid)
            continue;
        if (a.http) {
            FUZZ_CHECK(a.url == s);
        } else {
            FUZZ_CHECK(!a.host.empty() && a.port >= 1 && a.port <= 65535);
            FUZZ_CHECK(!isBlank(a.host.front()) && !isBlank(a.host.back()));
        }
    }
}

void checkWindows(const Profile& profile)
{
    const QRect area(0, 0, 1920, 1080);
    const QRect fallback(710, 0, 500, 400);
    for (const char* section : {"LyricViewer_0", "AlbumQuickSelect"}) {
        const QRect r = FitToWorkArea(ReadWindowRect(profile, section), area, fallback);
        FUZZ_CHECK(r == fallback || area.contains(r));
    }
    const QRect main =
        FitToWorkArea(ReadWindowRect(profile, "MainController", kPosXYX2Y2), area, fallback);
    FUZZ_CHECK(main == fallback || area.contains(main));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    fuzzhome::next("read");
    const std::string file = paths::settingsFile();
    fuzzhome::write(file, bytes);

    // As the program starts: an unreadable file goes aside whole, a readable one stays.
    const Profile::SetAside aside = Profile::setAsideUnreadableFile(file);
    const bool readable = bytes.find('\0') == std::string_view::npos && text::isValidUtf8(bytes);
    FUZZ_CHECK(aside.moved == !readable);
    if (aside.moved) {
        FUZZ_CHECK(fuzzhome::read(aside.path) == bytes);
        FUZZ_CHECK(::access(file.c_str(), F_OK) != 0);
    } else {
        FUZZ_CHECK(fuzzhome::read(file) == bytes);
        if (!aside.path.empty())
            FUZZ_CHECK(fuzzhome::read(aside.path) == bytes);
    }

    AppSettings first;
    {
        const Profile profile;
        LoadSettingsFrom(profile, first);
        checkWindows(profile);
    }
    FUZZ_CHECK(first.timer >= 0 && first.timer <= 990000);
    FUZZ_CHECK(first.recordFormat.size() == kRecordFormatSize);
    size_t lines = 1;
    for (char c : bytes)
        lines += c == '\n' || c == '\r';
    checkServers(lines);

    // Written to a fresh file and read again, every value is what was read.
    fuzzhome::next("written");
    {
        Profile profile;
        paths::ensureDir(paths::configDir() + "/" + paths::kOrganization);
        FUZZ_CHECK(SaveSettingsTo(profile, first));
    }
    AppSettings again;
    {
        const Profile profile;
        LoadSettingsFrom(profile, again);
    }
    FUZZ_CHECK(settingValues(again) == settingValues(first));
    FUZZ_CHECK(again.recordFormat == first.recordFormat);
    return 0;
}
