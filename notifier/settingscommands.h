// SPDX-License-Identifier: GPL-2.0-or-later
// The --set-* options: parsing their values and storing them.
#pragma once

#include <QString>

#include <optional>

class QTextStream;

// "enable" -> true, "disable" -> false, both with ok set; anything else clears ok.
bool parseEnableDisable(const QString &value, bool &ok);

// A decimal day count that fits the 32-bit field, or nothing.
std::optional<qint32> parseNotifyDays(const QString &value);

struct SetOptions {
    std::optional<QString> local;
    std::optional<QString> domain;
    std::optional<QString> notifyDays;

    bool any() const
    {
        return local || domain || notifyDays;
    }
};

// Evaluates the given options, merges them into the stored policy and saves
// it through the privileged helper. Returns the program's exit status.
int applySetOptions(const SetOptions &options, QTextStream &out);

// Ends the process with the given status at once, after flushing the
// standard streams, skipping the exit-time teardown of the libraries.
[[noreturn]] void exitAfterSave(int status);
