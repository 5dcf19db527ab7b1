// SPDX-License-Identifier: GPL-2.0-or-later
#include "busaddress.h"

#include "commandrunner.h"

#include <QDebug>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>

namespace
{
const QString loginctl = QStringLiteral("/usr/bin/loginctl");
constexpr char busVariable[] = "DBUS_SESSION_BUS_ADDRESS=";

std::optional<quint64> targetUid(const QString &user)
{
    if (const std::optional<quint64> uid = parseDecimal(user)) {
        return uid;
    }
    const QByteArray name = user.toLocal8Bit();
    const passwd *entry = getpwnam(name.constData());
    if (!entry) {
        return std::nullopt;
    }
    return quint64(entry->pw_uid);
}

std::optional<QString> fromSocketTable(quint64 uid)
{
    QFile file(QStringLiteral("/proc/net/unix"));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QString table = outputToText(file.readAll());
    return busAddressFromSocketTable(table, uid, [uid](const QString &path) {
        const QFileInfo info(path);
        return info.exists() && quint64(info.ownerId()) == uid;
    });
}

std::optional<QString> fromSessionLeader(const QString &user)
{
    QByteArray output;
    if (!runCmdQuiet(loginctl, {QStringLiteral("list-sessions"), QStringLiteral("--no-legend"), QStringLiteral("--no-pager")}, output)) {
        return std::nullopt;
    }
    const QString sessionId = sessionIdOfUser(outputToText(output), user);
    if (sessionId.isEmpty()) {
        return std::nullopt;
    }
    QByteArray leader;
    if (!runCmdQuiet(loginctl,
                     {QStringLiteral("show-session"), sessionId, QStringLiteral("-p"), QStringLiteral("Leader"), QStringLiteral("--value")},
                     leader)) {
        return std::nullopt;
    }
    const std::optional<quint64> pid = parseDecimal(outputToText(leader).trimmed());
    if (!pid) {
        return std::nullopt;
    }
    const QString address = busAddressFromEnviron(*pid);
    if (!isUsableBusAddress(address)) {
        return std::nullopt;
    }
    return address;
}

std::optional<quint64> processUid(quint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return realUidFromStatus(QString::fromUtf8(status.readAll()));
}
} // namespace

std::optional<quint64> parseDecimal(const QString &text)
{
    if (text.isEmpty()) {
        return std::nullopt;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const quint64 value = text.toULongLong(&ok, 10);
    if (!ok) {
        return std::nullopt;
    }
    return value;
}

bool isUsableBusAddress(const QString &address)
{
    return !address.isEmpty() && address != QLatin1String("unix:path") && address != QLatin1String("unix:path=");
}

std::optional<QString> busAddressFromSocketTable(const QString &table, quint64 uid, const SocketOwnerCheck &ownedByTarget)
{
    const QString runtimeBus = QStringLiteral("/run/user/%1/bus").arg(uid);
    const QStringList lines = outputLines(table);
    QString abstractCandidate;
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList columns = lineColumns(lines.at(i));
        if (columns.size() < 8) {
            continue;
        }
        const QString &path = columns.at(7);
        if (path.startsWith(QLatin1String("/tmp/dbus-"))) {
            if (ownedByTarget(path)) {
                return QStringLiteral("unix:path=") + path;
            }
        } else if (path.startsWith(QLatin1String("@/tmp/dbus-"))) {
            if (abstractCandidate.isEmpty()) {
                abstractCandidate = path;
            }
        } else if (path == runtimeBus) {
            return QStringLiteral("unix:path=") + path;
        }
    }
    if (!abstractCandidate.isEmpty()) {
        return QStringLiteral("unix:abstract=") + abstractCandidate.mid(1);
    }
    return std::nullopt;
}

QString sessionIdOfUser(const QString &sessionList, const QString &user)
{
    const QStringList lines = outputLines(sessionList);
    for (const QString &line : lines) {
        const QStringList columns = lineColumns(line);
        if (columns.size() >= 3 && columns.at(2) == user) {
            return columns.at(0);
        }
    }
    return QString();
}

QString busAddressFromEnvironBlock(const QByteArray &block)
{
    const QByteArray prefix(busVariable);
    int start = 0;
    while (start < block.size()) {
        int end = block.indexOf('\0', start);
        if (end < 0) {
            end = block.size();
        }
        if (end - start >= prefix.size() && block.mid(start, prefix.size()) == prefix) {
            return QString::fromUtf8(block.mid(start + prefix.size(), end - start - prefix.size()));
        }
        start = end + 1;
    }
    return QString();
}

std::optional<quint64> realUidFromStatus(const QString &status)
{
    const QStringList lines = status.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (const std::optional<quint64> uid = realUidFromStatusLine(line)) {
            return uid;
        }
    }
    return std::nullopt;
}

std::optional<quint64> realUidFromStatusLine(const QString &line)
{
    if (!line.startsWith(QLatin1String("Uid:"))) {
        return std::nullopt;
    }
    const QStringList parts = line.split(QLatin1Char('\t'));
    if (parts.size() < 2) {
        return std::nullopt;
    }
    return parseDecimal(parts.at(1).trimmed()).value_or(0);
}

QString busAddressFromEnviron(quint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return busAddressFromEnvironBlock(file.readAll());
}

std::optional<QString> findSessionBusAddress(const QString &user)
{
    const std::optional<quint64> uid = targetUid(user);
    if (!uid) {
        return std::nullopt;
    }

    if (const std::optional<QString> address = fromSocketTable(*uid)) {
        qInfo() << "[addr] from /proc/net/unix";
        return address;
    }

    if (const std::optional<QString> address = fromSessionLeader(user)) {
        qInfo() << "[addr] from leader environ";
        return address;
    }

    QDirIterator entries(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        entries.next();
        const std::optional<quint64> pid = parseDecimal(entries.fileName());
        if (!pid) {
            continue;
        }
        const std::optional<quint64> owner = processUid(*pid);
        if (!owner || *owner != *uid) {
            continue;
        }
        const QString address = busAddressFromEnviron(*pid);
        if (isUsableBusAddress(address)) {
            qInfo() << "[addr] from proc environ pid" << *pid;
            return address;
        }
    }
    return std::nullopt;
}

QString busPathFromAddress(const QString &address)
{
    const QLatin1String prefix("unix:path=");
    if (!address.startsWith(prefix)) {
        return QString();
    }
    QString path = address.mid(prefix.size());
    const int comma = path.indexOf(QLatin1Char(','));
    if (comma > 0) {
        path.truncate(comma);
    }
    return path;
}
