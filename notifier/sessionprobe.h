// SPDX-License-Identifier: GPL-2.0-or-later
// Finds the user of the active graphical session through loginctl.
#pragma once

#include "activesession.h"

#include <optional>

// One pass over the login manager's sessions.
std::optional<ActiveSession> probeActiveSession();

// Up to `attempts` passes, sleeping `sleepMs` after each pass that found nobody.
std::optional<ActiveSession> probeActiveSessionWithRetry(int attempts, unsigned long sleepMs);
