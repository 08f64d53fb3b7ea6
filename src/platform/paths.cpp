#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

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

std::vector<std::string> skinDirs()
{
    std::vector<std::string> dirs{dataDir() + "/uib"};
    if (QCoreApplication::instance()) {
        // bin/kolvo -> share/kolvo/uib, both when installed and in the build tree.
        const QString app = QCoreApplication::applicationDirPath();
        dirs.push_back(QDir(app + "/../share/kolvo/uib").absolutePath().toStdString());
    }
    return dirs;
}

std::string demoDir()
{
    if (!QCoreApplication::instance())
        return {};
    const QString dir =
        QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kolvo/demo"))
            .absolutePath();
    return QDir(dir).exists() ? dir.toStdString() : std::string();
}

bool ensureDir(const std::string& dir)
{
    return QDir().mkpath(QString::fromStdString(dir));
}

} // namespace paths
