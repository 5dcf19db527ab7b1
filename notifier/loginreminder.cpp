// SPDX-License-Identifier: GPL-2.0-or-later
#include "loginreminder.h"

bool skipsSession(const QString &type, const QString &sessionClass)
{
    if (sessionClass == QLatin1String("greeter") || sessionClass == QLatin1String("lock-screen")) {
        return true;
    }
    return !type.isEmpty() && type != QLatin1String("x11") && type != QLatin1String("wayland");
}

bool notificationServiceReady(bool registered, const QStringList &activatable)
{
    return registered || activatable.contains(QLatin1String(LoginReminder::notificationService));
}
