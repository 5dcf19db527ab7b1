// SPDX-License-Identifier: GPL-2.0-or-later
#include "policy.h"

#include <KAuth/Action>
#include <KAuth/ExecuteJob>

namespace PasswordExpirationPolicy
{

QVariant saveConf(const Config &config)
{
    static const QString actionName = QStringLiteral("orvane.kcm.policyexpiration.change");
    static const QString helperId = QStringLiteral("orvane.kcm.policyexpiration");
    static const QString configKey = QStringLiteral("config");

    KAuth::Action action(actionName);
    action.setHelperId(helperId);
    action.setArguments(QVariantMap{{configKey, QVariant::fromValue(config)}});

    KAuth::ExecuteJob *job = action.execute();
    if (job->exec()) {
        return QVariant();
    }
    return QVariant::fromValue(Error{-1, job->errorText()});
}

} // namespace PasswordExpirationPolicy
