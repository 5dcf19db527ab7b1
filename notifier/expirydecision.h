// SPDX-License-Identifier: GPL-2.0-or-later
// When a local account's password reminder is due, from its shadow entry.
#pragma once

#include <QDate>

#include <optional>

struct ExpiryDecision {
    // Days from today to the expiry date (negative once it has passed), for the log.
    qint32 daysLeft = 0;
    // The day count to announce, or nothing when no reminder is due. 0 stands
    // for "today", and is also used for expired passwords and for passwords
    // that must be changed at once.
    std::optional<qint32> remindDays;
};

// Days from `today` to 1970-01-01 + lastChange + maxAge (the shadow entry's
// sp_lstchg and sp_max).
qint32 passwordDaysLeft(long lastChange, long maxAge, const QDate &today);

// Whether to remind, and with which day count, for a shadow entry with the
// given sp_lstchg and sp_max when reminders start `notifyDays` days before
// expiry.
ExpiryDecision decideExpiryReminder(long lastChange, long maxAge, const QDate &today, qint32 notifyDays);
