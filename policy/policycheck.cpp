// SPDX-License-Identifier: GPL-2.0-or-later
// The checks work from the reader's own pieces (its line rules, key sets,
// number and date rules, its INI document and switch rule), so that what a
// check calls an error is exactly what makes loadConf fail.
#include "policycheck.h"

#include "policy_p.h"

#include <algorithm>

namespace PasswordExpirationPolicy
{

namespace
{
Finding error(int line, const QString &message)
{
    return Finding{line, Finding::Error, message};
}

Finding warning(int line, const QString &message)
{
    return Finding{line, Finding::Warning, message};
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool isKeyCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Why a day count is refused by readIntParam (or NOTIFY_DAYS by the settings
// reader); `minimum` is nothing where no lower bound holds.
QString badNumberText(const QString &key, const QString &value, std::optional<int> minimum)
{
    if (value.isEmpty()) {
        return QStringLiteral("%1 has no value").arg(key);
    }
    if (parseDayCount(value) && minimum) {
        const QString lowest = *minimum == -1 ? QStringLiteral("-1, not set") : QString::number(*minimum);
        return QStringLiteral("%1 is %2, below its lowest value (%3)").arg(key, value, lowest);
    }
    bool digitsOnly = true;
    const QString trimmed = value.trimmed();
    for (int i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        const bool sign = i == 0 && (c == QLatin1Char('+') || c == QLatin1Char('-'));
        if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9'))) {
            digitsOnly = false;
        }
    }
    if (digitsOnly && trimmed.size() > 1) {
        return QStringLiteral("%1 is %2, beyond the range of the programs' numbers (-2147483648 to 2147483647)").arg(key, value);
    }
    if (value.contains(QLatin1Char('#'))) {
        return QStringLiteral("%1 has the value %2: a comment must stand on a line of its own").arg(key, quoted(value));
    }
    return QStringLiteral("%1 has the value %2, which is not a whole number").arg(key, quoted(value));
}

// One definition of a key in a system file.
struct Definition {
    int line = 0;
    QString value;
};

struct SystemFileScan {
    // The first definition of each key: the one a readable file holds.
    QMap<QString, Definition> definitions;
    QList<Finding> findings;
};

enum class Syntax {
    LoginDefs,
    Useradd,
};

// A line the reader passes over that still names one of the keys: written in
// other letters, or without the separator the file needs.
std::optional<Finding> lookalike(int lineNumber, const QString &text, const QString &readKey, const QSet<QString> &keys, Syntax syntax)
{
    for (const QString &key : keys) {
        if (text.size() < key.size() || text.left(key.size()).compare(key, Qt::CaseInsensitive) != 0
            || (text.size() > key.size() && isKeyCharacter(text.at(key.size())))) {
            continue;
        }
        const QString rest = text.mid(key.size());
        if (text.left(key.size()) != key) {
            return warning(lineNumber, QStringLiteral("%1 is not read as %2: keys are written in capitals").arg(quoted(readKey), key));
        }
        if (syntax == Syntax::LoginDefs) {
            return warning(lineNumber, QStringLiteral("%1 is not read as %2: a blank or tab must separate the key from its value").arg(quoted(text), key));
        }
        if (rest.trimmed().startsWith(QLatin1Char('='))) {
            return warning(lineNumber, QStringLiteral("%1 is not read as %2: no blank may stand before \"=\"").arg(quoted(text), key));
        }
        return warning(lineNumber, QStringLiteral("%1 is not read as %2: the key must be followed by \"=\"").arg(quoted(text), key));
    }
    return std::nullopt;
}

SystemFileScan scanSystemFile(const QByteArray &content, const QSet<QString> &keys, SeparatorPredicate isSeparator, Syntax syntax)
{
    SystemFileScan scan;
    const PolicyText text = splitPolicyText(content);
    for (int i = 0; i < text.lines.size(); ++i) {
        const int lineNumber = i + 1;
        const QByteArray trimmed = trimmedLine(text.lines.at(i));
        if (trimmed.isEmpty()) {
            continue;
        }
        const PolicyLine line = policyLine(trimmed, isSeparator);
        if (line.comment) {
            continue;
        }
        if (!keys.contains(line.key)) {
            if (const std::optional<Finding> finding = lookalike(lineNumber, decodedText(trimmed), line.key, keys, syntax)) {
                scan.findings.append(*finding);
            }
            continue;
        }
        const auto first = scan.definitions.constFind(line.key);
        if (first != scan.definitions.constEnd()) {
            scan.findings.append(
                error(lineNumber, QStringLiteral("%1 is defined again (first on line %2); a key may be defined only once").arg(line.key).arg(first->line)));
            continue;
        }
        scan.definitions.insert(line.key, Definition{lineNumber, line.value});
    }
    return scan;
}

ParamMap paramsOf(const SystemFileScan &scan)
{
    ParamMap params;
    for (auto it = scan.definitions.constBegin(); it != scan.definitions.constEnd(); ++it) {
        params.insert(it.key(), it->value);
    }
    return params;
}

// The day counts of the file, each checked by readIntParam; a value that does
// not read is an error and stays out of the result.
QMap<QString, qint32> checkDayCounts(SystemFileScan &scan, bool loginDefs)
{
    QMap<QString, qint32> values;
    const ParamMap params = paramsOf(scan);
    for (const DayCountParam &param : dayCountParams) {
        if (param.inLoginDefs != loginDefs) {
            continue;
        }
        const QString key = QLatin1String(param.key);
        const Result<int> value = readIntParam(params, key, param.minimum);
        if (value.hasValue()) {
            values.insert(key, value.value());
        } else {
            const Definition definition = scan.definitions.value(key);
            scan.findings.append(error(definition.line, badNumberText(key, definition.value, param.minimum)));
        }
    }
    return values;
}

void sortByLine(QList<Finding> &findings)
{
    std::stable_sort(findings.begin(), findings.end(), [](const Finding &a, const Finding &b) {
        return a.line < b.line;
    });
}

int lineAt(const QByteArray &data, int offset)
{
    return int(data.left(offset).count('\n')) + 1;
}

const QStringList &reminderKeys()
{
    static const QStringList keys{QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL"), QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN"), QStringLiteral("NOTIFY_DAYS")};
    return keys;
}

std::optional<Finding> checkSwitch(const QString &key, const IniValue &value, int line)
{
    const std::optional<bool> flag = reminderFlag(&value);
    if (!flag) {
        return error(line, QStringLiteral("%1 holds a serialised value, which the programs cannot read").arg(key));
    }
    switch (value.kind) {
    case IniValue::Text: {
        static const QStringList plain{QStringLiteral("true"), QStringLiteral("false"), QStringLiteral("1"), QStringLiteral("0")};
        if (value.text.isEmpty() || plain.contains(value.text, Qt::CaseInsensitive)) {
            return std::nullopt;
        }
        return warning(line,
                       QStringLiteral("%1=%2 reads as true: only false, 0 or an empty value switch reminders off; write true or false").arg(key, value.text));
    }
    case IniValue::List:
        return warning(line, QStringLiteral("%1 is a list (%2) and reads as false; write true or false").arg(key, value.items.join(QStringLiteral(", "))));
    case IniValue::Invalid:
        return warning(line, QStringLiteral("%1 is @Invalid() and reads as false; write true or false").arg(key));
    case IniValue::Unsupported:
        break;
    }
    return std::nullopt;
}
} // namespace

QList<Finding> checkLoginDefs(const QByteArray &content)
{
    SystemFileScan scan = scanSystemFile(content, loginDefsKeys(), isLoginDefsSeparator, Syntax::LoginDefs);
    const QMap<QString, qint32> values = checkDayCounts(scan, true);

    const QString minKey = QStringLiteral("PASS_MIN_DAYS");
    const QString maxKey = QStringLiteral("PASS_MAX_DAYS");
    const QString warnKey = QStringLiteral("PASS_WARN_AGE");
    // A maximum that is not set (-1) goes with any minimum, as on the
    // settings page.
    if (values.contains(minKey) && values.contains(maxKey)) {
        const qint32 minimum = values.value(minKey);
        const qint32 maximum = values.value(maxKey);
        if (maximum >= 0 && maximum < minimum) {
            scan.findings.append(
                warning(scan.definitions.value(maxKey).line,
                        QStringLiteral("PASS_MAX_DAYS %1 is below PASS_MIN_DAYS %2 (line %3): a password would expire before it may be changed")
                            .arg(maximum)
                            .arg(minimum)
                            .arg(scan.definitions.value(minKey).line)));
        }
    }
    if (values.contains(warnKey) && values.contains(maxKey)) {
        const qint32 warnAge = values.value(warnKey);
        const qint32 maximum = values.value(maxKey);
        if (warnAge >= 0 && maximum >= 0 && warnAge > maximum) {
            scan.findings.append(warning(
                scan.definitions.value(warnKey).line,
                QStringLiteral("PASS_WARN_AGE %1 is longer than PASS_MAX_DAYS %2 (line %3): users would be warned from the day they change their password")
                    .arg(warnAge)
                    .arg(maximum)
                    .arg(scan.definitions.value(maxKey).line)));
        }
    }
    sortByLine(scan.findings);
    return scan.findings;
}

QList<Finding> checkUseraddDefaults(const QByteArray &content, const QDate &today)
{
    SystemFileScan scan = scanSystemFile(content, useraddKeys(), isUseraddSeparator, Syntax::Useradd);
    checkDayCounts(scan, false);

    const QString expireKey = QStringLiteral("EXPIRE");
    const Result<QDate> expire = readExpireDate(paramsOf(scan));
    const Definition definition = scan.definitions.value(expireKey);
    if (!expire.hasValue()) {
        scan.findings.append(
            error(definition.line, QStringLiteral("EXPIRE is %1, which is not a date in the form YYYY-MM-DD (or empty)").arg(quoted(definition.value))));
    } else if (expire.value().isValid() && expire.value() < today) {
        scan.findings.append(warning(
            definition.line,
            QStringLiteral("EXPIRE %1 has passed: accounts created now would be expired from the start").arg(expire.value().toString(expireDateFormat()))));
    }
    sortByLine(scan.findings);
    return scan.findings;
}

QList<Finding> checkSettings(const QByteArray &content)
{
    QList<Finding> findings;
    const IniDocument document = parseIniDocument(content);
    if (!document.wellFormed) {
        const int line = lineAt(content, document.malformedAt);
        findings.append(content.at(document.malformedAt) == '['
                            ? error(line, QStringLiteral("a section header without \"]\""))
                            : error(line, QStringLiteral("neither KEY=VALUE, a [section] header nor a comment (\";\" or \"#\" first)")));
    }

    for (const QString &key : reminderKeys()) {
        const int counted = countedEntry(document, key);
        for (int i = 0; i < document.entries.size(); ++i) {
            const IniEntry &entry = document.entries.at(i);
            const int line = lineAt(content, entry.start);
            if (entry.key == key) {
                if (i != counted) {
                    findings.append(warning(line,
                                            QStringLiteral("%1 is not read here: line %2 defines it again, and the last definition counts")
                                                .arg(key)
                                                .arg(lineAt(content, document.entries.at(counted).start))));
                }
                continue;
            }
            const int slash = entry.key.lastIndexOf(QLatin1Char('/'));
            const QString name = entry.key.mid(slash + 1);
            if (name == key) {
                findings.append(warning(line,
                                        QStringLiteral("%1 in section [%2] is not read: the programs read it only before any section or in [General]")
                                            .arg(key, entry.key.left(slash))));
            } else if (slash < 0 && name.compare(key, Qt::CaseInsensitive) == 0) {
                findings.append(warning(line, QStringLiteral("%1 is not read as %2: keys are written in capitals").arg(quoted(name), key)));
            }
        }
        if (counted < 0) {
            continue;
        }
        const IniEntry &entry = document.entries.at(counted);
        const int line = lineAt(content, entry.start);
        if (key != QLatin1String("NOTIFY_DAYS")) {
            if (const std::optional<Finding> finding = checkSwitch(key, entry.value, line)) {
                findings.append(*finding);
            }
            continue;
        }
        if (entry.value.kind != IniValue::Text) {
            findings.append(error(line, QStringLiteral("NOTIFY_DAYS is not a single number")));
            continue;
        }
        const std::optional<qint32> days = parseDayCount(entry.value.text);
        if (!days) {
            findings.append(error(line, badNumberText(key, entry.value.text, std::nullopt)));
        } else if (*days <= 0) {
            findings.append(warning(line, QStringLiteral("NOTIFY_DAYS is %1: users are reminded only once their password has expired").arg(*days)));
        }
    }
    sortByLine(findings);
    return findings;
}

QList<Finding> checkPolicyText(PolicyFileKind kind, const QByteArray &content, const QDate &today)
{
    switch (kind) {
    case PolicyFileKind::LoginDefs:
        return checkLoginDefs(content);
    case PolicyFileKind::UseraddDefaults:
        return checkUseraddDefaults(content, today);
    case PolicyFileKind::Settings:
        break;
    }
    return checkSettings(content);
}

QList<Finding> checkPolicyFile(PolicyFileKind kind, const QString &path, Presence presence, const QDate &today)
{
    const PolicyFile file = readPolicyFile(path, Links::Follow);
    switch (file.status) {
    case PolicyFile::Read:
        return checkPolicyText(kind, file.content, today);
    case PolicyFile::Absent:
        if (kind == PolicyFileKind::Settings && presence == Presence::Installed) {
            return {warning(0, QStringLiteral("absent: no reminders are shown (read as RECEIVE_NOTIFY_FOR_LOCAL=false, RECEIVE_NOTIFY_FOR_DOMAIN=false)"))};
        }
        break;
    case PolicyFile::Failed:
        break;
    }
    return {error(0, QStringLiteral("cannot be read: %1").arg(file.reason))};
}

QString policyFilePath(PolicyFileKind kind)
{
    switch (kind) {
    case PolicyFileKind::LoginDefs:
        return loginDefsPath();
    case PolicyFileKind::UseraddDefaults:
        return useraddDefaultsPath();
    case PolicyFileKind::Settings:
        break;
    }
    return settingsPath();
}

std::optional<PolicyFileKind> policyFileKindNamed(QStringView name)
{
    if (name == QLatin1String("login.defs")) {
        return PolicyFileKind::LoginDefs;
    }
    if (name == QLatin1String("useradd")) {
        return PolicyFileKind::UseraddDefaults;
    }
    if (name == QLatin1String("settings")) {
        return PolicyFileKind::Settings;
    }
    return std::nullopt;
}

bool hasError(const QList<Finding> &findings)
{
    return std::any_of(findings.cbegin(), findings.cend(), [](const Finding &finding) {
        return finding.severity == Finding::Error;
    });
}

QString findingText(const QString &path, const Finding &finding)
{
    const QString severity = finding.severity == Finding::Error ? QStringLiteral("error") : QStringLiteral("warning");
    const QString where = finding.line > 0 ? path + QLatin1Char(':') + QString::number(finding.line) : path;
    return where + QStringLiteral(": ") + severity + QStringLiteral(": ") + finding.message;
}

} // namespace PasswordExpirationPolicy
