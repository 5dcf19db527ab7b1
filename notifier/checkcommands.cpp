// SPDX-License-Identifier: GPL-2.0-or-later
#include "checkcommands.h"

#include "policy.h"
#include "policycheck.h"

#include <KLocalizedString>

#include <QTextStream>

using PasswordExpirationPolicy::Finding;
using PasswordExpirationPolicy::PolicyFileKind;

namespace
{
bool printFindings(const QString &path, const QList<Finding> &findings, QTextStream &out)
{
    for (const Finding &finding : findings) {
        out << PasswordExpirationPolicy::findingText(path, finding) << Qt::endl;
    }
    return PasswordExpirationPolicy::hasError(findings);
}
} // namespace

int checkInstalledPolicy(QTextStream &out, const QDate &today)
{
    bool failed = false;
    for (const PolicyFileKind kind : {PolicyFileKind::LoginDefs, PolicyFileKind::UseraddDefaults, PolicyFileKind::Settings}) {
        const QString path = PasswordExpirationPolicy::policyFilePath(kind);
        failed |= printFindings(path, PasswordExpirationPolicy::checkPolicyFile(kind, path, PasswordExpirationPolicy::Presence::Installed, today), out);
    }
    // The reader has the last word on whether the programs can use the files
    // (the files may also have changed between the check and this read).
    const PasswordExpirationPolicy::Result<PasswordExpirationPolicy::Config> read = PasswordExpirationPolicy::loadConf();
    if (!read.hasValue() && !failed) {
        out << QStringLiteral("error: ") << read.error().message << Qt::endl;
        failed = true;
    }
    return failed ? 1 : 0;
}

int checkCandidateFile(const QString &kind, const QString &path, QTextStream &out, QTextStream &err, const QDate &today)
{
    const std::optional<PolicyFileKind> named = PasswordExpirationPolicy::policyFileKindNamed(kind);
    if (!named) {
        err << i18nd("pwexpiry-notifier", "Error: unknown kind of policy file \"%1\": give login.defs, useradd or settings.", kind) << Qt::endl;
        return 1;
    }
    return printFindings(path, PasswordExpirationPolicy::checkPolicyFile(*named, path, PasswordExpirationPolicy::Presence::Candidate, today), out) ? 1 : 0;
}
