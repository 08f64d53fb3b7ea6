#include "cddb/smtpconnection.h"

#include "cddb/cddbprotocol.h"

#include <QHostAddress>
#include <QTcpSocket>

SmtpConnection::SmtpConnection(QObject* parent)
    : QObject(parent)
{}

SmtpConnection::~SmtpConnection()
{
    close();
}

int SmtpConnection::start(const std::string& mailServer, const std::string& sender,
                          const std::string& recipient, const std::string& message, int port)
{
    m_protocol.setState(SmtpProtocol::Done);
    m_flag = Closed;
    const CddbServerAddress address = ParseCddbServer(mailServer, port);
    if (mailServer.empty() || !address.valid || address.http)
        return 0;
    m_protocol.begin(sender, recipient, message);
    m_idleTicks = 0;
    m_flag = Connecting;
    m_queue.clear();

    auto* socket = new QTcpSocket(this);
    m_socket = socket;
    connect(socket, &QTcpSocket::connected, this, [this] {
        m_flag = Connected;
        QHostAddress local = m_socket->localAddress();
        bool isV4 = false;
        const quint32 v4 = local.toIPv4Address(&isV4);
        if (isV4)
            local = QHostAddress(v4);
        m_protocol.setHeloHost(local.isNull() ? std::string(kCddbFallbackHost)
                                              : local.toString().toStdString());
    });
    connect(socket, &QTcpSocket::readyRead, this, &SmtpConnection::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        onReadyRead();
        close();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, &SmtpConnection::onSocketError);
    socket->connectToHost(QString::fromStdString(address.host), static_cast<quint16>(address.port));
    return 1;
}

void SmtpConnection::close()
{
    m_flag = Closed;
    m_idleTicks = -1;
    if (QTcpSocket* socket = m_socket) {
        m_socket = nullptr;
        socket->disconnect(this);
        socket->flush();
        socket->abort();
        socket->deleteLater();
    }
}

void SmtpConnection::processLine(std::string_view line)
{
    m_idleTicks = 0;
    const SmtpProtocol::Reaction reaction = m_protocol.processLine(line);
    if (!reaction.send.empty() && m_socket)
        m_socket->write(reaction.send.data(), static_cast<qint64>(reaction.send.size()));
    if (reaction.close)
        close();
}

void SmtpConnection::onReadyRead()
{
    QTcpSocket* socket = m_socket;
    if (!socket)
        return;
    m_queue.appendAvailable(*socket);
    std::string line;
    while (m_flag != Closed && m_queue.takeLine(line))
        processLine(line);
}

void SmtpConnection::onSocketError()
{
    if (!m_socket)
        return;
    if (m_flag == Connecting) {
        m_protocol.setState(SmtpProtocol::Failed);
        close();
        return;
    }
    onReadyRead();
    close();
}
