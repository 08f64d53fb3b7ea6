#pragma once
// Programs built beside the tests, run as processes of their own to their end: what the tests
// of kolvo-cli's commands share. kolvo-cli runs on the test's fresh home.

#include "support/testhome.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <string>

struct ProcessResult
{
    int code = -1; // the exit code; -1 when it crashed or did not end in time (it is then killed)
    std::string out, err;
};

// env adds NAME=value settings to this process's environment for the one run.
ProcessResult runProgram(const QString& program, const QStringList& args, int timeoutMs,
                         const QStringList& env = {});
// The same run with a whole environment of its own and, when given, a working folder. The
// output stays as the bytes the program wrote, so that tests can check they are valid text.
ProcessResult runProgram(const QString& program, const QStringList& args, int timeoutMs,
                         const QProcessEnvironment& env, const QString& workingDir = {});

class KolvoCliTest : public KolvoHomeTest
{
protected:
    static ProcessResult run(const QStringList& args, int timeoutMs = 20000);
    static QString q(const std::string& s) { return QString::fromStdString(s); }
};
