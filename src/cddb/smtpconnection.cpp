#include "cddb/smtpconnection.h"

#include "cddb/cddbprotocol.h"

SmtpConnection::SmtpConnection(QObject* parent)
    : LineConnection(parent)
{}

int SmtpConnection::start(const std::string& mailServer, const std::string& sender,
                          const std::string& recipient, const std::string& message, int port)
{
    m_protocol.setState(SmtpProtocol::Done);
    setFlag(Closed);
    const CddbServerAddress address = ParseCddbServer(mailServer, port);
    if (mailServer.empty() || !address.valid || address.http)
        return 0;
    m_protocol.begin(sender, recipient, message);
    beginExchange();
    connectSocket(address.host, address.port);
    return 1;
}

void SmtpConnection::processLine(std::string_view line)
{
    setIdleTicks(0);
    const SmtpProtocol::Reaction reaction = m_protocol.processLine(line);
    if (!reaction.send.empty())
        send(reaction.send);
    if (reaction.close)
        close();
}

void SmtpConnection::socketConnected()
{
    m_protocol.setHeloHost(localAddressText());
}

void SmtpConnection::serverUnreachable()
{
    m_protocol.setState(SmtpProtocol::Failed);
}
