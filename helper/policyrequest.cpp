// SPDX-License-Identifier: GPL-2.0-or-later
#include "policyrequest.h"

#include "policy_p.h"

#include <QFileInfo>

namespace PasswordExpirationPolicy
{

namespace
{
Error refusal(const QString &message)
{
    return Error{-1, message};
}

// A policy file as it was before the save.
struct Snapshot {
    QString path;
    PolicyFile file;
    bool directoryExisted = true;
};

Snapshot snapshotOf(const QString &path)
{
    return Snapshot{path, readPolicyFile(path, Links::Refuse), QFileInfo(QFileInfo(path).path()).isDir()};
}

bool unchanged(const PolicyFile &before, const PolicyFile &now)
{
    return now.status == PolicyFile::Read && now.content == before.content && now.ownerId == before.ownerId && now.groupId == before.groupId
        && now.mode == before.mode;
}

// Puts a file back as the snapshot has it; the reason when that fails.
std::optional<QString> restore(const Snapshot &snapshot)
{
    const PolicyFile now = readPolicyFile(snapshot.path, Links::Refuse);
    switch (snapshot.file.status) {
    case PolicyFile::Read:
        if (unchanged(snapshot.file, now)) {
            return std::nullopt;
        }
        if (const std::optional<ReplaceFailure> failure =
                replacePolicyFile(snapshot.path, snapshot.file.content, snapshot.file.ownerId, snapshot.file.groupId, snapshot.file.mode, false)) {
            return failure->reason;
        }
        return std::nullopt;
    case PolicyFile::Absent:
        // Made by this save: removed again, with a directory it made.
        return now.status == PolicyFile::Absent ? std::nullopt : removePolicyFile(snapshot.path, !snapshot.directoryExisted);
    case PolicyFile::Failed:
        // A file that could not be read was not replaced either.
        break;
    }
    return std::nullopt;
}
} // namespace

PolicyPaths systemPolicyPaths()
{
    return PolicyPaths{loginDefsPath(), useraddDefaultsPath(), settingsPath()};
}

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
    const bool storable = date == QDate() || (date.isValid() && parseExpireDate(expireDateText(date)) == date);
    if (!storable) {
        return QVariant::fromValue(unexpectedValue(QStringLiteral("EXPIRE")));
    }
    return QVariant();
}

QVariant handleChangeRequest(const QVariantMap &arguments, const PolicyPaths &paths)
{
    const Result<Config> request = configFromArguments(arguments);
    if (!request.hasValue()) {
        return QVariant::fromValue(request.error());
    }
    const Config config = request.value();
    const QVariant refused = checkConfig(config);
    if (!refused.isNull()) {
        return refused;
    }

    // In the order the writer replaces them.
    const Snapshot before[] = {snapshotOf(paths.settings), snapshotOf(paths.loginDefs), snapshotOf(paths.useraddDefaults)};

    Error failure;
    const QVariant written = writeAllParamsTo(paths.loginDefs, paths.useraddDefaults, paths.settings, config);
    if (!written.isNull()) {
        failure = written.value<Error>();
    } else {
        // Success means the files now hold the record, as the next reader sees it.
        const Result<Config> stored = loadConfFrom(paths.loginDefs, paths.useraddDefaults, paths.settings);
        if (!stored.hasValue()) {
            failure = stored.error();
        } else if (stored.value() != config) {
            failure = Error{-1, QStringLiteral("The configuration files do not hold the saved values")};
        } else {
            return QVariant();
        }
    }

    for (const Snapshot &snapshot : before) {
        if (const std::optional<QString> reason = restore(snapshot)) {
            failure.message += QStringLiteral("; %1 could not be put back as it was: %2").arg(snapshot.path, *reason);
        }
    }
    return QVariant::fromValue(failure);
}

} // namespace PasswordExpirationPolicy
