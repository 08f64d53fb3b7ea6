#pragma once
// The state of the desktop portal's global shortcuts for GlobalHotKeys (private to the
// hot-key module): the session, and the combinations wanted and bound.

#include "platform/hotkeys.h"

#include <QDBusConnection>
#include <QString>

#include <cstdint>
#include <map>

struct GlobalHotKeys::Portal
{
    QDBusConnection bus{QString()};
    QString session; // the session's object path, empty until the portal made one
    bool creating = false;
    bool bindScheduled = false;
    int requests = 0;
    std::map<int, std::uint32_t> wanted; // id -> entry
    std::map<int, std::uint32_t> asked;  // what the last bind offered
};
