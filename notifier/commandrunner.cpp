// SPDX-License-Identifier: GPL-2.0-or-later
#include "commandrunner.h"

#include "qtcompat.h"

#include <QDebug>
#include <QProcess>

namespace
{
constexpr int quietTimeoutMs = 3000;
constexpr int killGraceMs = 1000;

bool run(const QString &program, const QStringList &args, QByteArray &out, int timeoutMs, bool logFailures)
{
    // The process object lives on this stack frame only: whatever happens,
    // the child has ended (or been killed and reaped) when it goes.
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    // Read-write: standard input is a pipe that is never written to.
    process.start(QIODevice::ReadWrite);

    if (!process.waitForStarted(timeoutMs)) {
        if (logFailures) {
            qInfo() << "[runCmd] start failed:" << program << PasswordExpirationPolicy::QtCompat::LoggedList{args};
        }
        return false;
    }
    if (!process.waitForFinished(timeoutMs)) {
        if (logFailures) {
            qInfo() << "[runCmd] timeout:" << program << PasswordExpirationPolicy::QtCompat::LoggedList{args};
        }
        process.kill();
        process.waitForFinished(killGraceMs);
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return false;
    }
    out = process.readAllStandardOutput();
    return true;
}
} // namespace

bool runCmd(const QString &program, const QStringList &args, QByteArray &out, int timeoutMs)
{
    return run(program, args, out, timeoutMs, true);
}

bool runCmdQuiet(const QString &program, const QStringList &args, QByteArray &out)
{
    return run(program, args, out, quietTimeoutMs, false);
}

QString outputToText(const QByteArray &output)
{
    const int nul = output.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? output : output.left(nul));
}

QStringList outputLines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList lineColumns(const QString &line)
{
    return line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}
