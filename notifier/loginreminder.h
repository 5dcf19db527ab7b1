// SPDX-License-Identifier: GPL-2.0-or-later
// The reminder at login: the user-side program that an autostart entry
// starts in each graphical session. Once the session's notification service
// is there, it asks the system for one check run through a socket that only
// ever starts a check run, and ends.
#pragma once

#include <QString>
#include <QStringList>

namespace LoginReminder
{
// Where the system listens for requests of a check run.
constexpr char socketPath[] = "/run/pwexpiry-notifier/login.socket";
// The desktop's notification service on the session bus.
constexpr char notificationService[] = "org.freedesktop.Notifications";
// How long to wait for it: a desktop shell may take a while to come up.
constexpr int serviceWaitMs = 120000;
} // namespace LoginReminder

// Whether a session with this XDG_SESSION_TYPE and XDG_SESSION_CLASS is left
// alone: only graphical ("x11", "wayland") user sessions get a reminder, never
// the display manager's greeter or lock screen. A desktop does not always pass
// the type or class on to the programs it autostarts; where one is missing,
// the check run itself finds out whether a graphical session is active.
bool skipsSession(const QString &type, const QString &sessionClass);

// Whether a notification can be shown now: the service has an owner on the
// bus, or the bus can start it.
bool notificationServiceReady(bool registered, const QStringList &activatable);
