#include "fakecddbserver.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <memory>

FakeCddbServer::FakeCddbServer(Mode mode, FakeCddbScript script)
    : m_mode(mode)
    , m_script(std::move(script))
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QObject::destroyed, this, [this, socket] { m_pending.erase(socket); });
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
            if (m_mode == Http || m_script.greeting.empty())
                continue;
            auto* timer = new QTimer(socket);
            auto left = std::make_shared<int>(m_script.keepAliveCount);
            connect(timer, &QTimer::timeout, socket, [this, socket, timer, left] {
                if ((*left)-- > 0)
                    return void(socket->write("100 still here\r\n"));
                timer->stop();
                sendPaced(socket, m_script.greeting, false);
            });
            timer->start(m_script.keepAliveCount > 0 ? m_script.keepAliveMs : 0);
        }
    });
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

void FakeCddbServer::onData(QTcpSocket* socket)
{
    std::string& pending = m_pending[socket];
    pending += socket->readAll().toStdString();
    if (m_mode == Cddbp) {
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string command = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!command.empty() && command.back() == '\r')
                command.pop_back();
            m_requests.push_back(command);
            answer(socket, command);
        }
        return;
    }
    if (pending.find("\r\n\r\n") == std::string::npos)
        return;
    // "GET <target> HTTP/1.1"; the command is the cmd parameter with its '+' as blanks.
    const size_t sp1 = pending.find(' ');
    const std::string target = pending.substr(sp1 + 1, pending.find(' ', sp1 + 1) - sp1 - 1);
    pending.clear();
    m_requests.push_back(target);
    const size_t cmd = target.find("cmd=");
    std::string command =
        cmd == std::string::npos ? "" : target.substr(cmd + 4, target.find('&', cmd) - cmd - 4);
    std::replace(command.begin(), command.end(), '+', ' ');
    answer(socket, command);
}

void FakeCddbServer::answer(QTcpSocket* socket, const std::string& command)
{
    // "cddb query ..." -> "query"
    const size_t first = command.find(' ');
    const std::string word =
        first == std::string::npos
            ? command
            : command.substr(first + 1, command.find(' ', first + 1) - first - 1);
    if (m_silent || (!m_script.silentOn.empty() && word == m_script.silentOn)) {
        m_silent = true;
        return;
    }
    if (!m_script.closeOn.empty() && word == m_script.closeOn)
        return socket->disconnectFromHost();
    std::string reply = "500 Unrecognized command\r\n";
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
    }
    if (m_mode == Cddbp)
        return sendPaced(socket, reply, false);
    // With its length given the client needs no close to find the end of the body.
    const auto length = reply.size() - std::count(reply.begin(), reply.end(), '\x01');
    sendPaced(socket,
              "HTTP/1.1 " + std::to_string(m_script.httpStatus) +
                  " Whatever\r\nContent-Type: text/plain\r\nContent-Length: " +
                  std::to_string(length) + "\r\nConnection: close\r\n\r\n" + reply,
              true);
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
    QTimer::singleShot(40, this, [this, guarded, rest = text.substr(mark + 1), closeAfter] {
        if (guarded)
            sendPaced(guarded, rest, closeAfter);
    });
}
