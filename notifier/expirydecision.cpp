// SPDX-License-Identifier: GPL-2.0-or-later
#include "expirydecision.h"

#include <algorithm>
#include <limits>

namespace
{
// shadow(5): a maximum age of 99999 or more means the password never expires.
constexpr long largestMaxAge = 99998;

// Far beyond any date, small enough that sums of three such numbers fit.
constexpr qint64 dayLimit = qint64(1) << 40;

qint64 clampDays(qint64 days)
{
    return std::clamp(days, -dayLimit, dayLimit);
}
} // namespace

qint32 passwordDaysLeft(long lastChange, long maxAge, const QDate &today)
{
    // Whole calendar days, counted on Julian day numbers; a broken shadow
    // entry with absurd numbers saturates instead of wrapping around.
    const qint64 expiryDay = QDate(1970, 1, 1).toJulianDay() + clampDays(lastChange) + clampDays(maxAge);
    const qint64 daysLeft = expiryDay - clampDays(today.toJulianDay());
    return static_cast<qint32>(std::clamp<qint64>(daysLeft, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

ExpiryDecision decideExpiryReminder(long lastChange, long maxAge, const QDate &today, qint32 notifyDays)
{
    ExpiryDecision decision;
    decision.daysLeft = passwordDaysLeft(lastChange, maxAge, today);

    if (lastChange < 0) {
        // An empty last-change field: password aging is disabled for the account.
        return decision;
    }
    if (lastChange == 0) {
        // The password must be changed at the next login.
        decision.remindDays = 0;
        return decision;
    }
    if (maxAge < 1 || maxAge > largestMaxAge) {
        return decision;
    }
    if (decision.daysLeft < 0) {
        decision.remindDays = 0;
        return decision;
    }
    if (decision.daysLeft >= notifyDays) {
        return decision;
    }
    decision.remindDays = decision.daysLeft;
    return decision;
}
