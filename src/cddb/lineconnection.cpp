#include "cddb/lineconnection.h"

#include "cddb/cddbprotocol.h"

#include <QHostAddress>
#include <QTcpSocket>

LineConnection::LineConnection(QObject* parent)
    : QObject(parent)
{}

LineConnection::~LineConnection()
{
    // A derived connection has closed its own part already; the socket must not signal into
    // a half-destroyed object.
    closeSocket();
}

void LineConnection::close()
{
    m_flag = Closed;
    m_idleTicks = -1;
    closeSocket();
}

void LineConnection::closeSocket()
{
    if (QTcpSocket* socket = m_socket) {
        m_socket = nullptr;
        socket->disconnect(this);
        socket->flush();
        socket->abort();
        socket->deleteLater();
    }
}

void LineConnection::beginExchange()
{
    m_idleTicks = 0;
    m_flag = Connecting;
    m_queue.clear();
}

void LineConnection::connectSocket(const std::string& host, int port)
{
    auto* socket = new QTcpSocket(this);
    m_socket = socket;
    connect(socket, &QTcpSocket::connected, this, [this] {
        m_flag = Connected;
        socketConnected();
    });
    connect(socket, &QTcpSocket::readyRead, this, &LineConnection::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        onReadyRead(); // what arrived with the close still counts
        close();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, &LineConnection::onSocketError);
    socket->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
}

void LineConnection::send(std::string_view bytes)
{
    if (m_socket)
        m_socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string LineConnection::localAddressText() const
{
    if (!m_socket)
        return kCddbFallbackHost;
    QHostAddress local = m_socket->localAddress();
    bool isV4 = false;
    const quint32 v4 = local.toIPv4Address(&isV4);
    if (isV4)
        local = QHostAddress(v4);
    if (local.isNull())
        return kCddbFallbackHost;
    return local.toString().toStdString();
}

void LineConnection::onReadyRead()
{
    QTcpSocket* socket = m_socket;
    if (!socket)
        return;
    m_queue.appendAvailable(*socket);
    std::string line;
    while (m_flag != Closed && m_queue.takeLine(line))
        processLine(line);
}

void LineConnection::onSocketError()
{
    if (!m_socket)
        return;
    if (m_flag == Connecting) {
        serverUnreachable();
        close();
        return;
    }
    onReadyRead();
    close();
}
