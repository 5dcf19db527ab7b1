// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

namespace PasswordExpirationPolicy
{

// How an aging spin box behaves while its parameter is switched on and off.
struct SpinBoxConstraint {
    // Lower bound while switched on.
    int minimum = -1;
    // Lower bound and shown value while switched off; what a switched-off parameter saves.
    int disabledValue = -1;
    // Untranslated unit suffix, shown (translated) only while switched on.
    QString suffix;
};

} // namespace PasswordExpirationPolicy
