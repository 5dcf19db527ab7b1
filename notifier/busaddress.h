// SPDX-License-Identifier: GPL-2.0-or-later
// Finds a user's session bus address from outside the user's session.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

// The session bus address of `user` (a login name, or a uid when the whole
// string is a decimal number). Tries the kernel's socket table, the
// environment of the user's session leader, and the environments of all the
// user's processes, in that order; nothing when none of them has one.
std::optional<QString> findSessionBusAddress(const QString &user);

// DBUS_SESSION_BUS_ADDRESS from /proc/<pid>/environ; empty when the file
// cannot be read or the variable is not there.
QString busAddressFromEnviron(quint64 pid);

// The socket path of a "unix:path=" address, cut before the first comma
// unless the comma comes first; empty for any other address.
QString busPathFromAddress(const QString &address);

// False for an empty address and for the bare "unix:path" and "unix:path=".
bool isUsableBusAddress(const QString &address);

// The pure steps.

// A text made only of decimal digits (at least one, within 64 bits).
std::optional<quint64> parseDecimal(const QString &text);

// Whether a socket file exists at the path and belongs to the target user.
using SocketOwnerCheck = std::function<bool(const QString &path)>;

// The address found in the text of /proc/net/unix for `uid`: the first
// "/tmp/dbus-" socket that `ownedByTarget` accepts or the first
// "/run/user/<uid>/bus", whichever is listed first; failing both, the first
// abstract "@/tmp/dbus-" socket.
std::optional<QString> busAddressFromSocketTable(const QString &table, quint64 uid, const SocketOwnerCheck &ownedByTarget);

// The session id of the first `loginctl list-sessions` line, with at least
// three columns, whose user column equals `user`; empty when there is none.
QString sessionIdOfUser(const QString &sessionList, const QString &user);

// The value of DBUS_SESSION_BUS_ADDRESS in an environment block (entries
// ended by NUL, the last one perhaps not); empty when absent.
QString busAddressFromEnvironBlock(const QByteArray &block);

// The real uid from the text of a process status file: that of the first
// "Uid:" line that realUidFromStatusLine accepts.
std::optional<quint64> realUidFromStatus(const QString &status);

// The real uid of a "Uid:" line of a process status file (split at tabs, at
// least two parts; a second field that is not a number gives 0). Nothing for any
// other line.
std::optional<quint64> realUidFromStatusLine(const QString &line);
