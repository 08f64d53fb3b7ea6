#pragma once
// Helpers the CD database tests share: reaching the next modal dialog, the aiosmtpd server,
// running kolvo-cli while this process keeps serving.

#include <QApplication>
#include <QProcess>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

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

struct CliRun
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs kolvo-cli with the arguments; the event loop of this process runs meanwhile, so
// servers of the test keep answering.
CliRun runCli(const std::vector<std::string>& args);

// Splits CR LF lines (a last line without its end included).
std::vector<std::string> crlfLines(const std::string& text);
