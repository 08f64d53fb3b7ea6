#include "cddb/cddbconnection.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The proxies the desktop is configured with (http_proxy and friends), for this manager only.
class SystemProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        return systemProxyForQuery(query);
    }
};

} // namespace

std::string CddbLocalHostName()
{
    static std::once_flag once;
    static std::string name;
    std::call_once(once, [] {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
            name = kCddbFallbackHost;
            return;
        }
        addrinfo hints{};
        hints.ai_flags = AI_CANONNAME;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        if (getaddrinfo(host, nullptr, &hints, &result) == 0 && result) {
            if (result->ai_canonname)
                name = result->ai_canonname;
            freeaddrinfo(result);
        }
    });
    return name;
}

bool CddbSocketsAvailable()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

CddbConnection::CddbConnection(QObject* parent)
    : LineConnection(parent)
{}

CddbConnection::~CddbConnection()
{
    close();
}

int CddbConnection::start(const std::string& server, const CddbDiscInfo& info, int port)
{
    m_protocol.setState(CddbProtocol::Idle);
    setFlag(Closed);
    const CddbServerAddress address = ParseCddbServer(server, port);
    if (server.empty() || !address.valid)
        return 0;
    beginExchange();

    if (!address.http) {
        m_protocol.begin(CddbProtocol::Cddbp, info, {});
        connectSocket(address.host, address.port);
        return 1;
    }

    const std::string localHost = m_email.find('@') == std::string::npos
                                      ? CddbLocalHostName()
                                      : std::string(kCddbFallbackHost);
    m_protocol.begin(CddbProtocol::Http, info, CddbHelloFor(m_email, localHost));
    setFlag(Connected);
    m_serverUrl = address.url;
    m_network = std::make_unique<QNetworkAccessManager>();
    m_network->setProxyFactory(new SystemProxyFactory);
    m_readingRecord = false;
    m_queryFinished = false;
    startHttpRequest(CddbHttpQueryUrl(m_serverUrl, info, m_protocol.hello()));
    return 1;
}

void CddbConnection::requestRead(const std::string& category, const std::string& discId)
{
    react(m_protocol.requestRead(category, discId));
    if (m_protocol.mode() == CddbProtocol::Http && flag() != Closed && m_queryFinished &&
        !m_readingRecord) {
        m_readingRecord = true;
        startHttpRequest(CddbHttpReadUrl(m_serverUrl, m_protocol.category(),
                                         m_protocol.discIdText(), m_protocol.hello()));
    }
}

void CddbConnection::close()
{
    LineConnection::close();
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (m_network)
        m_network.release()->deleteLater();
}

void CddbConnection::processLine(std::string_view line)
{
    setIdleTicks(0);
    react(m_protocol.processLine(line));
}

void CddbConnection::react(const CddbProtocol::Reaction& reaction)
{
    if (!reaction.send.empty())
        send(reaction.send);
    if (reaction.close)
        close();
}

void CddbConnection::socketConnected()
{
    m_protocol.setHello(CddbHelloFor(m_email, localAddressText()));
}

void CddbConnection::serverUnreachable()
{
    m_protocol.setState(CddbProtocol::Failed);
}

void CddbConnection::startHttpRequest(const std::string& url)
{
    QNetworkRequest request(QUrl::fromEncoded(QByteArray::fromStdString(url)));
    m_replyBytes = 0;
    m_httpPending.clear();
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, &CddbConnection::onHttpReadyRead);
    connect(reply, &QNetworkReply::finished, this, &CddbConnection::onHttpFinished);
}

void CddbConnection::onHttpReadyRead()
{
    if (!m_reply)
        return;
    const QByteArray data = m_reply->readAll();
    m_replyBytes += data.size();
    m_httpPending.append(data.constData(), static_cast<size_t>(data.size()));
    takeHttpLines(false);
}

void CddbConnection::takeHttpLines(bool flushLast)
{
    // Lines end in LF, with or without a CR before it; the last one may have no end at all.
    size_t start = 0;
    while (flag() != Closed) {
        size_t end = m_httpPending.find('\n', start);
        const bool complete = end != std::string::npos;
        if (!complete) {
            if (!flushLast || start >= m_httpPending.size())
                break;
            end = m_httpPending.size();
        }
        std::string_view line(m_httpPending.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::string taken(line.substr(0, LineQueue::kMaxLine));
        start = complete ? end + 1 : end;
        processLine(taken);
    }
    m_httpPending.erase(0, std::min(start, m_httpPending.size()));
}

void CddbConnection::onHttpFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply || flag() == Closed)
        return;
    onHttpReadyRead();
    takeHttpLines(true);
    if (flag() == Closed)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool notOpened =
        status >= 400 || (reply->error() != QNetworkReply::NoError && m_replyBytes == 0);
    m_reply = nullptr;
    reply->deleteLater();

    const int state = m_protocol.state();
    if (!m_readingRecord) {
        m_queryFinished = true;
        if (state == CddbProtocol::ReadSent && !notOpened) {
            m_readingRecord = true;
            startHttpRequest(CddbHttpReadUrl(m_serverUrl, m_protocol.category(),
                                             m_protocol.discIdText(), m_protocol.hello()));
            return;
        }
        if (state == CddbProtocol::ChoiceWaiting)
            return; // the read follows the user's choice
        // A reply that ended short of its end (a match list without its "." line) leaves the
        // connection open, as a server that stops talking does: the lookup runs into the
        // time-out rather than ending at once.
        if (!notOpened)
            return;
    }
    if (notOpened)
        m_protocol.setState(CddbProtocol::Failed);
    close();
}
