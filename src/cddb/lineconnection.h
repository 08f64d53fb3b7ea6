#pragma once
// LineConnection: what the CD database (CDDBP) and the mail (SMTP) connections share about
// their QTcpSocket: connecting, taking the received bytes as CR LF lines, sending, the flag and
// the idle count the status dialogs poll, and the close on an error or on the peer's close.
// It lives on the thread that owns it; the socket is its child and goes with it.
//
// A derived connection hands each complete line to processLine(), says what a connection that
// was never made means (serverUnreachable) and what to do once it is made (socketConnected).
// Whatever arrived with the peer's close or with an error after connecting is still processed
// before the close.

#include "cddb/linequeue.h"

#include <QObject>
#include <QPointer>

#include <string>
#include <string_view>

class QTcpSocket;

class LineConnection : public QObject
{
    Q_OBJECT
public:
    enum Flag { Closed = 0, Connected = 1, Connecting = 2 };

    ~LineConnection() override;

    int flag() const { return m_flag; }
    // Ticks since the last line, -1 when closed; the sessions count them.
    int idleTicks() const { return m_idleTicks; }
    void setIdleTicks(int ticks) { m_idleTicks = ticks; }

    // Ends the exchange: flag Closed, idle count -1, the socket dropped without a word.
    virtual void close();
    virtual void processLine(std::string_view line) = 0;

protected:
    explicit LineConnection(QObject* parent);

    void setFlag(int flag) { m_flag = flag; }
    // A new exchange begins: idle count 0, flag Connecting, nothing left queued.
    void beginExchange();
    // Starts connecting to host:port; socketConnected() follows once the peer answers.
    void connectSocket(const std::string& host, int port);
    // Writes to the socket; nothing without one.
    void send(std::string_view bytes);
    // The socket's local address for a hello (an IPv4-mapped address as plain IPv4), the
    // fallback host name when there is none.
    std::string localAddressText() const;

    // The socket is connected; the flag already says so.
    virtual void socketConnected() = 0;
    // The socket failed before it connected; close() follows.
    virtual void serverUnreachable() = 0;

private:
    void onReadyRead();
    void onSocketError();
    void closeSocket();

    LineQueue m_queue;
    int m_flag = Closed;
    int m_idleTicks = -1;
    QPointer<QTcpSocket> m_socket;
};
