// SPDX-License-Identifier: GPL-2.0-or-later
// The desktop reminder: its texts and the command line that shows it in the
// session of the active user (notify-send run as that user through runuser
// and env).
#pragma once

#include "activesession.h"

#include <QString>
#include <QStringList>

namespace NotificationTool
{
constexpr char runuser[] = "/usr/sbin/runuser";
constexpr char env[] = "/usr/bin/env";
constexpr char notifySend[] = "/usr/bin/notify-send";
constexpr int maxAttempts = 10;
constexpr int startTimeoutMs = 3000;
constexpr unsigned long retryPauseMs = 500;
} // namespace NotificationTool

// The translated title, "Password Expiry".
QString notificationTitle();

// The translated body: "today" for 0 days, otherwise the plural-aware
// "The password expires in %1 day(s)!".
QString notificationBody(qint32 daysLeft);

// The user's bus address, or "unix:path=" + busPath when only the path is
// known; empty when there is neither.
QString notificationBusAddress(const ActiveSession &user);

// "/run/user/<uid>".
QString userRuntimeDirectory(quint32 uid);

// The arguments of runuser for one attempt. `runtimeDir` is left out when empty.
QStringList notificationArguments(const QString &userName, const QString &busAddress, const QString &runtimeDir, const QString &title, const QString &body);
