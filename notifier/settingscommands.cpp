// SPDX-License-Identifier: GPL-2.0-or-later
#include "settingscommands.h"

#include "policy.h"

#include <KLocalizedString>

#include <QTextStream>

#include <cstdio>
#include <limits>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

bool parseEnableDisable(const QString &value, bool &ok)
{
    ok = true;
    if (value == QLatin1String("enable")) {
        return true;
    }
    if (value == QLatin1String("disable")) {
        return false;
    }
    ok = false;
    return false;
}

std::optional<qint32> parseNotifyDays(const QString &value)
{
    bool ok = false;
    const qlonglong days = value.toLongLong(&ok, 10);
    // A number that does not fit the stored field is refused rather than
    // silently wrapped into another number of days.
    if (!ok || days < std::numeric_limits<qint32>::min() || days > std::numeric_limits<qint32>::max()) {
        return std::nullopt;
    }
    return static_cast<qint32>(days);
}

namespace
{
const QString &dateFormat()
{
    static const QString format = QStringLiteral("yyyy-MM-dd");
    return format;
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString badDaysText(const QString &value, const QString &option, qint32 lowest)
{
    return i18nd("pwexpiry-notifier",
                 "Error: invalid value \"%1\" for --%2: give a whole number of days from %3 (not set) to %4.",
                 value,
                 option,
                 QString::number(lowest),
                 QString::number(largestAgeDays));
}
} // namespace

std::optional<qint32> parseAgeDays(const QString &value, qint32 lowest)
{
    const std::optional<qint32> days = parseNotifyDays(value);
    if (!days || *days < lowest || *days > largestAgeDays) {
        return std::nullopt;
    }
    return days;
}

std::optional<QDate> parseExpireOption(const QString &value)
{
    if (value == QLatin1String("none")) {
        return QDate();
    }
    // Digits in fixed places only: QDate would also take a "+" in a field.
    if (value.size() != 10) {
        return std::nullopt;
    }
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const bool ok = (i == 4 || i == 7) ? c == QLatin1Char('-') : (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (!ok) {
            return std::nullopt;
        }
    }
    const QDate date = QDate::fromString(value, dateFormat());
    if (!date.isValid()) {
        return std::nullopt;
    }
    return date;
}

std::variant<PolicyChanges, QString> parsePolicyOptions(const SetOptions &options)
{
    PolicyChanges changes;
    const struct {
        const std::optional<QString> &value;
        const char *option;
        qint32 lowest;
        std::optional<qint32> &target;
    } ages[] = {
        {options.minDays, "set-min-days", 0, changes.passMinDays},
        {options.maxDays, "set-max-days", -1, changes.passMaxDays},
        {options.warnAge, "set-warn-age", -1, changes.passWarnAge},
        {options.inactive, "set-inactive", -1, changes.inactiveDays},
    };
    for (const auto &age : ages) {
        if (!age.value) {
            continue;
        }
        age.target = parseAgeDays(*age.value, age.lowest);
        if (!age.target) {
            return badDaysText(*age.value, QLatin1String(age.option), age.lowest);
        }
    }
    if (options.expire) {
        changes.expireDate = parseExpireOption(*options.expire);
        if (!changes.expireDate) {
            return i18nd("pwexpiry-notifier", "Error: invalid value \"%1\" for --set-expire: give a date as YYYY-MM-DD, or none.", *options.expire);
        }
    }
    return changes;
}

std::variant<PasswordExpirationPolicy::Config, QString>
changedPolicy(const PasswordExpirationPolicy::Config &stored, const PolicyChanges &changes, const QDate &today)
{
    PasswordExpirationPolicy::Config config = stored;
    config.passMinDays = changes.passMinDays.value_or(config.passMinDays);
    config.passMaxDays = changes.passMaxDays.value_or(config.passMaxDays);
    config.passWarnAge = changes.passWarnAge.value_or(config.passWarnAge);
    config.inactiveDays = changes.inactiveDays.value_or(config.inactiveDays);
    config.expireDate = changes.expireDate.value_or(config.expireDate);

    // As on the settings page: a maximum that is not set (-1) means that
    // passwords never expire, which goes with any minimum.
    if (config.passMinDays > 0 && config.passMaxDays >= 0 && config.passMaxDays < config.passMinDays) {
        return i18nd("pwexpiry-notifier",
                     "Error: the maximum password validity period (%1 days) is less than the minimum validity period (%2 days); nothing was saved.",
                     QString::number(config.passMaxDays),
                     QString::number(config.passMinDays));
    }
    // The page's date field starts at today, or at the stored date when that is earlier.
    if (changes.expireDate && config.expireDate.isValid() && config.expireDate < today && config.expireDate != stored.expireDate) {
        return i18nd("pwexpiry-notifier",
                     "Error: the account expiry date %1 has passed: give today or a later date, or none; nothing was saved.",
                     config.expireDate.toString(dateFormat()));
    }
    return config;
}

QStringList policyLines(const PasswordExpirationPolicy::Config &config)
{
    const QString expire = config.expireDate.isValid() ? config.expireDate.toString(dateFormat()) : QString();
    return {
        QStringLiteral("PASS_MIN_DAYS=") + QString::number(config.passMinDays),
        QStringLiteral("PASS_MAX_DAYS=") + QString::number(config.passMaxDays),
        QStringLiteral("PASS_WARN_AGE=") + QString::number(config.passWarnAge),
        QStringLiteral("INACTIVE=") + QString::number(config.inactiveDays),
        QStringLiteral("EXPIRE=") + expire,
        QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL=") + boolText(config.receiveNotifyForLocal),
        QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN=") + boolText(config.receiveNotifyForDomain),
        QStringLiteral("NOTIFY_DAYS=") + QString::number(config.notifyDays),
    };
}

QString unreadablePolicyText()
{
    return i18nd("pwexpiry-notifier", "Error: cannot read the policy; run \"pwexpiry-notifier --check\" for details.");
}

int applySetOptions(const SetOptions &options, QTextStream &out, QTextStream &err, const QDate &today)
{
    std::optional<bool> local;
    std::optional<bool> domain;
    std::optional<qint32> notifyDays;

    if (options.local) {
        bool ok = false;
        local = parseEnableDisable(*options.local, ok);
        if (!ok) {
            return 1;
        }
    }
    if (options.domain) {
        bool ok = false;
        domain = parseEnableDisable(*options.domain, ok);
        if (!ok) {
            return 1;
        }
        if (*domain) {
            out << i18nd("pwexpiry-notifier",
                         "Information: When enabling reminders for domain users, it is recommended to make sure that correct entry for domain "
                         "controller (IP address and full domain name) is present in /etc/hosts. Otherwise, there may be errors when accessing "
                         "LDAP.")
                << Qt::endl;
        }
    }
    if (options.notifyDays) {
        notifyDays = parseNotifyDays(*options.notifyDays);
        if (!notifyDays) {
            return 1;
        }
    }

    // Every value is checked before anything is read or saved.
    const std::variant<PolicyChanges, QString> changes = parsePolicyOptions(options);
    if (const QString *refusal = std::get_if<QString>(&changes)) {
        err << *refusal << Qt::endl;
        return 1;
    }
    // The reminder options alone keep their silent failures, on which
    // scripts may rely.
    const bool tell = options.anyPolicy();

    const PasswordExpirationPolicy::Result<PasswordExpirationPolicy::Config> loaded = PasswordExpirationPolicy::loadConf();
    if (!loaded.hasValue()) {
        if (tell) {
            err << unreadablePolicyText() << Qt::endl;
        }
        return 1;
    }
    PasswordExpirationPolicy::Config stored = loaded.value();
    if (local) {
        stored.receiveNotifyForLocal = *local;
    }
    if (domain) {
        stored.receiveNotifyForDomain = *domain;
    }
    if (notifyDays) {
        stored.notifyDays = *notifyDays;
    }
    const std::variant<PasswordExpirationPolicy::Config, QString> changed = changedPolicy(stored, std::get<PolicyChanges>(changes), today);
    if (const QString *refusal = std::get_if<QString>(&changed)) {
        err << *refusal << Qt::endl;
        return 1;
    }
    const QVariant saved = PasswordExpirationPolicy::saveConf(std::get<PasswordExpirationPolicy::Config>(changed));
    if (saved.isNull()) {
        return 0;
    }
    if (tell) {
        err << i18nd("pwexpiry-notifier", "Error: the policy could not be saved: %1", saved.value<PasswordExpirationPolicy::Error>().message) << Qt::endl;
    }
    return 1;
}

void exitAfterSave(int status)
{
    // saveConf goes through KAuth, whose polkit backend leaves GLib's D-Bus
    // threads running in this process. If the process then runs its exit
    // handlers and unloads its libraries, those threads can touch library
    // state that is already gone and crash the process after its work is
    // done (seen about once in a thousand saves as a segmentation fault or
    // abort, which turned a saved setting into a failed exit status). Nothing
    // is left to tear down that matters outside the process, so end it here.
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    // The leak check that would have run at exit.
    __lsan_do_leak_check();
#endif
    _exit(status);
}
