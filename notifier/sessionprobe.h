// SPDX-License-Identifier: GPL-2.0-or-later
// Finds the user of the active graphical session through loginctl.
#pragma once

#include "activesession.h"

#include <optional>

// One pass over the login manager's sessions.
std::optional<ActiveSession> probeActiveSession();

// Up to `attempts` passes, sleeping `sleepMs` after each pass that found nobody.
std::optional<ActiveSession> probeActiveSessionWithRetry(int attempts, unsigned long sleepMs);

// The same for the one login session `sessionId`: its user when it is an
// active graphical session, else nothing (another active session does not
// count).
std::optional<ActiveSession> probeSession(const QString &sessionId);
std::optional<ActiveSession> probeSessionWithRetry(const QString &sessionId, int attempts, unsigned long sleepMs);

// The pure steps of a pass.

// Column 0, 1 and 2 of a `loginctl list-sessions` line.
struct SessionListing {
    QString sessionId;
    QString uid;
    QString userName;
};

// The first three columns of a session list line; nothing when it has fewer.
std::optional<SessionListing> parseSessionListing(const QString &line);

// Type and Active of a session, as `loginctl show-session` prints them.
struct SessionProperties {
    QString type;
    QString active;
};

// The first two non-empty lines of the property output, untrimmed; nothing
// when there are fewer than two.
std::optional<SessionProperties> parseSessionProperties(const QString &text);

// An active session of type "x11" or "wayland" (exact case).
bool isActiveGraphical(const SessionProperties &properties);

// The uid column as a number; 0 when it is not one.
quint32 uidFromColumn(const QString &column);
