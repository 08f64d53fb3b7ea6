#include "fakecddbserver.h"

#include <QPointer>

#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int kPauseMs = 40;

std::string commandWord(const std::string& command)
{
    // "cddb query ..." -> "query"; an HTTP "cmd=cddb+read+..." is turned into the same form
    // before it gets here.
    const size_t first = command.find(' ');
    if (first == std::string::npos)
        return command;
    const size_t second = command.find(' ', first + 1);
    return command.substr(first + 1,
                          second == std::string::npos ? std::string::npos : second - first - 1);
}

std::string replacePlus(std::string s)
{
    for (char& c : s) {
        if (c == '+')
            c = ' ';
    }
    return s;
}

} // namespace

FakeCddbServer::FakeCddbServer(Mode mode, FakeCddbScript script)
    : m_mode(mode)
    , m_script(std::move(script))
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &FakeCddbServer::onNewConnection);
}

FakeCddbServer::~FakeCddbServer()
{
    // The sockets go with the listening server; they must not call back into this half-gone
    // object.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>())
        socket->disconnect(this);
}

std::string FakeCddbServer::address() const
{
    const std::string hostPort = "127.0.0.1:" + std::to_string(m_server.serverPort());
    return m_mode == Http ? "http://" + hostPort + "/~cddb/cddb.cgi" : hostPort;
}

std::string FakeCddbServer::readReply(const std::string& category, const std::string& discId,
                                      const std::vector<std::string>& recordLines)
{
    std::string reply = "210 " + category + " " + discId + " CD database entry follows\r\n";
    for (const std::string& line : recordLines)
        reply += line + "\r\n";
    return reply + ".\r\n";
}

void FakeCddbServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_pending.erase(socket); });
        if (m_mode == Http) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onHttpData(socket); });
            continue;
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onCddbpData(socket); });
        QPointer<QTcpSocket> guarded(socket);
        if (m_script.keepAliveCount > 0) {
            auto* timer = new QTimer(socket);
            auto sent = std::make_shared<int>(0);
            connect(timer, &QTimer::timeout, socket, [this, guarded, timer, sent] {
                if (!guarded)
                    return;
                if ((*sent)++ < m_script.keepAliveCount) {
                    guarded->write("100 still here\r\n");
                    return;
                }
                timer->stop();
                sendPaced(guarded, m_script.greeting, false);
            });
            timer->start(m_script.keepAliveMs);
        } else if (!m_script.greeting.empty()) {
            sendPaced(socket, m_script.greeting, false);
        }
    }
}

void FakeCddbServer::onCddbpData(QTcpSocket* socket)
{
    std::string& pending = m_pending[socket];
    const QByteArray data = socket->readAll();
    pending.append(data.constData(), static_cast<size_t>(data.size()));
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        std::string command = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!command.empty() && command.back() == '\r')
            command.pop_back();
        m_requests.push_back(command);
        answer(socket, command);
    }
}

void FakeCddbServer::onHttpData(QTcpSocket* socket)
{
    std::string& pending = m_pending[socket];
    const QByteArray data = socket->readAll();
    pending.append(data.constData(), static_cast<size_t>(data.size()));
    if (pending.find("\r\n\r\n") == std::string::npos)
        return;
    // "GET <target> HTTP/1.1"
    const size_t sp1 = pending.find(' ');
    const size_t sp2 = pending.find(' ', sp1 + 1);
    const std::string target = pending.substr(sp1 + 1, sp2 - sp1 - 1);
    pending.clear();
    m_requests.push_back(target);
    const size_t cmd = target.find("cmd=");
    const size_t amp = target.find('&', cmd);
    const std::string command =
        cmd == std::string::npos ? "" : replacePlus(target.substr(cmd + 4, amp - cmd - 4));
    answer(socket, command);
}

void FakeCddbServer::answer(QTcpSocket* socket, const std::string& command)
{
    if (m_silent)
        return;
    const std::string word = commandWord(command);
    if (!m_script.silentOn.empty() && word == m_script.silentOn) {
        m_silent = true;
        return;
    }
    if (!m_script.closeOn.empty() && word == m_script.closeOn) {
        socket->disconnectFromHost();
        return;
    }
    std::string reply;
    if (word == "hello") {
        reply = m_script.helloReply;
    } else if (word == "query") {
        reply = m_script.queryReply;
    } else if (word == "read") {
        // "cddb read <category> <discid>"
        const std::string key = command.substr(command.find("read ") + 5);
        const auto it = m_script.readReplies.find(key);
        reply =
            it == m_script.readReplies.end() ? "401 " + key + " No such CD entry\r\n" : it->second;
    } else {
        reply = "500 Unrecognized command\r\n";
    }
    if (m_mode == Http) {
        const std::string status = std::to_string(m_script.httpStatus);
        // With its length given the client needs no close to find the end of the body.
        std::string length = reply;
        length.erase(std::remove(length.begin(), length.end(), '\x01'), length.end());
        sendPaced(socket,
                  "HTTP/1.1 " + status + " Whatever\r\nContent-Type: text/plain\r\n" +
                      "Content-Length: " + std::to_string(length.size()) +
                      "\r\nConnection: close\r\n\r\n" + reply,
                  true);
        return;
    }
    sendPaced(socket, reply, false);
}

void FakeCddbServer::sendPaced(QTcpSocket* socket, const std::string& text, bool closeAfter)
{
    const size_t mark = text.find('\x01');
    socket->write(text.data(), static_cast<qint64>(std::min(mark, text.size())));
    socket->flush();
    if (mark == std::string::npos) {
        if (closeAfter)
            socket->disconnectFromHost();
        return;
    }
    QPointer<QTcpSocket> guarded(socket);
    const std::string rest = text.substr(mark + 1);
    QTimer::singleShot(kPauseMs, this, [this, guarded, rest, closeAfter] {
        if (guarded)
            sendPaced(guarded, rest, closeAfter);
    });
}
