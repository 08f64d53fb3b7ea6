#include "support/kolvoprocess.h"

#include "support/clirun.h"
#include "support/testhome.h"

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
    const ProcessResult r = runProgram(program, args, timeoutMs, env, workingDir);
    return {r.code, QString::fromStdString(r.out), QString::fromStdString(r.err)};
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
