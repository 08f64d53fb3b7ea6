#pragma once
// The timer-driven state machines behind the lookup and submission dialogs. A session ticks
// (every CddbTickInterval() ms), creates its connection on the first tick, polls it on the
// next ones, and ends with a result and, on failure, the string id of the message to show.
// The dialogs show the status and the messages; kolvo-cli runs the sessions without windows.

#include "cddb/cddbconnection.h"
#include "cddb/lineconnection.h"
#include "cddb/smtpconnection.h"
#include "cddb/xmcd.h"
#include "platform/messages.h"

#include <QBasicTimer>
#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The tick of the status dialogs: 1000 ms. Tests and benchmarks make it short.
int CddbTickInterval();
void SetCddbTickInterval(int milliseconds);

// Ticks without a received line after which a session gives up.
inline constexpr int kCddbIdleTickLimit = 60;

// The status line of a lookup state, 0 for states without one.
UINT CddbQueryStatusText(int state);
// The status line of a submission state, 0 for states without one.
UINT SmtpSubmitStatusText(int state);

// What the lookup and the submission share: the tick, the status line shown once for each
// state, the checks of a waiting line, and the end with the message to show.
class CddbTickedSession : public QObject
{
    Q_OBJECT

public:
    void begin();
    // Stops the exchange without a message (the user's Cancel).
    void cancel();
    bool running() const { return m_timer.isActive(); }

signals:
    void statusChanged(UINT stringId);
    // ok: the exchange succeeded. messageId: the failure to show, 0 for none.
    void finished(bool ok, UINT messageId);

protected:
    explicit CddbTickedSession(QObject* parent);
    void timerEvent(QTimerEvent* event) override;
    virtual void tick() = 0;
    virtual void dropConnection() = 0;

    void stop();
    void end(bool ok, UINT messageId);
    bool ended() const { return m_ended; }
    // Shows `text`, the status line of `state`, unless that state's line already shows; states
    // without a line (text 0) leave the last one.
    void showStatus(int state, UINT text);
    // A waiting tick: a closed line ends the session (cddbtext::kDisconnected), and so do more
    // than kCddbIdleTickLimit ticks without a line (cddbtext::kTimedOut). True when the session
    // ended.
    bool lineGaveOut(LineConnection& c);

private:
    QBasicTimer m_timer;
    int m_shownState = -1;
    bool m_ended = false;
};

class CddbQuerySession : public CddbTickedSession
{
    Q_OBJECT
public:
    // Picks one of the inexact matches (the lines of a 211 reply): its index, or -1 to give
    // up. It may run a modal dialog; the session keeps ticking under it.
    using Chooser = std::function<int(const std::vector<std::string>& matchLines)>;

    CddbQuerySession(std::string server, const CddbDiscInfo& info, QObject* parent = nullptr);
    ~CddbQuerySession() override;

    void setEmail(const std::string& email) { m_email = email; }
    void setChooser(Chooser chooser) { m_chooser = std::move(chooser); }

    // After finished(true): the record read, its texts as received (see DecodeXmcdRecord).
    const XmcdRecord& record() const { return m_record; }
    CddbConnection* connection() const { return m_connection.get(); }

private:
    void tick() override;
    void dropConnection() override { m_connection.reset(); }
    void choose();

    std::string m_server;
    CddbDiscInfo m_info;
    std::string m_email;
    Chooser m_chooser;
    std::unique_ptr<CddbConnection> m_connection;
    XmcdRecord m_record;
};

class SmtpSubmitSession : public CddbTickedSession
{
    Q_OBJECT
public:
    SmtpSubmitSession(std::string mailServer, std::string sender, std::string recipient,
                      std::string mail, QObject* parent = nullptr);
    ~SmtpSubmitSession() override;

    SmtpConnection* connection() const { return m_connection.get(); }

private:
    void tick() override;
    void dropConnection() override { m_connection.reset(); }

    std::string m_mailServer;
    std::string m_sender;
    std::string m_recipient;
    std::string m_mail;
    std::unique_ptr<SmtpConnection> m_connection;
};
