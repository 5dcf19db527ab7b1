// SPDX-License-Identifier: GPL-2.0-or-later
#include "notification.h"

#include <KLocalizedString>

namespace
{
constexpr char translationDomain[] = "pwexpiry-notifier";
constexpr char unixPathPrefix[] = "unix:path=";
} // namespace

QString notificationTitle()
{
    return i18nd(translationDomain, "Password Expiry");
}

QString notificationBody(qint32 daysLeft)
{
    if (daysLeft == 0) {
        return i18nd(translationDomain, "The password expires today!");
    }
    return i18ndp(translationDomain, "The password expires in %1 day!", "The password expires in %1 days!", daysLeft);
}

QString notificationBusAddress(const ActiveSession &user)
{
    if (!user.busAddress.isEmpty()) {
        return user.busAddress;
    }
    if (!user.busPath.isEmpty()) {
        return QLatin1String(unixPathPrefix) + user.busPath;
    }
    return QString();
}

QString userRuntimeDirectory(quint32 uid)
{
    return QStringLiteral("/run/user/") + QString::number(uid);
}

QStringList notificationArguments(const QString &userName, const QString &busAddress, const QString &runtimeDir, const QString &title, const QString &body)
{
    QStringList arguments{QStringLiteral("-u"), userName, QStringLiteral("--"), QLatin1String(NotificationTool::env)};
    arguments << QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + busAddress;
    if (!runtimeDir.isEmpty()) {
        arguments << QStringLiteral("XDG_RUNTIME_DIR=") + runtimeDir;
    }
    arguments << QLatin1String(NotificationTool::notifySend) //
              << QStringLiteral("-u") << QStringLiteral("critical") //
              << QStringLiteral("-i") << QStringLiteral("dialog-warning") //
              << QStringLiteral("-r") << QStringLiteral("1337") //
              << title << body;
    return arguments;
}
