// SPDX-License-Identifier: GPL-2.0-or-later
// Tells local accounts from domain (directory) accounts.
#pragma once

#include "activesession.h"

#include <QHash>
#include <QString>

#include <optional>

// Local or Domain, never Unknown: the name's form first, then the directory
// client (sssctl user-show), then the user's groups (id -n -G) together with
// the local account files (/etc/passwd). Runs at most two tools, each with
// 3000 ms time-outs.
AccountKind classifyAccount(const QString &name);

// The pure steps, over a login name or a tool's decoded output.

// True when the name carries a domain: an "@" or a backslash anywhere.
bool nameMarksDomain(const QString &name);

// The "key: value" lines of the directory client's output. The key is the
// text before the first colon (which may not be the line's first character),
// trimmed and lower-cased; the value the trimmed rest. Later lines win.
QHash<QString, QString> directoryKeyMap(const QString &text);

// True when the directory client's answer shows a domain account: a
// non-empty "domain name" (or, only when that key is absent, "domain-name"),
// or a "name" holding an "@".
bool directoryMarksDomain(const QString &text);

// True when a group name in the `id -n -G` output holds an "@" or a backslash.
// The output is split at runs of white space.
bool groupsMarkDomain(const QString &text);

// True when the text of the local account files (/etc/passwd) has an entry
// for the name: a line whose text before its first colon is the name.
bool localFilesListAccount(const QString &passwd, const QString &name);

// The answer once `id -n -G` has found the account and printed its groups:
// Domain when a group name holds a domain (groupsMarkDomain), or when the
// local account files' text `passwd` does not list the account, which the
// name service knows, so a directory serves it; otherwise Local. Without that
// text (std::nullopt: the files could not be read) only the groups count.
AccountKind kindFromGroupList(const QString &groups, const QString &name, const std::optional<QString> &passwd);
