// SPDX-License-Identifier: GPL-2.0-or-later
// The reminder at login: the user-side program that an autostart entry
// starts in each graphical session. Once the session's notification service
// is there, it asks the system's login gate for the check run of this
// session through a socket, reads the gate's answer, asks again a few times
// when the request was not taken, and ends.
#pragma once

#include <QString>
#include <QStringList>

namespace LoginReminder
{
// Where the system's login gate listens.
constexpr char socketPath[] = "/run/pwexpiry-notifier/login.socket";
// The desktop's notification service on the session bus.
constexpr char notificationService[] = "org.freedesktop.Notifications";
// How long to wait for the desktop's own notification service to take the
// name: a desktop shell may take a while to come up. Only then does a name
// that the bus can merely activate count, so that a second notification
// daemon is never started while the desktop's own is still on its way.
constexpr int ownerWaitMs = 30000;
// How long to wait for the service at all.
constexpr int serviceWaitMs = 120000;
// Requests to the gate, and how long one waits for the answer.
constexpr int requestAttempts = 5;
constexpr int answerTimeoutMs = 5000;
} // namespace LoginReminder

// Whether a session with this XDG_SESSION_TYPE and XDG_SESSION_CLASS is left
// alone: only graphical ("x11", "wayland") user sessions get a reminder, never
// the display manager's greeter or lock screen. A desktop does not always pass
// the type or class on to the programs it autostarts; where one is missing,
// the check run itself finds out whether a graphical session is active.
bool skipsSession(const QString &type, const QString &sessionClass);

// Where the wait for the notification service stands after `waitedMs`.
enum class ServiceWait {
    // A notification can be shown now.
    Ready,
    // Keep waiting.
    Wait,
    // No service came in time.
    GiveUp,
};
// The service counts as ready once it has an owner. A name the bus can only
// activate counts once ownerWaitMs have passed without an owner (desktops
// whose notification daemon is started by activation alone).
ServiceWait notificationServiceWait(bool owned, bool activatable, qint64 waitedMs);

// Whether the bus lists the notification service among its activatable names.
bool isActivatable(const QStringList &activatable);

// The pause before request `attempt` + 1 after `attempt` was not taken
// (attempt counts from 1): 1, 2, 4, 8 s.
int retryDelayMs(int attempt);
