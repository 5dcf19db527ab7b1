// SPDX-License-Identifier: GPL-2.0-or-later
// Internal pieces of the policy library, shared by its reader and writer and
// reached by the unit tests through the path arguments.
#pragma once

#include "policy.h"

#include <QSet>

namespace PasswordExpirationPolicy
{

using ParamMap = QMap<QString, QString>;
// Recognises the character that separates a key from its value.
using SeparatorPredicate = bool (*)(QChar);

inline const QString &loginDefsPath()
{
    static const QString path = QStringLiteral("/etc/login.defs");
    return path;
}

inline const QString &useraddDefaultsPath()
{
    static const QString path = QStringLiteral("/etc/default/useradd");
    return path;
}

inline const QString &settingsPath()
{
    static const QString path = QStringLiteral("/etc/password-expiration-policy/config.ini");
    return path;
}

inline const QString &expireDateFormat()
{
    static const QString format = QStringLiteral("yyyy-MM-dd");
    return format;
}

// The four day counts of the two system files: the file that holds each, the
// lowest value the reader accepts (also the value of an absent key) and the
// Config member it fills. The reader, the writer and the helper's checks all
// work from this one table.
struct DayCountParam {
    const char *key;
    bool inLoginDefs;
    int minimum;
    qint32 Config::*member;
};

inline constexpr DayCountParam dayCountParams[] = {
    {"PASS_MIN_DAYS", true, 0, &Config::passMinDays},
    {"PASS_MAX_DAYS", true, -1, &Config::passMaxDays},
    {"PASS_WARN_AGE", true, -1, &Config::passWarnAge},
    {"INACTIVE", false, -1, &Config::inactiveDays},
};

// "Parameter %1 has an unexpected value" for the key.
Error unexpectedValue(const QString &key);

// "Could not opening configuration file %1: %2" for a file that cannot be
// opened, with the I/O layer's reason.
Error openFailure(const QString &path, const QString &reason);

// login.defs separates key and value by any whitespace, useradd by "=".
bool isLoginDefsSeparator(QChar c);
bool isUseraddSeparator(QChar c);

// Index of the first separator in a trimmed line, or its length.
int separatorIndex(const QString &line, SeparatorPredicate isSeparator);

// A settings object on a reminder settings file of the caller's choice;
// settings() is this on the fixed path.
QSettings settingsAt(const QString &path);

Result<ParamMap> readParamsFromConf(const QString &path, const QSet<QString> &keys, SeparatorPredicate isSeparator);
Result<int> readIntParam(const ParamMap &params, const QString &key, int minimum);

// The whole of loadConf's work, on files of the caller's choice.
Result<Config> loadConfFrom(const QString &loginDefs, const QString &useraddDefaults, const QString &settingsFile);

// Rewrites the definitions of the given keys in one system file in place and
// replaces the file atomically. Null on success, otherwise an Error.
QVariant writeParamsToConf(const QString &path, const ParamMap &params, SeparatorPredicate isSeparator, QChar separator);

// The whole of writeAllParamsToConf's work, on files of the caller's choice.
QVariant writeAllParamsTo(const QString &loginDefs, const QString &useraddDefaults, const QString &settingsFile, const Config &config);

} // namespace PasswordExpirationPolicy
