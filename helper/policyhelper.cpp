// SPDX-License-Identifier: GPL-2.0-or-later
#include "policyhelper.h"

#include "policy.h"
#include "policyrequest.h"

#include <KAuth/HelperSupport>

#include <QDebug>

#include <sys/stat.h>

using namespace PasswordExpirationPolicy;

PolicyHelper::PolicyHelper()
{
    // A settings directory or file created by the first save must be readable
    // by everyone, whatever mask the bus daemon passed on.
    umask(022);
}

KAuth::ActionReply PolicyHelper::change(const QVariantMap &args)
{
    const QVariant result = handleChangeRequest(args, systemPolicyPaths());
    if (result.isNull()) {
        return KAuth::ActionReply::SuccessReply();
    }
    const Error error = result.value<Error>();
    // The caller shows its own text; the reason goes to the system log.
    qWarning().noquote() << "policy change refused:" << error.message;
    KAuth::ActionReply reply = KAuth::ActionReply::HelperErrorReply();
    reply.setErrorDescription(error.message);
    return reply;
}

KAUTH_HELPER_MAIN("orvane.kcm.policyexpiration", PolicyHelper)
