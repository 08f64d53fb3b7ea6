#include "cddbtesting.h"

#include "support/testhome.h"

#include <QEventLoop>

SmtpSink::SmtpSink(const std::string& mode, const std::string& outDir)
{
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(KOLVO_SOURCE_DIR "/tests/cddb/smtp_sink.py"),
                     QString::fromStdString(mode), QString::fromStdString(outDir)});
    if (!m_process.waitForStarted(10000))
        return;
    QByteArray out;
    while (!out.contains('\n') && m_process.waitForReadyRead(10000))
        out += m_process.readAllStandardOutput();
    if (out.startsWith("PORT "))
        m_port = out.mid(5).trimmed().toInt();
}

SmtpSink::~SmtpSink()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
}

std::string SmtpSink::errors()
{
    return m_process.readAllStandardError().toStdString();
}

CliRun runCli(const std::vector<std::string>& args)
{
    QProcess process;
    QStringList list;
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    process.start(QString::fromStdString(builtProgram("kolvo-cli")), list);
    loop.exec();
    CliRun run;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

std::vector<std::string> crlfLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}
