#pragma once
// SmtpConnection: the SMTP dialogue of one submission over a QTcpSocket on the thread that
// owns it. The submission dialog polls state(), flag() and idleTicks() on its timer.

#include "cddb/linequeue.h"
#include "cddb/smtpprotocol.h"

#include <QObject>
#include <QPointer>

#include <string>

class QTcpSocket;

class SmtpConnection : public QObject
{
    Q_OBJECT
public:
    enum Flag { Closed = 0, Connected = 1, Connecting = 2 };

    explicit SmtpConnection(QObject* parent = nullptr);
    ~SmtpConnection() override;

    // 1 when the connection is under way, 0 for an empty or malformed mail server. A
    // "host:port" mail server overrides port.
    int start(const std::string& mailServer, const std::string& sender,
              const std::string& recipient, const std::string& message, int port);
    void close();
    void processLine(std::string_view line);

    int state() const { return m_protocol.state(); }
    int flag() const { return m_flag; }
    int idleTicks() const { return m_idleTicks; }
    void setIdleTicks(int ticks) { m_idleTicks = ticks; }

private:
    void onReadyRead();
    void onSocketError();

    SmtpProtocol m_protocol;
    LineQueue m_queue;
    int m_flag = Closed;
    int m_idleTicks = -1;
    QPointer<QTcpSocket> m_socket;
};
