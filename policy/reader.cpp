// SPDX-License-Identifier: GPL-2.0-or-later
#include "policy_p.h"

#include <QFile>
#include <QTextStream>

namespace PasswordExpirationPolicy
{

namespace
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

// Reads one value through a settings object of its own and checks the file
// afterwards with a further one. QSettings keeps parsed files in a
// process-wide cache and does not parse an unchanged file again, so a format
// error shows only on the object that parsed it: both statuses count.
QVariant readSetting(const QString &path, const QString &key, const QVariant &defaultValue, bool &statusOk)
{
    QSettings reader = settingsAt(path);
    const QVariant value = reader.value(key, defaultValue);
    statusOk = reader.status() == QSettings::NoError && settingsAt(path).status() == QSettings::NoError;
    return value;
}

Result<bool> readFlag(const QString &path, const QString &key)
{
    bool statusOk = false;
    const bool value = readSetting(path, key, QVariant(), statusOk).toBool();
    if (!statusOk) {
        return unexpectedValue(key);
    }
    return value;
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

int separatorIndex(const QString &line, SeparatorPredicate isSeparator)
{
    for (int i = 0; i < line.size(); ++i) {
        if (isSeparator(line.at(i))) {
            return i;
        }
    }
    return line.size();
}

Result<ParamMap> readParamsFromConf(const QString &path, const QSet<QString> &keys, SeparatorPredicate isSeparator)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return openFailure(path, file.errorString());
    }

    ParamMap params;
    QTextStream in(&file);
    QString rawLine;
    while (in.readLineInto(&rawLine)) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const int split = separatorIndex(line, isSeparator);
        const QString key = line.left(split);
        if (!keys.contains(key)) {
            continue;
        }
        if (params.contains(key)) {
            return Error{-1, QStringLiteral("The configuration file %1 contains several definitions of the same parameter").arg(path)};
        }
        params.insert(key, line.mid(split + 1).trimmed());
    }
    return params;
}

Result<int> readIntParam(const ParamMap &params, const QString &key, int minimum)
{
    const auto it = params.constFind(key);
    if (it == params.constEnd()) {
        return minimum;
    }
    bool ok = false;
    const int value = it->toInt(&ok, 10);
    if (!ok || value < minimum) {
        return unexpectedValue(key);
    }
    return value;
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

    Config config;

    const Result<bool> local = readFlag(settingsFile, QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL"));
    if (!local.hasValue()) {
        return local.error();
    }
    config.receiveNotifyForLocal = local.value();

    const Result<bool> domain = readFlag(settingsFile, QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN"));
    if (!domain.hasValue()) {
        return domain.error();
    }
    config.receiveNotifyForDomain = domain.value();

    const QString notifyDaysKey = QStringLiteral("NOTIFY_DAYS");
    bool ok = false;
    bool statusOk = false;
    config.notifyDays = readSetting(settingsFile, notifyDaysKey, 14, statusOk).toInt(&ok);
    if (!ok || !statusOk) {
        return unexpectedValue(notifyDaysKey);
    }

    const ParamMap loginParams = login.value();
    const ParamMap accountParams = account.value();
    for (const DayCountParam &param : dayCountParams) {
        const Result<int> value = readIntParam(param.inLoginDefs ? loginParams : accountParams, QLatin1String(param.key), param.minimum);
        if (!value.hasValue()) {
            return value.error();
        }
        config.*param.member = value.value();
    }

    const QString expireKey = QStringLiteral("EXPIRE");
    const auto expire = accountParams.constFind(expireKey);
    if (expire != accountParams.constEnd()) {
        const QDate date = QDate::fromString(*expire, expireDateFormat());
        if (!expire->isEmpty() && !date.isValid()) {
            return unexpectedValue(expireKey);
        }
        config.expireDate = date;
    }
    return config;
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
