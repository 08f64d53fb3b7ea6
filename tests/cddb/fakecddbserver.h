#pragma once
// A CD database server on loopback for the tests, speaking either the line protocol or the
// HTTP form. What it answers is scripted; what it was asked is recorded.

#include <QTcpServer>

#include <map>
#include <string>
#include <vector>

class QTcpSocket;

struct FakeCddbScript
{
    // A '\x01' in any reply makes the server flush what comes before it and pause a little
    // before the rest, so the client receives the reply in separate reads.
    std::string greeting = "201 fake CDDBP server v1 ready\r\n"; // "" for a silent server
    std::string helloReply = "200 Hello and welcome\r\n";
    std::string queryReply;
    std::map<std::string, std::string> readReplies; // "category discid" -> reply; else 401
    // Lines sent every keepAliveMs before the greeting, keepAliveCount of them.
    int keepAliveMs = 0;
    int keepAliveCount = 0;
    std::string closeOn;  // the command word ("hello", "query", "read") answered by a close
    std::string silentOn; // the command word from which on the server says nothing at all
    int httpStatus = 200;
};

class FakeCddbServer : public QObject
{
    Q_OBJECT
public:
    enum Mode { Cddbp, Http };

    FakeCddbServer(Mode mode, FakeCddbScript script);
    ~FakeCddbServer() override;

    // "127.0.0.1:port" or "http://127.0.0.1:port/~cddb/cddb.cgi".
    std::string address() const;
    // Line-protocol commands as received, or HTTP request targets (path and query).
    const std::vector<std::string>& requests() const { return m_requests; }

    // The reply to a read: the record's lines between the 210 line and the ".".
    static std::string readReply(const std::string& category, const std::string& discId,
                                 const std::vector<std::string>& recordLines);

private:
    void onData(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const std::string& command);
    void sendPaced(QTcpSocket* socket, const std::string& text, bool closeAfter);

    Mode m_mode;
    FakeCddbScript m_script;
    QTcpServer m_server;
    std::vector<std::string> m_requests;
    std::map<QTcpSocket*, std::string> m_pending;
    bool m_silent = false;
};
