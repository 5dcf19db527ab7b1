// SPDX-License-Identifier: GPL-2.0-or-later
#include "policyhelper.h"

#include "policy.h"
#include "policyrequest.h"

#include <KAuth/HelperSupport>

#include <sys/stat.h>

using namespace PasswordExpirationPolicy;

namespace
{
KAuth::ActionReply errorReply(const Error &error)
{
    KAuth::ActionReply reply = KAuth::ActionReply::HelperErrorReply();
    reply.setErrorDescription(error.message);
    return reply;
}
} // namespace

PolicyHelper::PolicyHelper()
{
    // A settings directory or file created by the first save must be readable
    // by everyone, whatever mask the bus daemon passed on.
    umask(022);
}

KAuth::ActionReply PolicyHelper::change(const QVariantMap &args)
{
    const Result<Config> request = configFromArguments(args);
    if (!request.hasValue()) {
        return errorReply(request.error());
    }
    const Config config = request.value();
    const QVariant refused = checkConfig(config);
    if (!refused.isNull()) {
        return errorReply(refused.value<Error>());
    }

    const QVariant written = writeAllParamsToConf(config);
    if (!written.isNull()) {
        return errorReply(written.value<Error>());
    }

    // Success means the files now hold the record, as the next reader sees it.
    const Result<Config> stored = loadConf();
    if (!stored.hasValue()) {
        return errorReply(stored.error());
    }
    if (stored.value() != config) {
        return errorReply(Error{-1, QStringLiteral("The configuration files do not hold the saved values")});
    }
    return KAuth::ActionReply::SuccessReply();
}

KAUTH_HELPER_MAIN("orvane.kcm.policyexpiration", PolicyHelper)
