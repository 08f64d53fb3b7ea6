#pragma once
// CddbConnection: one lookup's exchange with a CD database server. In CDDBP mode it speaks
// the line protocol over the socket of its LineConnection, in HTTP mode it sends the same
// commands as GET requests through a QNetworkAccessManager; both run on the thread that owns
// the connection. The status dialog polls state(), flag() and idleTicks() on its timer.

#include "cddb/cddbprotocol.h"
#include "cddb/lineconnection.h"

#include <QPointer>

#include <memory>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

class CddbConnection : public LineConnection
{
    Q_OBJECT
public:
    explicit CddbConnection(QObject* parent = nullptr);
    ~CddbConnection() override;

    // The user's e-mail address; its halves stand in for the hello's user and host.
    void setEmail(const std::string& email) { m_email = email; }

    // 1 when the exchange has begun, 0 when it could not (empty or malformed server). A
    // "host:port" server overrides port.
    int start(const std::string& server, const CddbDiscInfo& info, int port);
    void requestRead(const std::string& category, const std::string& discId);
    void close() override;
    void processLine(std::string_view line) override;

    int state() const { return m_protocol.state(); }
    int mode() const { return m_protocol.mode(); }
    const CddbProtocol& protocol() const { return m_protocol; }

private:
    void socketConnected() override;
    void serverUnreachable() override;
    void startHttpRequest(const std::string& url);
    void onHttpReadyRead();
    void onHttpFinished();
    void takeHttpLines(bool flushLast);
    void react(const CddbProtocol::Reaction& reaction);

    CddbProtocol m_protocol;
    std::string m_email;
    std::string m_serverUrl;

    std::unique_ptr<QNetworkAccessManager> m_network;
    QPointer<QNetworkReply> m_reply;
    bool m_readingRecord = false; // the HTTP request under way is the read, not the query
    bool m_queryFinished = false;
    qint64 m_replyBytes = 0;
    std::string m_httpPending;
};

// The local host's official name for the HTTP hello: the fallback host name when the name
// cannot be read, "" when it cannot be looked up. Looked up once per process.
std::string CddbLocalHostName();

// Whether this process may open network sockets at all.
bool CddbSocketsAvailable();
