// SPDX-License-Identifier: GPL-2.0-or-later
#include "policy_p.h"

#include <unistd.h>

namespace PasswordExpirationPolicy
{

namespace
{

QVariant errorValue(const Error &error)
{
    return QVariant::fromValue(error);
}

QVariant writeError(const QString &path, const QString &reason)
{
    return errorValue(Error{-1, QStringLiteral("Error writing configuration file %1: %2").arg(path, reason)});
}

QVariant settingsError(const QString &path)
{
    return errorValue(Error{-1, QStringLiteral("Error writing configuration file: %1").arg(path)});
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// Stores the three reminder settings in their file, in one replacement, so
// that the file holds the old or the new settings, never a mix. A file
// that is not well-formed is left as it is: its other lines would not be
// kept for sure.
QVariant writeReminderSettings(const QString &path, const Config &config)
{
    const PolicyFile existing = readPolicyFile(path, Links::Refuse);
    if (existing.status == PolicyFile::Failed) {
        return existing.refused ? errorValue(openFailure(path, existing.reason)) : settingsError(path);
    }
    const ParamMap values{
        {QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL"), boolText(config.receiveNotifyForLocal)},
        {QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN"), boolText(config.receiveNotifyForDomain)},
        {QStringLiteral("NOTIFY_DAYS"), QString::number(config.notifyDays)},
    };
    const std::optional<QByteArray> content = rewrittenIni(existing.content, values);
    if (!content) {
        return settingsError(path);
    }
    // A file made by this save gets the writer as owner and mode 0644, as
    // every file in /etc.
    const bool created = existing.status == PolicyFile::Absent;
    const uint owner = created ? geteuid() : existing.ownerId;
    const uint group = created ? getegid() : existing.groupId;
    const uint mode = created ? 0644 : existing.mode;
    if (const std::optional<ReplaceFailure> failure = replacePolicyFile(path, *content, owner, group, mode, true)) {
        return failure->creating ? settingsError(path) : writeError(path, failure->reason);
    }
    return QVariant();
}

} // namespace

QVariant writeParamsToConf(const QString &path, const ParamMap &params, SeparatorPredicate isSeparator, QChar separator)
{
    // The existing file must be there and be a regular file: it is never
    // created, and never written through a symbolic link.
    const PolicyFile existing = readPolicyFile(path, Links::Refuse);
    if (existing.status != PolicyFile::Read) {
        return errorValue(openFailure(path, existing.reason));
    }
    const QByteArray content = rewrittenText(existing.content, params, isSeparator, separator);
    if (const std::optional<ReplaceFailure> failure = replacePolicyFile(path, content, existing.ownerId, existing.groupId, existing.mode, false)) {
        return failure->creating ? errorValue(openFailure(path, failure->reason)) : writeError(path, failure->reason);
    }
    return QVariant();
}

QVariant writeAllParamsTo(const QString &loginDefs, const QString &useraddDefaults, const QString &settingsFile, const Config &config)
{
    const QVariant settings = writeReminderSettings(settingsFile, config);
    if (!settings.isNull()) {
        return settings;
    }

    ParamMap loginParams;
    ParamMap accountParams{{QStringLiteral("EXPIRE"), expireDateText(config.expireDate)}};
    for (const DayCountParam &param : dayCountParams) {
        (param.inLoginDefs ? loginParams : accountParams).insert(QLatin1String(param.key), QString::number(config.*param.member));
    }

    const QVariant login = writeParamsToConf(loginDefs, loginParams, isLoginDefsSeparator, QLatin1Char('\t'));
    if (!login.isNull()) {
        return login;
    }
    return writeParamsToConf(useraddDefaults, accountParams, isUseraddSeparator, QLatin1Char('='));
}

QVariant writeAllParamsToConf(const Config &config)
{
    return writeAllParamsTo(loginDefsPath(), useraddDefaultsPath(), settingsPath(), config);
}

} // namespace PasswordExpirationPolicy
