// SPDX-License-Identifier: GPL-2.0-or-later
#include "policy_p.h"

namespace PasswordExpirationPolicy
{

const QSet<QString> &loginDefsKeys()
{
    static const QSet<QString> keys{QStringLiteral("PASS_MIN_DAYS"), QStringLiteral("PASS_MAX_DAYS"), QStringLiteral("PASS_WARN_AGE")};
    return keys;
}

const QSet<QString> &useraddKeys()
{
    static const QSet<QString> keys{QStringLiteral("INACTIVE"), QStringLiteral("EXPIRE")};
    return keys;
}

namespace
{

// The reminder settings file: an absent file is no error and gives the
// values of absent keys; one that cannot be read or is not well-formed is
// reported for the first key read from it.
ReminderSettings readReminderSettings(const QString &path)
{
    const PolicyFile file = readPolicyFile(path, Links::Follow);
    switch (file.status) {
    case PolicyFile::Absent:
        return ReminderSettings();
    case PolicyFile::Failed: {
        ReminderSettings settings;
        settings.error = file.refused ? openFailure(path, file.reason) : unexpectedValue(QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL"));
        return settings;
    }
    case PolicyFile::Read:
        break;
    }
    return reminderSettingsFromText(file.content);
}

} // namespace

QSettings settingsAt(const QString &path)
{
    return QSettings(path, QSettings::IniFormat);
}

Error unexpectedValue(const QString &key)
{
    return Error{-1, QStringLiteral("Parameter %1 has an unexpected value").arg(key)};
}

Error openFailure(const QString &path, const QString &reason)
{
    return Error{-1, QStringLiteral("Could not opening configuration file %1: %2").arg(path, reason)};
}

bool isLoginDefsSeparator(QChar c)
{
    return c.isSpace();
}

bool isUseraddSeparator(QChar c)
{
    return c == QLatin1Char('=');
}

Result<ParamMap> readParamsFromConf(const QString &path, const QSet<QString> &keys, SeparatorPredicate isSeparator)
{
    const PolicyFile file = readPolicyFile(path, Links::Follow);
    if (file.status != PolicyFile::Read) {
        return openFailure(path, file.reason);
    }
    return paramsFromText(file.content, keys, isSeparator, path);
}

Result<int> readIntParam(const ParamMap &params, const QString &key, int minimum)
{
    const auto it = params.constFind(key);
    if (it == params.constEnd()) {
        return minimum;
    }
    const std::optional<qint32> value = parseDayCount(*it);
    if (!value || *value < minimum) {
        return unexpectedValue(key);
    }
    return *value;
}

Result<Config> loadConfFrom(const QString &loginDefs, const QString &useraddDefaults, const QString &settingsFile)
{
    const Result<ParamMap> login = readParamsFromConf(loginDefs, loginDefsKeys(), isLoginDefsSeparator);
    if (!login.hasValue()) {
        return login.error();
    }
    const Result<ParamMap> account = readParamsFromConf(useraddDefaults, useraddKeys(), isUseraddSeparator);
    if (!account.hasValue()) {
        return account.error();
    }

    const ReminderSettings reminders = readReminderSettings(settingsFile);
    if (reminders.error) {
        return *reminders.error;
    }
    Config config;
    config.receiveNotifyForLocal = reminders.receiveNotifyForLocal;
    config.receiveNotifyForDomain = reminders.receiveNotifyForDomain;
    config.notifyDays = reminders.notifyDays;

    const ParamMap loginParams = login.value();
    const ParamMap accountParams = account.value();
    for (const DayCountParam &param : dayCountParams) {
        const Result<int> value = readIntParam(param.inLoginDefs ? loginParams : accountParams, QLatin1String(param.key), param.minimum);
        if (!value.hasValue()) {
            return value.error();
        }
        config.*param.member = value.value();
    }

    const Result<QDate> expire = readExpireDate(accountParams);
    if (!expire.hasValue()) {
        return expire.error();
    }
    config.expireDate = expire.value();
    return config;
}

Result<QDate> readExpireDate(const ParamMap &params)
{
    const QString expireKey = QStringLiteral("EXPIRE");
    const auto expire = params.constFind(expireKey);
    if (expire == params.constEnd()) {
        return QDate();
    }
    const QDate date = parseExpireDate(*expire);
    if (!expire->isEmpty() && !date.isValid()) {
        return unexpectedValue(expireKey);
    }
    return date;
}

Result<Config> loadConf()
{
    return loadConfFrom(loginDefsPath(), useraddDefaultsPath(), settingsPath());
}

QSettings settings()
{
    return settingsAt(settingsPath());
}

} // namespace PasswordExpirationPolicy
