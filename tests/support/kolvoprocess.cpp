#include "support/kolvoprocess.h"

#include "support/testhome.h"

#include <QProcess>

QProcessEnvironment kolvoEnvironment(const std::string& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KOLVO_HOME"), QString::fromStdString(home));
    env.insert(QStringLiteral("KOLVO_LANG"), QStringLiteral("en"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

ProcessOutput runProcess(const QString& program, const QStringList& args,
                         const QProcessEnvironment& env, int timeoutMs, const QString& workingDir)
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(program, args);
    ProcessOutput r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    if (p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void runAsPlainUser(QString& program, QStringList& args)
{
    if (!runningAsRoot())
        return;
    args = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                       QStringLiteral("--clear-groups"), program} +
           args;
    program = QStringLiteral("setpriv");
}
