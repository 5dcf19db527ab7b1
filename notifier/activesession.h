// SPDX-License-Identifier: GPL-2.0-or-later
// The user of the active graphical session, as found by the session probe.
#pragma once

#include <QString>

enum class AccountKind {
    Local = 0,
    Domain = 1,
    Unknown = 2,
};

// "local", "domain" or "unknown", as the logs name the kinds.
inline const char *accountKindName(AccountKind kind)
{
    switch (kind) {
    case AccountKind::Local:
        return "local";
    case AccountKind::Domain:
        return "domain";
    case AccountKind::Unknown:
        break;
    }
    return "unknown";
}

struct ActiveSession {
    QString userName;
    quint32 uid = 0;
    // The socket path of a "unix:path=" address (without its options), else empty.
    QString busPath;
    // The session bus address as discovered.
    QString busAddress;
    AccountKind accountKind = AccountKind::Unknown;
};
