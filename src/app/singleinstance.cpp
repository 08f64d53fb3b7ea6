#include "app/singleinstance.h"

#include "platform/instancelock.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

namespace {

QByteArray le32(std::uint32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return b;
}

std::uint32_t readLe32(const QByteArray& b, int at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= std::uint32_t(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}

} // namespace

SingleInstance::SingleInstance(const QString& title, QObject* parent)
    : QObject(parent)
{
    m_name = instanceName(title);
    m_title = title;
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

bool SingleInstance::claim()
{
    m_lock = std::make_unique<QLockFile>(instanceLockPath(m_title));
    // The lock is held for the whole life of the instance; only a dead owner makes it stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() == QLockFile::LockFailedError)
        return false;
    // The lock cannot be made at all (no writable temp folder): run, rather than refuse to.
    return true;
}

bool SingleInstance::handOver(std::uint32_t dwData, const QByteArray& block, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(m_name);
        if (!socket.waitForConnected(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            // The first instance holds the lock but may not be listening yet.
            QThread::msleep(20);
            continue;
        }
        socket.write(le32(dwData) + le32(static_cast<std::uint32_t>(block.size())) + block);
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return false;
        while (socket.bytesAvailable() < 4) {
            if (!socket.waitForReadyRead(
                    static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
                return false;
        }
        return true;
    }
    return false;
}

bool SingleInstance::listen(Handler handler)
{
    m_handler = std::move(handler);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by an instance that died would make listen fail; we hold the lock, so it
    // is not anybody's.
    QLocalServer::removeServer(m_name);
    if (!m_server->listen(m_name))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
    return true;
}

void SingleInstance::onConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A sender that never finishes its record is dropped.
        QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void SingleInstance::onReadyRead(QLocalSocket* socket)
{
    if (socket->bytesAvailable() < 8)
        return;
    const QByteArray header = socket->peek(8);
    const std::uint32_t dwData = readLe32(header, 0);
    const std::uint32_t cbData = readLe32(header, 4);
    if (cbData > kMaxBlock) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < 8 + static_cast<qint64>(cbData))
        return;
    socket->read(8);
    const QByteArray block = socket->read(cbData);
    const std::intptr_t result = m_handler ? m_handler(dwData, block) : 0;
    socket->write(le32(static_cast<std::uint32_t>(result)));
    socket->flush();
    socket->disconnectFromServer();
}
