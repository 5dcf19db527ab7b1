// SPDX-License-Identifier: GPL-2.0-or-later
#include "info.h"

#include <KLocalizedString>

namespace
{
QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace

QStringList infoLines(const PasswordExpirationPolicy::Config &config)
{
    return {
        i18nd("pwexpiry-notifier", "- Receive notify for local user: ") + boolText(config.receiveNotifyForLocal),
        i18nd("pwexpiry-notifier", "- Receive notify for domain user: ") + boolText(config.receiveNotifyForDomain),
        i18nd("pwexpiry-notifier", "- Number of days before notify: ") + QString::number(config.notifyDays),
    };
}
