#include "support/clirun.h"

#include <QProcess>

ProcessResult runProgram(const QString& program, const QStringList& args, int timeoutMs,
                         const QStringList& env)
{
    QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    for (const QString& setting : env)
        all.insert(setting.section('=', 0, 0), setting.section('=', 1));
    return runProgram(program, args, timeoutMs, all);
}

ProcessResult runProgram(const QString& program, const QStringList& args, int timeoutMs,
                         const QProcessEnvironment& env, const QString& workingDir)
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(program, args);
    ProcessResult r;
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

ProcessResult KolvoCliTest::run(const QStringList& args, int timeoutMs)
{
    return runProgram(QString::fromStdString(builtProgram("kolvo-cli")), args, timeoutMs);
}
