#pragma once
// SmtpConnection: the SMTP dialogue of one submission over the socket of its LineConnection,
// on the thread that owns it. The submission dialog polls state(), flag() and idleTicks() on
// its timer.

#include "cddb/lineconnection.h"
#include "cddb/smtpprotocol.h"

#include <string>

class SmtpConnection : public LineConnection
{
    Q_OBJECT
public:
    explicit SmtpConnection(QObject* parent = nullptr);

    // 1 when the connection is under way, 0 for an empty or malformed mail server. A
    // "host:port" mail server overrides port.
    int start(const std::string& mailServer, const std::string& sender,
              const std::string& recipient, const std::string& message, int port);
    void processLine(std::string_view line) override;

    int state() const { return m_protocol.state(); }

private:
    void socketConnected() override;
    void serverUnreachable() override;

    SmtpProtocol m_protocol;
};
