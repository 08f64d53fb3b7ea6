#include "engines/enginesupport.h"

#include "engines/engineapi.h"
#include "platform/wnd.h"

#include <QDir>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace engines {

Notifier::Notifier(HWND window, UINT message, int cookie)
    : m_window(window)
    , m_message(message)
    , m_cookie(cookie)
{}

void Notifier::post(int event, LPARAM value) const
{
    std::lock_guard lock(m_state->mutex);
    if (!m_state->armed) {
        m_state->held.emplace_back(event, value);
        return;
    }
    if (m_window)
        Wnd::postTo(m_window, m_message, engineNotifyWParam(m_cookie, event), value);
}

void Notifier::arm() const
{
    std::lock_guard lock(m_state->mutex);
    m_state->armed = true;
    for (const auto& [event, value] : m_state->held) {
        if (m_window)
            Wnd::postTo(m_window, m_message, engineNotifyWParam(m_cookie, event), value);
    }
    m_state->held.clear();
}

bool isStreamAddress(const std::string& location)
{
    return location.rfind("http://", 0) == 0 || location.rfind("https://", 0) == 0;
}

bool isVcdAddress(const std::string& location)
{
    return location.rfind("kolvovcd:", 0) == 0;
}

bool fileReachable(const std::string& path)
{
    struct stat st
    {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    return S_ISREG(st.st_mode) && ::access(path.c_str(), R_OK) == 0;
}

std::string defaultOutputFolder()
{
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::homePath();
    return music.toStdString();
}

std::string folderFromBuffer(const char* buffer)
{
    if (!buffer)
        return {};
    return std::string(buffer, strnlen(buffer, 256));
}

void folderToBuffer(char* buffer, const std::string& folder)
{
    if (!buffer)
        return;
    copyText(buffer, 256, folder);
}

std::string baseNameOf(const std::string& location)
{
    std::string name = location;
    if (isStreamAddress(location)) {
        const size_t pathStart = location.find('/', location.find("://") + 3);
        name = pathStart == std::string::npos ? "" : location.substr(pathStart);
        const size_t query = std::min(name.find('?'), name.find('#'));
        if (query != std::string::npos)
            name.erase(query);
    }
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    const size_t slash = name.find_last_of('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    // Keep it safe as a file name.
    for (char& c : name) {
        if (c == '\\' || c == ':' || static_cast<unsigned char>(c) < 32)
            c = '_';
    }
    return name.empty() ? "stream" : name;
}

std::string outputFileName(const std::string& folder, const std::string& base,
                           const std::string& extension, bool unique)
{
    std::string dir = folder;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    std::string path = dir + "/" + base + extension;
    for (int n = 2; unique && n < 10000 && ::access(path.c_str(), F_OK) == 0; ++n)
        path = dir + "/" + base + " (" + std::to_string(n) + ")" + extension;
    return path;
}

std::int32_t copyText(char* buffer, int size, const std::string& text)
{
    if (!buffer || size <= 0)
        return 0;
    size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    // Do not cut a UTF-8 character in half.
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<std::int32_t>(n);
}

} // namespace engines
