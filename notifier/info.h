// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "policy.h"

#include <QStringList>

// The three lines printed by --info, labels translated, values as they stand.
QStringList infoLines(const PasswordExpirationPolicy::Config &config);
