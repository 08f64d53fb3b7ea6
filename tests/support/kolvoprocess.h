#pragma once
// Kolvo's programs and the desktop's tools run as processes of their own, the way a user or the
// desktop runs them: the environment they get, a run to the end, and a run as a plain user.

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <string>

// The system's environment with Kolvo on `home`, in English, on the offscreen platform.
QProcessEnvironment kolvoEnvironment(const std::string& home);

struct ProcessOutput
{
    int code = -1; // the exit code; -1 when it crashed or did not end in time (it is then killed)
    QString out, err;
};

ProcessOutput runProcess(const QString& program, const QStringList& args,
                         const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                         int timeoutMs = 60000, const QString& workingDir = {});

// Root reads and writes through any permission: as root the command is rewritten to run as
// nobody, for whom permissions hold; otherwise it is left as it is.
void runAsPlainUser(QString& program, QStringList& args);
