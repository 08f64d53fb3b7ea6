#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace paths {
namespace {

std::string home()
{
    const char* h = std::getenv("KOLVO_HOME");
    return (h && *h) ? QDir(QString::fromUtf8(h)).absolutePath().toStdString() : std::string();
}

std::string xdg(QStandardPaths::StandardLocation location)
{
    return QStandardPaths::writableLocation(location).toStdString();
}

} // namespace

std::string configDir()
{
    const std::string h = home();
    return h.empty() ? xdg(QStandardPaths::GenericConfigLocation) : h + "/config";
}

std::string settingsFile()
{
    return configDir() + "/" + kOrganization + "/" + kApplication + ".conf";
}

std::string registryFile()
{
    return configDir() + "/" + kOrganization + "/Registry.conf";
}

std::string dataDir()
{
    const std::string h = home();
    return h.empty() ? xdg(QStandardPaths::GenericDataLocation) + "/kolvo" : h + "/data";
}

std::string tempDir()
{
    const std::string h = home();
    if (!h.empty())
        return h + "/tmp";
    return QDir::tempPath().toStdString() + "/kolvo-" + std::to_string(getuid());
}

std::vector<std::string> installedDataDirs()
{
    QStringList candidates;
    if (QCoreApplication::instance())
        candidates << QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kolvo");
    // A relocated home (KOLVO_HOME) leaves the user's own XDG data folder out, as it does for
    // the settings and albums.
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        if (home().empty() || dir != userData)
            candidates << dir + QStringLiteral("/kolvo");
    std::vector<std::string> dirs;
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (!info.isDir())
            continue;
        const std::string dir = info.canonicalFilePath().toStdString();
        if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end())
            dirs.push_back(dir);
    }
    return dirs;
}

std::string findInstalledData(const std::string& relative)
{
    for (const std::string& dir : installedDataDirs()) {
        const std::string path = dir + "/" + relative;
        if (QFileInfo::exists(QString::fromStdString(path)))
            return path;
    }
    return {};
}

std::vector<std::string> skinDirs()
{
    std::vector<std::string> dirs{dataDir() + "/uib"};
    for (const std::string& dir : installedDataDirs()) {
        const std::string uib = dir + "/uib";
        if (std::find(dirs.begin(), dirs.end(), uib) == dirs.end())
            dirs.push_back(uib);
    }
    return dirs;
}

std::string demoDir()
{
    return findInstalledData("demo");
}

bool ensureDir(const std::string& dir)
{
    return QDir().mkpath(QString::fromStdString(dir));
}

} // namespace paths
