#include "platform/associations.h"

#include "platform/log.h"
#include "platform/mimeapps.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

namespace associations {
namespace {

constexpr UINT kRegistered = 1077;
constexpr UINT kRestored = 1078;
constexpr UINT kNothingToModify = 1079;
constexpr UINT kCdRegistered = 1043;
constexpr UINT kCdRestored = 1044;
// Our own texts for what the design left silent.
constexpr UINT kListUnreadable = 39520; // "...%s cannot be read: %s."
constexpr UINT kListMalformed = 39521;  // "...%s, line %d: %s."
constexpr UINT kListUnwritable = 39522; // "...%s cannot be written: %s."
constexpr UINT kEntryFolder = 39523;    // "...the folder %s ... cannot be made."

constexpr const char* kBackupName = "Kolvo.BAK";
// Where the backups of the list live among the values kept outside the program's key.
constexpr const char* kBackupKey = "mimeapps.list";
// A backup meaning "the type had no default line".
constexpr const char* kNoLine = "none";
// A backup of the list itself: what Kolvo made of it (the group, or the whole file).
constexpr const char* kMadeGroup = "group";
constexpr const char* kMadeFile = "file";

const std::vector<Extension> kAudio = {
    {".wav", "WAVFile", "audio/x-wav"},       {".mp1", "MPEG Audio", "audio/mpeg"},
    {".mp2", "MPEG Audio", "audio/mp2"},      {".mp3", "MPEG Audio", "audio/mpeg"},
    {".mpa", "MPEG Audio", "audio/mpeg"},     {".ra", "RealAudio", "audio/vnd.rn-realaudio"},
    {".ram", "RealAudio", "application/ram"}, {".au", "AUFile", "audio/basic"},
    {".snd", "SNDFile", "audio/basic"},       {".aif", "AIFFile", "audio/x-aiff"},
    {".m3u", "M3UFile", "audio/x-mpegurl"},   {".pls", "PLSFile", "audio/x-scpls"},
};
const std::vector<Extension> kMidi = {
    {".mid", "MIDFile", "audio/midi"},      {".rmi", "MIDFile", "audio/midi"},
    {".kar", "MIDFile", "audio/midi"},      {".ims", "IMSFile", "audio/x-ims"},
    {".mod", "MODFile", "audio/x-mod"},     {".s3m", "S3MFile", "audio/x-s3m"},
    {".stm", "STMFile", "audio/x-stm"},     {".xm", "XMFile", "audio/x-xm"},
    {".mtm", "MTMFile", "audio/x-mod"},     {".it", "ITFile", "audio/x-it"},
    {".669", "669File", "audio/x-mod"},     {".far", "FARFile", "audio/x-mod"},
    {".med", "MEDFile", "audio/x-mod"},     {".mdl", "MDLFile", "audio/x-mod"},
    {".nst", "NSTFile", "audio/x-mod"},     {".okt", "OKTFile", "audio/x-mod"},
    {".ult", "ULTFile", "audio/x-mod"},     {".wow", "WOWFile", "audio/x-mod"},
    {".m3u", "M3UFile", "audio/x-mpegurl"},
};
const std::vector<Extension> kVideo = {
    {".avi", "AVIFile", "video/x-msvideo"},   {".mov", "QuickTime", "video/quicktime"},
    {".qt", "QuickTime", "video/quicktime"},  {".mpg", "MPEG Video", "video/mpeg"},
    {".dat", "MPEG Video", "video/mpeg"},     {".rm", "RealMedia", "application/vnd.rn-realmedia"},
    {".ram", "RealMedia", "application/ram"}, {".m3u", "M3UFile", "audio/x-mpegurl"},
};

std::string format(UINT id, const std::string& a, const std::string& b = {})
{
    std::string text = LoadString(id);
    for (const std::string* arg : {&a, &b}) {
        const auto at = text.find("%s");
        if (at == std::string::npos)
            break;
        text.replace(at, 2, *arg);
    }
    return text;
}

std::string backupKey(const std::string& type)
{
    return std::string(kBackupKey) + "\\" + type;
}

std::optional<std::string> readBackup(const std::string& key)
{
    std::string value;
    if (!ReadStringValue(HKEY_CLASSES_ROOT, key, kBackupName, value, 4096))
        return std::nullopt;
    return value;
}

// The desktop entry the defaults name must be one the desktop finds: the installed one, or
// else one of the user's, written now and starting this very program.
bool ensureDesktopEntry(const char* id, const std::string& arguments, std::string& failure)
{
    if (!QStandardPaths::locate(QStandardPaths::ApplicationsLocation, QString::fromLatin1(id))
             .isEmpty())
        return true;
    const QString dir = QString::fromStdString(mimeapps::userApplicationsDir());
    if (!QDir().mkpath(dir)) {
        failure = format(kEntryFolder, dir.toStdString());
        return false;
    }
    const QString program = QCoreApplication::instance()
                                ? QCoreApplication::applicationDirPath() + QStringLiteral("/kolvo")
                                : QStringLiteral("kolvo");
    std::string types;
    if (std::string(id) == kCdDesktopId) {
        for (const char* t : kCdTypes)
            types += std::string(t) + ";";
    } else {
        std::vector<std::string> seen;
        for (int family = 0; family < 3; ++family)
            for (const Extension& e : familyExtensions(family))
                if (std::find(seen.begin(), seen.end(), e.mimeType) == seen.end()) {
                    seen.push_back(e.mimeType);
                    types += std::string(e.mimeType) + ";";
                }
    }
    const std::string text = "[Desktop Entry]\nType=Application\nName=Kolvo\nIcon=kolvo\n"
                             "Exec=\"" +
                             program.toStdString() + "\" " + arguments +
                             "\nTerminal=false\nNoDisplay=true\nMimeType=" + types + "\n";
    QFile f(dir + QLatin1Char('/') + QLatin1String(id));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size())) {
        failure = format(kEntryFolder, dir.toStdString()) + "\n" + f.errorString().toStdString();
        return false;
    }
    return true;
}

// One request on the list: loaded once, changed, written once; the backups follow the write.
class Change
{
public:
    bool begin(std::string& failure)
    {
        m_path = mimeapps::userListPath();
        std::string why;
        int line = 0;
        if (!m_list.load(m_path, why, line)) {
            failure = line > 0 ? format(kListMalformed, m_path, std::to_string(line) + ": " + why)
                               : format(kListUnreadable, m_path, why);
            return false;
        }
        m_hadGroup = m_list.hasDefaultGroup();
        return true;
    }

    // The backed-up write of the design: the line before the first registration is kept once.
    void registerType(const std::string& type, const char* desktopId)
    {
        const std::string key = backupKey(type);
        if (!readBackup(key) && !pendingBackup(key)) {
            const auto line = m_list.defaultLine(type);
            m_backups.emplace_back(key, line ? *line : std::string(kNoLine));
        }
        m_list.setDefault(type, desktopId);
    }

    void restoreType(const std::string& type)
    {
        const std::string key = backupKey(type);
        const auto backup = readBackup(key);
        if (!backup)
            return; // never registered: nothing of the user's to give back
        if (*backup == kNoLine)
            m_list.restoreLine(type, std::nullopt);
        else
            m_list.restoreLine(type, *backup);
        m_dropped.push_back(key);
    }

    bool commit(std::string& failure)
    {
        // What Kolvo made of the list goes again once nothing of Kolvo's is left in it.
        const auto made = readBackup(kBackupKey);
        bool removeFile = false;
        if (made) {
            m_list.removeDefaultGroupIfEmpty();
            removeFile = *made == kMadeFile;
        } else if (!m_hadGroup && m_list.hasDefaultGroup()) {
            m_backups.emplace_back(kBackupKey, m_list.existed() ? kMadeGroup : kMadeFile);
        }
        const bool groupGone = made && !m_list.hasDefaultGroup();
        std::string why;
        if (!m_list.save(why, removeFile)) {
            failure = format(kListUnwritable, m_path, why);
            return false;
        }
        for (const auto& [key, value] : m_backups)
            if (!WriteStringValue(HKEY_CLASSES_ROOT, key, kBackupName, value))
                KLOG_WARNING("desktop", "the backup of %s cannot be kept", key.c_str());
        for (const std::string& key : m_dropped)
            DeleteValue(HKEY_CLASSES_ROOT, key, kBackupName);
        if (groupGone)
            DeleteValue(HKEY_CLASSES_ROOT, kBackupKey, kBackupName);
        return true;
    }

private:
    bool pendingBackup(const std::string& key) const
    {
        return std::any_of(m_backups.begin(), m_backups.end(),
                           [&](const auto& b) { return b.first == key; });
    }

    std::string m_path;
    mimeapps::List m_list;
    bool m_hadGroup = false;
    std::vector<std::pair<std::string, std::string>> m_backups;
    std::vector<std::string> m_dropped;
};

const Extension* findExtension(int family, const std::string& ext)
{
    for (const Extension& e : familyExtensions(family))
        if (QString::fromStdString(ext).compare(QLatin1String(e.extension), Qt::CaseInsensitive) ==
            0)
            return &e;
    return nullptr;
}

std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& s : items) {
        if (!out.empty())
            out.append(", ");
        out.append(s);
    }
    return out;
}

} // namespace

const std::vector<Extension>& familyExtensions(int family)
{
    return family == 1 ? kMidi : family == 2 ? kVideo : kAudio;
}

int familyOfComponent(int component)
{
    return component == 4 ? 1 : component == 5 ? 2 : 0;
}

Outcome Apply(int family, const std::vector<std::string>& registerExts,
              const std::vector<std::string>& restoreExts)
{
    if (registerExts.empty() && restoreExts.empty())
        return {true, LoadString(kNothingToModify)};
    Outcome out;
    out.ok = false;
    if (!registerExts.empty() && !ensureDesktopEntry(kDesktopId, "%F", out.message))
        return out;
    Change change;
    if (!change.begin(out.message))
        return out;
    std::vector<std::string> registered, restored;
    for (const std::string& ext : registerExts)
        if (const Extension* e = findExtension(family, ext)) {
            change.registerType(e->mimeType, kDesktopId);
            registered.push_back(e->extension);
        }
    for (const std::string& ext : restoreExts)
        if (const Extension* e = findExtension(family, ext)) {
            change.restoreType(e->mimeType);
            restored.push_back(e->extension);
        }
    if (!change.commit(out.message))
        return out;
    out.ok = true;
    if (!registered.empty())
        out.message = LoadString(kRegistered) + "\n" + joined(registered);
    if (!restored.empty()) {
        if (!out.message.empty())
            out.message.append("\n");
        out.message.append(LoadString(kRestored)).append("\n").append(joined(restored));
    }
    if (out.message.empty())
        out.message = LoadString(kNothingToModify);
    return out;
}

Outcome RegisterCdPlayer()
{
    Outcome out;
    out.ok = false;
    if (!ensureDesktopEntry(kCdDesktopId, "/playcd", out.message))
        return out;
    Change change;
    if (!change.begin(out.message))
        return out;
    for (const char* type : kCdTypes)
        change.registerType(type, kCdDesktopId);
    if (!change.commit(out.message))
        return out;
    return {true, LoadString(kCdRegistered)};
}

Outcome RestoreCdPlayer()
{
    Outcome out;
    out.ok = false;
    Change change;
    if (!change.begin(out.message))
        return out;
    for (const char* type : kCdTypes)
        change.restoreType(type);
    if (!change.commit(out.message))
        return out;
    return {true, LoadString(kCdRestored)};
}

} // namespace associations
