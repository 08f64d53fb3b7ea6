#include "platform/power.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

namespace {

bool dryRun(const char* what)
{
    const char* v = std::getenv("KOLVO_POWER_DRYRUN");
    if (!v || !*v || *v == '0')
        return false;
    std::fprintf(stderr, "Kolvo: %s requested (dry run)\n", what);
    return true;
}

bool callLogind(const char* method)
{
    QDBusInterface manager(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
    if (!manager.isValid())
        return false;
    // Not interactive: the sleep timer runs unattended, so no password prompt may wait.
    const QDBusMessage reply = manager.call(QString::fromLatin1(method), false);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace

namespace power {

bool PowerOff()
{
    return dryRun("power off") || callLogind("PowerOff");
}

bool Suspend()
{
    return dryRun("suspend") || callLogind("Suspend");
}

} // namespace power

namespace shell {

bool OpenSoundSettings()
{
    // The sound settings of the common desktops, then the PulseAudio mixer.
    const struct
    {
        const char* program;
        QStringList args;
    } candidates[] = {
        {"gnome-control-center", {QStringLiteral("sound")}},
        {"systemsettings", {QStringLiteral("kcm_pulseaudio")}},
        {"xfce4-pulseaudio-plugin", {}},
        {"pavucontrol-qt", {}},
        {"pavucontrol", {}},
        {"mate-volume-control", {}},
    };
    for (const auto& c : candidates) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(c.program));
        if (!path.isEmpty() && QProcess::startDetached(path, c.args))
            return true;
    }
    return false;
}

} // namespace shell
