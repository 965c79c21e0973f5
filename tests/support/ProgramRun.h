#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A program run to its end: its exit status (-1 when it crashed or did not end
// within a minute) and what it wrote to standard output and standard error.
struct ProgramRun
{
    int status = -1;
    QString out;
    QString err;
};

inline ProgramRun runProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}
