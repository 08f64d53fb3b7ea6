#include "cddb/sessions.h"

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
        return 2087;
    case CddbProtocol::HelloSent:
        return 2088;
    case CddbProtocol::QuerySent:
    case CddbProtocol::ReceivingMatches:
    case CddbProtocol::ChoiceWaiting:
        return 2089;
    case CddbProtocol::ReadSent:
    case CddbProtocol::ReceivingRecord:
        return 2090;
    default:
        return 0;
    }
}

UINT SmtpSubmitStatusText(int state)
{
    switch (state) {
    case SmtpProtocol::Connecting:
        return 2087;
    case SmtpProtocol::HeloSent:
        return 2088;
    case SmtpProtocol::MailFromSent:
    case SmtpProtocol::RcptToSent:
    case SmtpProtocol::DataSent:
        return 2099;
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
    emit statusChanged(2091);
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
        end(false, 2040);
        return true;
    }
    if (c.idleTicks() >= 0) {
        c.setIdleTicks(c.idleTicks() + 1);
        if (c.idleTicks() > kCddbIdleTickLimit) {
            end(false, 2041);
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
            end(false, 2037);
            return;
        }
        showStatus(CddbProtocol::Connecting, CddbQueryStatusText(CddbProtocol::Connecting));
        return;
    }
    CddbConnection& c = *m_connection;
    switch (c.state()) {
    case CddbProtocol::Failed:
        end(false, 2039);
        return;
    case CddbProtocol::ChoiceWaiting:
        showStatus(c.state(), CddbQueryStatusText(c.state()));
        choose();
        return;
    case CddbProtocol::NoMatch:
        end(false, 2086);
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
            end(false, 2037);
            return;
        }
        showStatus(SmtpProtocol::Connecting, SmtpSubmitStatusText(SmtpProtocol::Connecting));
        return;
    }
    SmtpConnection& c = *m_connection;
    switch (c.state()) {
    case SmtpProtocol::Failed:
        end(false, 2039);
        return;
    case SmtpProtocol::Done:
        end(true, 0);
        return;
    default:
        if (!lineGaveOut(c))
            showStatus(c.state(), SmtpSubmitStatusText(c.state()));
    }
}
