#include "support/clirun.h"

#include <QProcess>

ProgramRun runProgram(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    ProgramRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    if (p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

ProgramRun KolvoCliTest::run(const QStringList& args, int timeoutMs)
{
    return runProgram(QString::fromStdString(builtProgram("kolvo-cli")), args, timeoutMs);
}
