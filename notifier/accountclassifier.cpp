// SPDX-License-Identifier: GPL-2.0-or-later
#include "accountclassifier.h"

#include "commandrunner.h"

#include <QFile>
#include <QRegularExpression>

namespace
{
constexpr int toolTimeoutMs = 3000;

bool holdsDomainMark(const QString &text)
{
    return text.contains(QLatin1Char('@')) || text.contains(QLatin1Char('\\'));
}

std::optional<QString> readLocalAccounts()
{
    QFile file(QStringLiteral("/etc/passwd"));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return QString::fromUtf8(content);
}
} // namespace

bool nameMarksDomain(const QString &name)
{
    return holdsDomainMark(name);
}

QHash<QString, QString> directoryKeyMap(const QString &text)
{
    QHash<QString, QString> map;
    const QStringList lines = outputLines(text);
    for (const QString &line : lines) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0) {
            continue;
        }
        map.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    return map;
}

bool directoryMarksDomain(const QString &text)
{
    const QHash<QString, QString> map = directoryKeyMap(text);
    const QString domainNameKey = QStringLiteral("domain name");
    const QString domain = map.contains(domainNameKey) ? map.value(domainNameKey) : map.value(QStringLiteral("domain-name"));
    if (!domain.isEmpty()) {
        return true;
    }
    return map.value(QStringLiteral("name")).contains(QLatin1Char('@'));
}

bool groupsMarkDomain(const QString &text)
{
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
    const QStringList groups = text.split(whiteSpace, Qt::SkipEmptyParts);
    for (const QString &group : groups) {
        if (holdsDomainMark(group)) {
            return true;
        }
    }
    return false;
}

bool localFilesListAccount(const QString &passwd, const QString &name)
{
    const QStringList lines = outputLines(passwd);
    for (const QString &line : lines) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon >= 0 && QStringView(line).left(colon) == name) {
            return true;
        }
    }
    return false;
}

AccountKind kindFromGroupList(const QString &groups, const QString &name, const std::optional<QString> &passwd)
{
    if (groupsMarkDomain(groups)) {
        return AccountKind::Domain;
    }
    // SSSD with short names prints neither a domain nor a marked group for a
    // directory user; what tells it from a local one is where it lives.
    if (passwd && !localFilesListAccount(*passwd, name)) {
        return AccountKind::Domain;
    }
    return AccountKind::Local;
}

AccountKind classifyAccount(const QString &name)
{
    if (nameMarksDomain(name)) {
        return AccountKind::Domain;
    }

    // sssctl has no pager option: given one, it refuses the whole call.
    QByteArray output;
    if (runCmd(QStringLiteral("/usr/sbin/sssctl"), {QStringLiteral("user-show"), name}, output, toolTimeoutMs) && directoryMarksDomain(outputToText(output))) {
        return AccountKind::Domain;
    }

    // id fails for a name the name service does not know.
    QByteArray groups;
    if (!runCmd(QStringLiteral("/usr/bin/id"), {QStringLiteral("-n"), QStringLiteral("-G"), name}, groups, toolTimeoutMs)) {
        return AccountKind::Local;
    }
    return kindFromGroupList(outputToText(groups), name, readLocalAccounts());
}
