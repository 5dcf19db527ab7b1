// SPDX-License-Identifier: GPL-2.0-or-later
#include "policy_p.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace PasswordExpirationPolicy
{

namespace
{

QVariant errorValue(const QString &message)
{
    return QVariant::fromValue(Error{-1, message});
}

QVariant openError(const QString &path, const QString &reason)
{
    return QVariant::fromValue(openFailure(path, reason));
}

QVariant writeError(const QString &path, const QString &reason)
{
    return errorValue(QStringLiteral("Error writing configuration file %1: %2").arg(path, reason));
}

QVariant settingsError(const QString &fileName)
{
    return errorValue(QStringLiteral("Error writing configuration file: %1").arg(fileName));
}

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// QSaveFile copies the permission bits of the file it replaces but creates
// its temporary file as the writing user. Give the temporary file the
// original owner and group, and then the full original mode, since changing
// the owner clears the set-id bits. Returns 0 or the errno of the failure.
int keepOwnerAndMode(int originalFd, int replacementFd)
{
    struct stat original;
    struct stat replacement;
    if (fstat(originalFd, &original) != 0 || fstat(replacementFd, &replacement) != 0) {
        return errno;
    }
    if ((original.st_uid != replacement.st_uid || original.st_gid != replacement.st_gid)
        && fchown(replacementFd, original.st_uid, original.st_gid) != 0) {
        return errno;
    }
    if (fchmod(replacementFd, original.st_mode & 07777) != 0) {
        return errno;
    }
    return 0;
}

} // namespace

QVariant writeParamsToConf(const QString &path, const ParamMap &params, SeparatorPredicate isSeparator, QChar separator)
{
    QFile existing(path);
    if (!existing.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return openError(path, existing.errorString());
    }
    // The new content goes to a temporary file beside the target, which
    // replaces the target only on commit: readers see the old or the whole
    // new file, and the target is never created where it did not exist.
    QSaveFile replacement(path);
    if (!replacement.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return openError(path, replacement.errorString());
    }
    if (const int error = keepOwnerAndMode(existing.handle(), replacement.handle())) {
        replacement.cancelWriting();
        return writeError(path, systemErrorText(error));
    }

    QStringList pending = params.keys();
    QTextStream in(&existing);
    QTextStream out(&replacement);
    QString rawLine;
    while (in.readLineInto(&rawLine)) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1Char('#'))) {
            out << line << '\n';
            continue;
        }
        const QString key = line.left(separatorIndex(line, isSeparator));
        const auto param = params.constFind(key);
        if (param == params.constEnd()) {
            out << line << '\n';
        } else if (pending.removeOne(key)) {
            out << key << separator << *param << '\n';
        } else {
            // An earlier line already carries this key.
            out << '#' << line << '\n';
        }
    }
    // A read that broke off must not cut the rest of the file away.
    if (existing.error() != QFileDevice::NoError) {
        const QString reason = existing.errorString();
        replacement.cancelWriting();
        return openError(path, reason);
    }
    existing.close();

    for (const QString &key : std::as_const(pending)) {
        out << key << separator << params.value(key) << '\n';
    }
    out.flush();
    if (!replacement.commit()) {
        return writeError(path, replacement.errorString());
    }
    return QVariant();
}

QVariant writeAllParamsTo(const QString &loginDefs, const QString &useraddDefaults, const QString &settingsFile, const Config &config)
{
    // The three reminder settings go in one write, so that the settings file,
    // like the two system files, is replaced once and holds either the old or
    // the new settings. A write that did not reach the file stops the save
    // before the system files are touched.
    {
        QSettings store = settingsAt(settingsFile);
        store.setValue(QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL"), config.receiveNotifyForLocal);
        store.setValue(QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN"), config.receiveNotifyForDomain);
        store.setValue(QStringLiteral("NOTIFY_DAYS"), config.notifyDays);
        store.sync();
        if (store.status() == QSettings::AccessError) {
            return settingsError(store.fileName());
        }
    }
    {
        const QSettings check = settingsAt(settingsFile);
        if (check.status() != QSettings::NoError) {
            return settingsError(check.fileName());
        }
    }

    ParamMap loginParams;
    ParamMap accountParams{
        {QStringLiteral("EXPIRE"), config.expireDate.isValid() ? config.expireDate.toString(expireDateFormat()) : QString()},
    };
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
