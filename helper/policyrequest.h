// SPDX-License-Identifier: GPL-2.0-or-later
// What the privileged helper accepts: the checks it makes on a request
// before anything is written.
#pragma once

#include "policy.h"

#include <QVariantMap>

namespace PasswordExpirationPolicy
{

// The record carried under "config", the one argument the change action
// takes, or the reason to refuse the arguments.
Result<Config> configFromArguments(const QVariantMap &arguments);

// Null when the policy files could hold the record, that is when the reader
// would accept it back; otherwise an Error naming the first refused value.
QVariant checkConfig(const Config &config);

} // namespace PasswordExpirationPolicy
