// SPDX-License-Identifier: GPL-2.0-or-later
// The --set-* options: parsing their values and storing them.
#pragma once

#include "policy.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

class QTextStream;

// "enable" -> true, "disable" -> false, both with ok set; anything else clears ok.
bool parseEnableDisable(const QString &value, bool &ok);

// A decimal day count that fits the 32-bit field, or nothing.
std::optional<qint32> parseNotifyDays(const QString &value);

// The largest day count the settings page takes for the four ages.
constexpr qint32 largestAgeDays = 99999;

// A day count of one of the four ages: a whole number from `lowest` (the
// value for "not set") to largestAgeDays, or nothing.
std::optional<qint32> parseAgeDays(const QString &value, qint32 lowest);

// An account expiry date as YYYY-MM-DD, or "none" for the null date; nothing
// for anything else.
std::optional<QDate> parseExpireOption(const QString &value);

struct SetOptions {
    // The reminder settings.
    std::optional<QString> local;
    std::optional<QString> domain;
    std::optional<QString> notifyDays;
    // The password-aging policy.
    std::optional<QString> minDays;
    std::optional<QString> maxDays;
    std::optional<QString> warnAge;
    std::optional<QString> inactive;
    std::optional<QString> expire;

    bool anyPolicy() const
    {
        return minDays || maxDays || warnAge || inactive || expire;
    }
    bool any() const
    {
        return local || domain || notifyDays || anyPolicy();
    }
};

// The parsed values of the password-aging options; each only where given.
struct PolicyChanges {
    std::optional<qint32> passMinDays;
    std::optional<qint32> passMaxDays;
    std::optional<qint32> passWarnAge;
    std::optional<qint32> inactiveDays;
    std::optional<QDate> expireDate; // a null date for "none"
};

// The values of the password-aging options, or the message about the first
// one that is refused.
std::variant<PolicyChanges, QString> parsePolicyOptions(const SetOptions &options);

// The stored policy with the changes made, or the message that refuses it,
// by the rules of the settings page: a maximum below the minimum (with both
// set), and an expiry date before today unless it is the stored one.
std::variant<PasswordExpirationPolicy::Config, QString>
changedPolicy(const PasswordExpirationPolicy::Config &stored, const PolicyChanges &changes, const QDate &today);

// The whole policy as --policy prints it: one KEY=VALUE line per key, with
// the keys and the value texts of the policy files.
QStringList policyLines(const PasswordExpirationPolicy::Config &config);

// What --info and --policy print on standard error when the policy cannot be read.
QString unreadablePolicyText();

// Evaluates the given options, merges them into the stored policy and saves
// it through the privileged helper. Returns the program's exit status. The
// reminder options alone fail silently; with any aging option every failure
// is told on `err`.
int applySetOptions(const SetOptions &options, QTextStream &out, QTextStream &err, const QDate &today);

// Ends the process with the given status at once, after flushing the
// standard streams, skipping the exit-time teardown of the libraries.
[[noreturn]] void exitAfterSave(int status);
