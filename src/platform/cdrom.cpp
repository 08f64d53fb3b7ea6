#include "platform/cdrom.h"

#include <QDir>
#include <QFileInfo>

#include <cdio/cdio.h>
#include <cdio/iso9660.h>
#include <cdio/logging.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace cdrom {
namespace {

struct CdioCloser
{
    void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
using CdioPtr = std::unique_ptr<CdIo_t, CdioCloser>;

void quietLibcdio()
{
    // libcdio reports every failed probe on stderr; a missing disc is an ordinary state here.
    static std::once_flag once;
    std::call_once(once, [] {
        cdio_log_set_handler([](cdio_log_level_t level, const char* message) {
            if (level >= CDIO_LOG_ERROR && std::getenv("KOLVO_CDIO_DEBUG"))
                std::fprintf(stderr, "libcdio: %s\n", message);
        });
    });
}

bool isImageName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("cue") || suffix == QLatin1String("toc") ||
           suffix == QLatin1String("nrg") || suffix == QLatin1String("bin");
}

CdioPtr openDisc(const std::string& drive)
{
    quietLibcdio();
    return CdioPtr(cdio_open(drive.c_str(), DRIVER_UNKNOWN));
}

bool isFolder(const std::string& drive)
{
    return QFileInfo(QString::fromStdString(drive)).isDir();
}

// Finds a path case-insensitively below a folder, the way a disc's ISO names are matched.
bool folderHasFile(const QString& root, const QStringList& parts)
{
    QDir dir(root);
    for (int i = 0; i < parts.size(); ++i) {
        const bool last = i == parts.size() - 1;
        const QStringList entries =
            dir.entryList(last ? QDir::Files : QDir::Dirs | QDir::NoDotAndDotDot);
        auto it = std::find_if(entries.begin(), entries.end(), [&](const QString& e) {
            return e.compare(parts[i], Qt::CaseInsensitive) == 0;
        });
        if (it == entries.end())
            return false;
        if (last)
            return true;
        dir.cd(*it);
    }
    return false;
}

} // namespace

std::string FindFirstCdDrive()
{
    quietLibcdio();
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    std::string first;
    if (devices && devices[0])
        first = devices[0];
    cdio_free_device_list(devices);
    return first;
}

bool IsUsableDrive(const std::string& drive)
{
    if (drive.empty())
        return false;
    const QFileInfo info(QString::fromStdString(drive));
    if (info.isDir())
        return true;
    if (!info.exists())
        return false;
    if (info.isFile())
        return isImageName(info.filePath());
    quietLibcdio();
    return cdio_is_device(drive.c_str(), DRIVER_DEVICE);
}

bool IsDiscReadable(const std::string& drive)
{
    if (drive.empty())
        return false;
    if (isFolder(drive))
        return true;
    if (!QFileInfo::exists(QString::fromStdString(drive)))
        return false;
    CdioPtr cd = openDisc(drive);
    if (!cd)
        return false;
    const track_t tracks = cdio_get_num_tracks(cd.get());
    return tracks != CDIO_INVALID_TRACK && tracks > 0;
}

bool IsVideoCd(const std::string& drive)
{
    if (drive.empty())
        return false;
    if (isFolder(drive))
        return folderHasFile(QString::fromStdString(drive),
                             {QStringLiteral("VCD"), QStringLiteral("INFO.VCD")});
    if (!IsDiscReadable(drive))
        return false;
    CdioPtr cd = openDisc(drive);
    if (!cd)
        return false;
    // Video CD file systems sit in Mode 2 sectors that libcdio reads for us. Names are
    // recorded with a version suffix; the translating lookup drops it and lower-cases them.
    iso9660_stat_t* st = iso9660_fs_stat(cd.get(), "/VCD/INFO.VCD;1");
    if (!st)
        st = iso9660_fs_stat_translate(cd.get(), "/vcd/info.vcd");
    const bool found = st != nullptr;
    iso9660_stat_free(st);
    return found;
}

} // namespace cdrom
