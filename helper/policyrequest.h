// SPDX-License-Identifier: GPL-2.0-or-later
// What the privileged helper does with a request: the checks it makes before
// anything is written, the writing, and putting the files back when a save
// fails part-way.
#pragma once

#include "policy.h"

#include <QVariantMap>

namespace PasswordExpirationPolicy
{

// The three policy files a request changes.
struct PolicyPaths {
    QString loginDefs;
    QString useraddDefaults;
    QString settings;
};

// /etc/login.defs, /etc/default/useradd and the reminder settings file.
PolicyPaths systemPolicyPaths();

// The record carried under "config", the one argument the change action
// takes, or the reason to refuse the arguments.
Result<Config> configFromArguments(const QVariantMap &arguments);

// Null when the policy files could hold the record, that is when the reader
// would accept it back; otherwise an Error naming the first refused value.
QVariant checkConfig(const Config &config);

// One change request, all or nothing: checks the arguments and the record,
// stores it, and reads the files back. Null when the files now hold the
// record. Otherwise every file that the save had already replaced (or
// created) is put back as it was, content, owner and mode, and the Error
// explains the failure (and any file that could not be put back).
QVariant handleChangeRequest(const QVariantMap &arguments, const PolicyPaths &paths);

} // namespace PasswordExpirationPolicy
