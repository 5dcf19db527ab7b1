// SPDX-License-Identifier: GPL-2.0-or-later
// Runs a system tool with time-outs and takes its standard output, and the
// text rules that callers apply to that output.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs `program` (an absolute path, no shell) with `args`. Waits up to
// `timeoutMs` for the start and up to `timeoutMs` more for the end; a child
// still running then is killed and given 1000 ms to go. Returns true, and
// replaces `out` with the child's standard output, only when the child exited
// normally with code 0; on every other path `out` is left as it was. Logs a
// failed start or a time-out at info level.
bool runCmd(const QString &program, const QStringList &args, QByteArray &out, int timeoutMs);

// As runCmd with 3000 ms time-outs, without any log line.
bool runCmdQuiet(const QString &program, const QStringList &args, QByteArray &out);

// Tool output as text: UTF-8 up to, not including, the first NUL byte.
QString outputToText(const QByteArray &output);

// The text split at '\n' with empty lines dropped.
QStringList outputLines(const QString &text);

// A line's columns: runs of white space collapsed, ends trimmed, split at the
// single spaces. A line of nothing but white space has no columns.
QStringList lineColumns(const QString &line);
