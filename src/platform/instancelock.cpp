#include "platform/instancelock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>

#include <cerrno>
#include <csignal>
#include <unistd.h>

QString instanceName(const QString& title)
{
    // The title and the user name the instance; a relocated home is a separate world.
    const QByteArray key =
        title.toUtf8() + '\n' + QByteArray::number(getuid()) + '\n' + qgetenv("KOLVO_HOME");
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex();
    return QStringLiteral("kolvo-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash.left(16)));
}

QString instanceLockPath(const QString& title)
{
    return QDir::tempPath() + QLatin1Char('/') + instanceName(title) + QStringLiteral(".lock");
}

bool isInstanceRunning(const QString& title)
{
    // Taking the lock, even for a moment, could make a Kolvo starting just then believe
    // another one runs; reading who holds it cannot.
    QLockFile lock(instanceLockPath(title));
    qint64 pid = 0;
    QString host, application;
    if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0)
        return false;
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}
