// SPDX-License-Identifier: GPL-2.0-or-later
#include "accountclassifier.h"

#include "commandrunner.h"

#include <QRegularExpression>

namespace
{
constexpr int toolTimeoutMs = 3000;

bool holdsDomainMark(const QString &text)
{
    return text.contains(QLatin1Char('@')) || text.contains(QLatin1Char('\\'));
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

AccountKind classifyAccount(const QString &name)
{
    if (nameMarksDomain(name)) {
        return AccountKind::Domain;
    }

    QByteArray output;
    if (runCmd(QStringLiteral("/usr/sbin/sssctl"), {QStringLiteral("user-show"), name, QStringLiteral("--no-pager")}, output, toolTimeoutMs)
        && directoryMarksDomain(outputToText(output))) {
        return AccountKind::Domain;
    }

    QByteArray groups;
    if (!runCmd(QStringLiteral("/usr/bin/id"), {QStringLiteral("-n"), QStringLiteral("-G"), name}, groups, toolTimeoutMs)) {
        return AccountKind::Local;
    }
    return groupsMarkDomain(outputToText(groups)) ? AccountKind::Domain : AccountKind::Local;
}
