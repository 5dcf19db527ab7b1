// SPDX-License-Identifier: GPL-2.0-or-later
#include "policyhelper.h"

#include "policy.h"
#include "policyrequest.h"

#include <KAuth/HelperSupport>

#include <cstdio>

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
    // The caller shows its own text; the reason goes to the system log
    // (standard error, which the bus daemon passes on to it). Qt's logging
    // would go to the caller instead: KAuth forwards a helper's messages.
    std::fprintf(stderr, "pwexpiry-policy-helper: policy change refused: %s\n", qUtf8Printable(error.message));
    std::fflush(stderr);
    KAuth::ActionReply reply = KAuth::ActionReply::HelperErrorReply();
    reply.setErrorDescription(error.message);
    return reply;
}

KAUTH_HELPER_MAIN("orvane.kcm.policyexpiration", PolicyHelper)
