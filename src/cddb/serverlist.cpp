#include "cddb/serverlist.h"

#include "platform/paths.h"
#include "platform/profile.h"

#include <QSettings>

#include <string>

namespace {

constexpr const char* kRecent = "Recent";

void ensureConfigFolder()
{
    paths::ensureDir(paths::configDir() + "/" + paths::kOrganization);
}

} // namespace

const std::vector<std::string>& DefaultCddbServers()
{
    // gnudb answers both forms today; the freedb mirrors that follow are kept as the classic
    // list had them, for anyone who runs or reaches such a mirror.
    static const std::vector<std::string> kServers = {
        "gnudb.gnudb.org:8880",
        "freedb.freedb.org:8880",
        "us.freedb.org:8880",
        "ca.freedb.org:8880",
        "de.freedb.org:8880",
        "uk.freedb.org:8880",
        "at.freedb.org:8880",
        "nl.freedb.org:8880",
        "se.freedb.org:8880",
        "fr.freedb.org:8880",
        "es.freedb.org:8880",
        "it.freedb.org:8880",
        "au.freedb.org:8880",
        "jp.freedb.org:8880",
        "http://gnudb.gnudb.org/~cddb/cddb.cgi",
        "http://freedb.dbpoweramp.com/~cddb/cddb.cgi",
        "http://freedb.freedb.org/~cddb/cddb.cgi",
        "http://us.freedb.org/~cddb/cddb.cgi",
        "http://ca.freedb.org/~cddb/cddb.cgi",
        "http://de.freedb.org/~cddb/cddb.cgi",
        "http://uk.freedb.org/~cddb/cddb.cgi",
        "http://at.freedb.org/~cddb/cddb.cgi",
        "http://nl.freedb.org/~cddb/cddb.cgi",
        "http://se.freedb.org/~cddb/cddb.cgi",
        "http://freedb.musicbrainz.org/cgi-bin/cddb.cgi",
    };
    return kServers;
}

std::vector<std::string> LoadCddbServerList()
{
    const Profile profile;
    std::vector<std::string> servers;
    for (int i = 1;; ++i) {
        std::string entry = profile.GetProfileString(kCddbServerSection, std::to_string(i), "");
        if (entry.empty())
            break;
        servers.push_back(std::move(entry));
    }
    return servers;
}

void SaveCddbServerList(const std::vector<std::string>& servers, const std::string& current)
{
    ensureConfigFolder();
    {
        // The whole key goes first, so no entry of a longer list is left behind.
        QSettings settings(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
        settings.remove(QString::fromLatin1(kCddbServerSection));
        settings.sync();
    }
    Profile profile;
    for (size_t i = 0; i < servers.size(); ++i)
        profile.WriteProfileString(kCddbServerSection, std::to_string(i + 1), servers[i]);
    profile.WriteProfileString(kCddbServerSection, kRecent, current);
    profile.sync();
}

std::string CurrentCddbServer()
{
    std::string current;
    {
        const Profile profile;
        current = profile.GetProfileString(kCddbServerSection, kRecent, "");
    }
    if (current.empty()) {
        current = DefaultCddbServers().front();
        SetCurrentCddbServer(current);
    }
    return current;
}

void SetCurrentCddbServer(const std::string& server)
{
    ensureConfigFolder();
    Profile profile;
    profile.WriteProfileString(kCddbServerSection, kRecent, server);
    profile.sync();
}
