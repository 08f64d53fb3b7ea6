#include "platform/profile.h"

#include "platform/paths.h"
#include "platform/text.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

std::string g_company = paths::kOrganization;

QString q(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QString key(std::string_view section, std::string_view name)
{
    return q(section) + QLatin1Char('/') + q(name);
}

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

const char* rootName(HKEY root)
{
    switch (root) {
    case HKEY_CLASSES_ROOT:
        return "HKEY_CLASSES_ROOT";
    case HKEY_LOCAL_MACHINE:
        return "HKEY_LOCAL_MACHINE";
    default:
        return "HKEY_CURRENT_USER";
    }
}

// Where a (root, subkey) pair lives: the settings file and a group inside it.
struct Location
{
    QString file;
    QString group;
};

Location locate(HKEY root, std::string_view subkey)
{
    const std::string appKey = Profile::applicationKey();
    std::string_view rest = subkey;
    if (root == HKEY_CURRENT_USER && startsWithNoCase(subkey, appKey) &&
        (subkey.size() == appKey.size() || subkey[appKey.size()] == '\\')) {
        rest.remove_prefix(std::min(subkey.size(), appKey.size() + 1));
        QString group = q(rest);
        group.replace(QLatin1Char('\\'), QLatin1Char('/'));
        return {QString::fromStdString(paths::settingsFile()), group};
    }
    QString group = QString::fromLatin1(rootName(root)) + QLatin1Char('/') + q(subkey);
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return {QString::fromStdString(paths::registryFile()), group};
}

QString valueKey(const Location& loc, std::string_view name)
{
    return loc.group.isEmpty() ? q(name) : loc.group + QLatin1Char('/') + q(name);
}

// A file that had lines QSettings could not parse keeps reporting FormatError, yet it is
// written all the same; only AccessError means the write failed.
bool writable(QSettings& s)
{
    s.sync();
    return s.status() != QSettings::AccessError;
}

} // namespace

int ReadBinaryValue(HKEY root, std::string_view subkey, std::string_view name, void* buffer,
                    size_t size)
{
    const Location loc = locate(root, subkey);
    QSettings s(loc.file, QSettings::IniFormat);
    const QVariant v = s.value(valueKey(loc, name));
    if (v.typeId() != QMetaType::QByteArray)
        return 0;
    const QByteArray data = v.toByteArray();
    if (static_cast<size_t>(data.size()) != size)
        return 0;
    std::memcpy(buffer, data.constData(), size);
    return 1;
}

int ReadStringValue(HKEY root, std::string_view subkey, std::string_view name, std::string& buffer,
                    size_t capacity)
{
    const Location loc = locate(root, subkey);
    QSettings s(loc.file, QSettings::IniFormat);
    const QVariant v = s.value(valueKey(loc, name));
    buffer.clear();
    if (!v.isValid() || v.typeId() == QMetaType::QByteArray)
        return 0;
    const QByteArray text = v.toString().toUtf8();
    if (text.isEmpty() || static_cast<size_t>(text.size()) > capacity)
        return 0;
    buffer.assign(text.constData(), text.size());
    return 1;
}

int WriteBinaryValue(HKEY root, std::string_view subkey, std::string_view name, const void* data,
                     size_t size)
{
    const Location loc = locate(root, subkey);
    QSettings s(loc.file, QSettings::IniFormat);
    s.setValue(valueKey(loc, name),
               QByteArray(static_cast<const char*>(data), static_cast<qsizetype>(size)));
    return writable(s) ? 1 : 0;
}

int WriteStringValue(HKEY root, std::string_view subkey, std::string_view name,
                     std::string_view text)
{
    const Location loc = locate(root, subkey);
    QSettings s(loc.file, QSettings::IniFormat);
    s.setValue(valueKey(loc, name), q(text));
    return writable(s) ? 1 : 0;
}

long DeleteValue(HKEY root, std::string_view subkey, std::string_view name)
{
    const Location loc = locate(root, subkey);
    QSettings s(loc.file, QSettings::IniFormat);
    const QString k = valueKey(loc, name);
    if (!s.contains(k))
        return ERROR_FILE_NOT_FOUND;
    s.remove(k);
    return writable(s) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

Profile::Profile()
    : m_settings(std::make_unique<QSettings>(QString::fromStdString(paths::settingsFile()),
                                             QSettings::IniFormat))
{}

Profile::~Profile() = default;

void Profile::SetRegistryKey(const std::string& company)
{
    g_company = company;
}

std::string Profile::applicationKey()
{
    return "Software\\" + g_company + "\\" + paths::kApplication;
}

int Profile::GetProfileInt(std::string_view section, std::string_view name, int defaultValue) const
{
    const QVariant v = m_settings->value(key(section, name));
    if (!v.isValid() || v.typeId() == QMetaType::QByteArray)
        return defaultValue;
    int value = 0;
    return ParseInt(v.toString().toStdString(), value) ? value : defaultValue;
}

bool Profile::ParseInt(std::string_view textIn, int& out)
{
    bool ok = false;
    const QString text =
        QString::fromUtf8(textIn.data(), static_cast<qsizetype>(textIn.size())).trimmed();
    // Stored as a 32-bit value: colours such as 0xFFFFFF and negative numbers both survive.
    // Numbers are decimal, leading zeros and all (a timer of 013000 is not octal); only a
    // value that says it is hexadecimal is read as one.
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? text.mid(2) : text;
    qlonglong value = 0;
    if (!hex || (!digits.startsWith(QLatin1Char('-')) && !digits.startsWith(QLatin1Char('+'))))
        value = digits.toLongLong(&ok, hex ? 16 : 10);
    if (!ok || value < INT32_MIN || value > UINT32_MAX)
        return false;
    out = static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
    return true;
}

std::string Profile::GetProfileString(std::string_view section, std::string_view name,
                                      std::string_view defaultValue) const
{
    const QVariant v = m_settings->value(key(section, name));
    if (!v.isValid() || v.typeId() == QMetaType::QByteArray || v.typeId() == QMetaType::QStringList)
        return std::string(defaultValue);
    return v.toString().toStdString();
}

bool Profile::hasValue(std::string_view section, std::string_view name) const
{
    return m_settings->contains(key(section, name));
}

bool Profile::WriteProfileInt(std::string_view section, std::string_view name, int value)
{
    m_settings->setValue(key(section, name), value);
    return true;
}

bool Profile::WriteProfileString(std::string_view section, std::string_view name,
                                 std::string_view value)
{
    m_settings->setValue(key(section, name), q(value));
    return true;
}

bool Profile::sync()
{
    return writable(*m_settings);
}

Profile::SetAside Profile::setAsideUnreadableFile(const std::string& file)
{
    const QString path = QString::fromStdString(file);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {};
    const std::string stamp =
        file + ".broken-" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    std::string aside = stamp;
    for (int n = 2; QFileInfo::exists(QString::fromStdString(aside)); ++n)
        aside = stamp + "-" + std::to_string(n);

    bool unreadable = !info.isFile() || !info.isReadable();
    if (!unreadable) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            unreadable = true;
        } else {
            const QByteArray content = f.readAll();
            unreadable = content.contains('\0') ||
                         !text::isValidUtf8(std::string_view(content.constData(), content.size()));
        }
    }
    if (unreadable) {
        if (std::rename(file.c_str(), aside.c_str()) != 0)
            return {};
        return {aside, true};
    }
    QSettings probe(path, QSettings::IniFormat);
    probe.allKeys();
    if (probe.status() != QSettings::FormatError)
        return {};
    if (!QFile::copy(path, QString::fromStdString(aside)))
        return {};
    return {aside, false};
}
