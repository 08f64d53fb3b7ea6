#pragma once
// Helpers the CD database tests share: a home with the message boxes caught, albums compared
// whole, the next modal dialog, the aiosmtpd server, kolvo-cli run while this process serves.

#include "cddb/discid.h"
#include "platform/msgbox.h"
#include "support/clirun.h"
#include "support/testhome.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class Album;

// English texts, a 5 ms time-out tick, and every message box recorded instead of shown.
class CddbTest : public KolvoHomeTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::vector<std::string> messages, captions;
    int answer = IDYES; // to yes/no questions
};

// Every field the CD database reads or writes on one line, so that albums compare whole.
std::string describe(const CddbAlbum& album);
std::string describe(const Album& album);
// Saves a CD album `key` with the fields and tracks of a.
void saveCdAlbum(const std::string& key, const CddbAlbum& a);
// The stored CD album `key` described; "" when it cannot be read.
std::string storedCdAlbum(const std::string& key);

// Runs f on the next modal dialog of type T that comes up.
template <typename T>
void onNextDialog(std::function<void(T*)> f)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            f(dialog);
        }
    });
    timer->start();
}

// A real SMTP server (smtp_sink.py over aiosmtpd) for one test. mode: "accept",
// "reject-mail" or "drop-rcpt". Accepted mail lands in outDir.
class SmtpSink
{
public:
    SmtpSink(const std::string& mode, const std::string& outDir);
    ~SmtpSink();
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::string errors();

private:
    QProcess m_process;
    int m_port = 0;
};

// Runs kolvo-cli with the arguments (split at blanks); the event loop of this process runs
// meanwhile, so servers of the test keep answering.
ProcessResult runCli(const std::string& arguments);

// Splits CR LF lines (a last line without its end included).
std::vector<std::string> crlfLines(const std::string& text);
