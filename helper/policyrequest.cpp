// SPDX-License-Identifier: GPL-2.0-or-later
#include "policyrequest.h"

#include "policy_p.h"

namespace PasswordExpirationPolicy
{

namespace
{
Error refusal(const QString &message)
{
    return Error{-1, message};
}
} // namespace

Result<Config> configFromArguments(const QVariantMap &arguments)
{
    const QString configKey = QStringLiteral("config");
    for (auto it = arguments.constBegin(); it != arguments.constEnd(); ++it) {
        if (it.key() != configKey) {
            return refusal(QStringLiteral("Unexpected argument %1").arg(it.key()));
        }
    }
    const auto config = arguments.constFind(configKey);
    if (config == arguments.constEnd()) {
        return refusal(QStringLiteral("Missing argument %1").arg(configKey));
    }
    if (config->userType() != qMetaTypeId<Config>()) {
        return refusal(QStringLiteral("Argument %1 does not hold a PasswordExpirationPolicy::Config").arg(configKey));
    }
    return config->value<Config>();
}

QVariant checkConfig(const Config &config)
{
    // Nothing the reader would refuse: the same lower bounds.
    for (const DayCountParam &param : dayCountParams) {
        if (config.*param.member < param.minimum) {
            return QVariant::fromValue(unexpectedValue(QLatin1String(param.key)));
        }
    }
    // A date must be the null date (written as an empty value) or one that
    // reads back from its text: a streamed QDate may carry any day number,
    // and years outside 1 to 9999 do not fit the four-digit format.
    const QDate &date = config.expireDate;
    const bool storable = date == QDate() || (date.isValid() && QDate::fromString(date.toString(expireDateFormat()), expireDateFormat()) == date);
    if (!storable) {
        return QVariant::fromValue(unexpectedValue(QStringLiteral("EXPIRE")));
    }
    return QVariant();
}

} // namespace PasswordExpirationPolicy
