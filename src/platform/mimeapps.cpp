#include "platform/mimeapps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mimeapps {
namespace {

std::string trimmed(std::string s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

bool isHeader(const std::string& line)
{
    const std::string t = trimmed(line);
    return t.size() >= 2 && t.front() == '[' && t.back() == ']';
}

bool isEntry(const std::string& line)
{
    const std::string t = trimmed(line);
    return !t.empty() && t.front() != '#' && !isHeader(t) && t.find('=') != std::string::npos;
}

std::string keyOf(const std::string& line)
{
    return trimmed(line.substr(0, line.find('=')));
}

bool validUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toUtf8() ==
           QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

std::string userListPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString() +
           "/mimeapps.list";
}

std::string userApplicationsDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation).toStdString();
}

bool List::load(const std::string& path, std::string& error, int& badLine)
{
    m_path = path;
    m_lines.clear();
    badLine = 0;
    const QString qpath = QString::fromStdString(path);
    const QFileInfo info(qpath);
    m_existed = info.exists() || info.isSymLink();
    if (!info.exists())
        return true;
    if (info.isDir()) {
        error = "it is a folder";
        return false;
    }
    QFile f(qpath);
    if (!f.open(QIODevice::ReadOnly)) {
        error = f.errorString().toStdString();
        return false;
    }
    const QByteArray bytes = f.readAll();
    const std::string text(bytes.constData(), static_cast<size_t>(bytes.size()));
    if (text.find('\0') != std::string::npos) {
        error = "it holds binary data";
        badLine =
            static_cast<int>(std::count(text.begin(), text.begin() + text.find('\0'), '\n')) + 1;
        return false;
    }
    size_t start = 0;
    for (;;) {
        const size_t nl = text.find('\n', start);
        m_lines.push_back(
            text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    if (text.empty())
        m_lines.clear();
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const std::string t = trimmed(m_lines[i]);
        if (!validUtf8(m_lines[i])) {
            error = "not UTF-8 text";
            badLine = static_cast<int>(i) + 1;
            return false;
        }
        if (t.empty() || t.front() == '#' || isHeader(t))
            continue;
        if (!isEntry(t) || keyOf(t).empty()) {
            std::string what(1, '"');
            what.append(t, 0, 60).append("\" is neither a group, an entry nor a comment");
            error = std::move(what);
            badLine = static_cast<int>(i) + 1;
            return false;
        }
    }
    return true;
}

std::string List::text() const
{
    std::string out;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (i)
            out += '\n';
        out += m_lines[i];
    }
    return out;
}

bool List::empty() const
{
    return text().empty();
}

bool List::save(std::string& error, bool removeWhenEmpty) const
{
    QString target = QString::fromStdString(m_path);
    const QFileInfo info(target);
    if (info.isSymLink())
        target = info.symLinkTarget();
    if (removeWhenEmpty && empty()) {
        if (QFile::exists(target) && !QFile::remove(target)) {
            error = std::strerror(EACCES);
            return false;
        }
        return true;
    }
    const QFileInfo targetInfo(target);
    // A read-only list is the user's wish: it is not replaced behind their back.
    if (targetInfo.exists() && !targetInfo.isWritable()) {
        error = "it is read-only";
        return false;
    }
    if (!QDir().mkpath(targetInfo.absolutePath())) {
        error = "its folder cannot be made";
        return false;
    }
    QSaveFile f(target);
    const std::string t = text();
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(t.data(), static_cast<qint64>(t.size())) != static_cast<qint64>(t.size()) ||
        !f.commit()) {
        error = f.errorString().toStdString();
        return false;
    }
    return true;
}

int List::groupStart() const
{
    for (size_t i = 0; i < m_lines.size(); ++i)
        if (trimmed(m_lines[i]) == kDefaultGroup)
            return static_cast<int>(i);
    return -1;
}

int List::groupEnd() const
{
    const int start = groupStart();
    if (start < 0)
        return -1;
    int end = start + 1;
    for (int i = start + 1; i < static_cast<int>(m_lines.size()); ++i) {
        if (isHeader(m_lines[i]))
            break;
        if (isEntry(m_lines[i]))
            end = i + 1;
    }
    return end;
}

bool List::hasDefaultGroup() const
{
    return groupStart() >= 0;
}

int List::find(const std::string& type) const
{
    const int start = groupStart();
    if (start < 0)
        return -1;
    for (int i = start + 1; i < static_cast<int>(m_lines.size()); ++i) {
        if (isHeader(m_lines[i]))
            break;
        if (isEntry(m_lines[i]) && keyOf(m_lines[i]) == type)
            return i;
    }
    return -1;
}

std::optional<std::string> List::defaultLine(const std::string& type) const
{
    const int i = find(type);
    if (i < 0)
        return std::nullopt;
    return m_lines[static_cast<size_t>(i)];
}

void List::insertInGroup(const std::string& line)
{
    if (groupStart() < 0) {
        // At the end, before the empty element a final newline leaves.
        const bool finalNewline = !m_lines.empty() && m_lines.back().empty();
        auto at = finalNewline ? m_lines.end() - 1 : m_lines.end();
        at = m_lines.insert(at, kDefaultGroup);
        m_lines.insert(at + 1, line);
        if (m_lines.size() == 2)
            m_lines.emplace_back(); // a new file ends with a newline
        return;
    }
    m_lines.insert(m_lines.begin() + groupEnd(), line);
}

void List::setDefault(const std::string& type, const std::string& desktopId)
{
    std::string line = type + "=" + desktopId + ";";
    // A file of CR LF lines gets one more of them.
    if (std::any_of(m_lines.begin(), m_lines.end(),
                    [](const std::string& l) { return !l.empty() && l.back() == '\r'; }))
        line += '\r';
    const int i = find(type);
    if (i >= 0)
        m_lines[static_cast<size_t>(i)] = line;
    else
        insertInGroup(line);
}

void List::restoreLine(const std::string& type, const std::optional<std::string>& line)
{
    const int i = find(type);
    if (line) {
        if (i >= 0)
            m_lines[static_cast<size_t>(i)] = *line;
        else
            insertInGroup(*line);
    } else if (i >= 0) {
        m_lines.erase(m_lines.begin() + i);
    }
}

void List::removeDefaultGroupIfEmpty()
{
    const int start = groupStart();
    if (start < 0 || groupEnd() != start + 1)
        return;
    m_lines.erase(m_lines.begin() + start);
    if (m_lines.size() == 1 && m_lines.front().empty())
        m_lines.clear();
}

} // namespace mimeapps
