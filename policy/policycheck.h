// SPDX-License-Identifier: GPL-2.0-or-later
// Checking the three policy files by the rules by which both programs read
// them: an error for whatever makes the policy unreadable, a warning for what
// reads but most likely not as it was meant.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace PasswordExpirationPolicy
{

struct Finding {
    enum Severity {
        Warning,
        Error,
    };
    // 1-based; 0 for the file as a whole.
    int line = 0;
    Severity severity = Error;
    // English, as the library's own messages.
    QString message;
};

enum class PolicyFileKind {
    LoginDefs,
    UseraddDefaults,
    Settings,
};

// The checks over a file's bytes. `today` decides whether EXPIRE has passed.
QList<Finding> checkLoginDefs(const QByteArray &content);
QList<Finding> checkUseraddDefaults(const QByteArray &content, const QDate &today);
QList<Finding> checkSettings(const QByteArray &content);
QList<Finding> checkPolicyText(PolicyFileKind kind, const QByteArray &content, const QDate &today);

// A missing reminder settings file is no error for the installed policy (it
// reads as "no reminders"), but a candidate that is not there is.
enum class Presence {
    Installed,
    Candidate,
};

// Reads the file at `path` as the reader does and checks it.
QList<Finding> checkPolicyFile(PolicyFileKind kind, const QString &path, Presence presence, const QDate &today);

// The fixed path of each file.
QString policyFilePath(PolicyFileKind kind);

// "login.defs", "useradd" or "settings"; nothing for any other name.
std::optional<PolicyFileKind> policyFileKindNamed(QStringView name);

bool hasError(const QList<Finding> &findings);

// "PATH:LINE: error: MESSAGE", or "PATH: warning: MESSAGE" for the file as a whole.
QString findingText(const QString &path, const Finding &finding);

} // namespace PasswordExpirationPolicy
