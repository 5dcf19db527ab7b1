// SPDX-License-Identifier: GPL-2.0-or-later
#include "loginreminder.h"

bool skipsSession(const QString &type, const QString &sessionClass)
{
    if (sessionClass == QLatin1String("greeter") || sessionClass == QLatin1String("lock-screen")) {
        return true;
    }
    return !type.isEmpty() && type != QLatin1String("x11") && type != QLatin1String("wayland");
}

ServiceWait notificationServiceWait(bool owned, bool activatable, qint64 waitedMs)
{
    if (owned || (activatable && waitedMs >= LoginReminder::ownerWaitMs)) {
        return ServiceWait::Ready;
    }
    return waitedMs >= LoginReminder::serviceWaitMs ? ServiceWait::GiveUp : ServiceWait::Wait;
}

bool isActivatable(const QStringList &activatable)
{
    return activatable.contains(QLatin1String(LoginReminder::notificationService));
}

int retryDelayMs(int attempt)
{
    return 1000 << qBound(0, attempt - 1, 3);
}
