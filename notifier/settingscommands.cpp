// SPDX-License-Identifier: GPL-2.0-or-later
#include "settingscommands.h"

#include "policy.h"

#include <KLocalizedString>

#include <QTextStream>

#include <cstdio>
#include <limits>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

bool parseEnableDisable(const QString &value, bool &ok)
{
    ok = true;
    if (value == QLatin1String("enable")) {
        return true;
    }
    if (value == QLatin1String("disable")) {
        return false;
    }
    ok = false;
    return false;
}

std::optional<qint32> parseNotifyDays(const QString &value)
{
    bool ok = false;
    const qlonglong days = value.toLongLong(&ok, 10);
    // A number that does not fit the stored field is refused rather than
    // silently wrapped into another number of days.
    if (!ok || days < std::numeric_limits<qint32>::min() || days > std::numeric_limits<qint32>::max()) {
        return std::nullopt;
    }
    return static_cast<qint32>(days);
}

int applySetOptions(const SetOptions &options, QTextStream &out)
{
    std::optional<bool> local;
    std::optional<bool> domain;
    std::optional<qint32> notifyDays;

    if (options.local) {
        bool ok = false;
        local = parseEnableDisable(*options.local, ok);
        if (!ok) {
            return 1;
        }
    }
    if (options.domain) {
        bool ok = false;
        domain = parseEnableDisable(*options.domain, ok);
        if (!ok) {
            return 1;
        }
        if (*domain) {
            out << i18nd("pwexpiry-notifier",
                         "Information: When enabling reminders for domain users, it is recommended to make sure that correct entry for domain "
                         "controller (IP address and full domain name) is present in /etc/hosts. Otherwise, there may be errors when accessing "
                         "LDAP.")
                << Qt::endl;
        }
    }
    if (options.notifyDays) {
        notifyDays = parseNotifyDays(*options.notifyDays);
        if (!notifyDays) {
            return 1;
        }
    }

    const PasswordExpirationPolicy::Result<PasswordExpirationPolicy::Config> loaded = PasswordExpirationPolicy::loadConf();
    if (!loaded.hasValue()) {
        return 1;
    }
    PasswordExpirationPolicy::Config config = loaded.value();
    if (local) {
        config.receiveNotifyForLocal = *local;
    }
    if (domain) {
        config.receiveNotifyForDomain = *domain;
    }
    if (notifyDays) {
        config.notifyDays = *notifyDays;
    }
    return PasswordExpirationPolicy::saveConf(config).isNull() ? 0 : 1;
}

void exitAfterSave(int status)
{
    // saveConf goes through KAuth, whose polkit backend leaves GLib's D-Bus
    // threads running in this process. If the process then runs its exit
    // handlers and unloads its libraries, those threads can touch library
    // state that is already gone and crash the process after its work is
    // done (seen about once in a thousand saves as a segmentation fault or
    // abort, which turned a saved setting into a failed exit status). Nothing
    // is left to tear down that matters outside the process, so end it here.
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    // The leak check that would have run at exit.
    __lsan_do_leak_check();
#endif
    _exit(status);
}
