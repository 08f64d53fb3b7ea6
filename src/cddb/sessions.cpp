#include "cddb/sessions.h"

#include "cddb/cddbtext.h"

#include <QPointer>
#include <QTimerEvent>

namespace {

int g_tickInterval = 1000;
// One choice among inexact matches at a time: the timer ticks on under the choice.
bool g_choiceOpen = false;

constexpr int kCddbPort = 888;
constexpr int kSmtpPort = 25;

} // namespace

int CddbTickInterval()
{
    return g_tickInterval;
}

void SetCddbTickInterval(int milliseconds)
{
    g_tickInterval = milliseconds > 0 ? milliseconds : 1000;
}

UINT CddbQueryStatusText(int state)
{
    switch (state) {
    case CddbProtocol::Connecting:
        return cddbtext::kConnecting;
    case CddbProtocol::HelloSent:
        return cddbtext::kSendingHello;
    case CddbProtocol::QuerySent:
    case CddbProtocol::ReceivingMatches:
    case CddbProtocol::ChoiceWaiting:
        return cddbtext::kQuerying;
    case CddbProtocol::ReadSent:
    case CddbProtocol::ReceivingRecord:
        return cddbtext::kReading;
    default:
        return 0;
    }
}

UINT SmtpSubmitStatusText(int state)
{
    switch (state) {
    case SmtpProtocol::Connecting:
        return cddbtext::kConnecting;
    case SmtpProtocol::HeloSent:
        return cddbtext::kSendingHello;
    case SmtpProtocol::MailFromSent:
    case SmtpProtocol::RcptToSent:
    case SmtpProtocol::DataSent:
        return cddbtext::kSendingRecord;
    default:
        return 0;
    }
}

CddbTickedSession::CddbTickedSession(QObject* parent)
    : QObject(parent)
{}

void CddbTickedSession::begin()
{
    m_ended = false;
    m_shownState = -1;
    emit statusChanged(cddbtext::kInitializing);
    m_timer.start(CddbTickInterval(), this);
}

void CddbTickedSession::cancel()
{
    if (!m_ended)
        end(false, 0);
}

void CddbTickedSession::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        tick();
}

void CddbTickedSession::stop()
{
    m_timer.stop();
    dropConnection();
}

void CddbTickedSession::end(bool ok, UINT messageId)
{
    stop();
    m_ended = true;
    emit finished(ok, messageId);
}

bool CddbTickedSession::lineGaveOut(LineConnection& c)
{
    if (c.flag() == LineConnection::Closed) {
        end(false, cddbtext::kDisconnected);
        return true;
    }
    if (c.idleTicks() >= 0) {
        c.setIdleTicks(c.idleTicks() + 1);
        if (c.idleTicks() > kCddbIdleTickLimit) {
            end(false, cddbtext::kTimedOut);
            return true;
        }
    }
    return false;
}

void CddbTickedSession::showStatus(int state, UINT text)
{
    if (state == m_shownState || text == 0)
        return;
    m_shownState = state;
    emit statusChanged(text);
}

CddbQuerySession::CddbQuerySession(std::string server, const CddbDiscInfo& info, QObject* parent)
    : CddbTickedSession(parent)
    , m_server(std::move(server))
    , m_info(info)
{}

CddbQuerySession::~CddbQuerySession()
{
    stop();
}

void CddbQuerySession::tick()
{
    if (!m_connection) {
        m_connection = std::make_unique<CddbConnection>();
        m_connection->setEmail(m_email);
        if (!m_connection->start(m_server, m_info, kCddbPort)) {
            end(false, cddbtext::kConnectionFailed);
            return;
        }
        showStatus(CddbProtocol::Connecting, CddbQueryStatusText(CddbProtocol::Connecting));
        return;
    }
    CddbConnection& c = *m_connection;
    switch (c.state()) {
    case CddbProtocol::Failed:
        end(false, cddbtext::kServerFailed);
        return;
    case CddbProtocol::ChoiceWaiting:
        showStatus(c.state(), CddbQueryStatusText(c.state()));
        choose();
        return;
    case CddbProtocol::NoMatch:
        end(false, cddbtext::kNoMatch);
        return;
    case CddbProtocol::Idle:
        m_record = ParseXmcdRecord(c.protocol().receivedLines(), c.protocol().category());
        end(true, 0);
        return;
    default:
        if (!lineGaveOut(c))
            showStatus(c.state(), CddbQueryStatusText(c.state()));
    }
}

void CddbQuerySession::choose()
{
    if (g_choiceOpen)
        return;
    const std::vector<std::string> lines = m_connection->protocol().receivedLines();
    g_choiceOpen = true;
    QPointer<CddbQuerySession> self(this);
    const int index = m_chooser ? m_chooser(lines) : -1;
    g_choiceOpen = false;
    if (!self || ended() || !m_connection)
        return;
    if (index >= 0 && static_cast<size_t>(index) < lines.size()) {
        const CddbMatch match = SplitMatchLine(lines[static_cast<size_t>(index)]);
        if (!match.category.empty() && !match.discId.empty()) {
            m_connection->requestRead(match.category, match.discId);
            return;
        }
    }
    end(false, 0);
}

SmtpSubmitSession::SmtpSubmitSession(std::string mailServer, std::string sender,
                                     std::string recipient, std::string mail, QObject* parent)
    : CddbTickedSession(parent)
    , m_mailServer(std::move(mailServer))
    , m_sender(std::move(sender))
    , m_recipient(std::move(recipient))
    , m_mail(std::move(mail))
{}

SmtpSubmitSession::~SmtpSubmitSession()
{
    stop();
}

void SmtpSubmitSession::tick()
{
    if (!m_connection) {
        m_connection = std::make_unique<SmtpConnection>();
        if (!m_connection->start(m_mailServer, m_sender, m_recipient, m_mail, kSmtpPort)) {
            end(false, cddbtext::kConnectionFailed);
            return;
        }
        showStatus(SmtpProtocol::Connecting, SmtpSubmitStatusText(SmtpProtocol::Connecting));
        return;
    }
    SmtpConnection& c = *m_connection;
    switch (c.state()) {
    case SmtpProtocol::Failed:
        end(false, cddbtext::kServerFailed);
        return;
    case SmtpProtocol::Done:
        end(true, 0);
        return;
    default:
        if (!lineGaveOut(c))
            showStatus(c.state(), SmtpSubmitStatusText(c.state()));
    }
}
