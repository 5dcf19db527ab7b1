// SPDX-License-Identifier: GPL-2.0-or-later
// What loginctl prints: session lists and session properties, as the probe
// and the bus discovery read them.
#include "busaddress.h"
#include "commandrunner.h"
#include "fuzzcheck.h"
#include "sessionprobe.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = outputToText(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    const QStringList lines = outputLines(text);
    for (const QString &line : lines) {
        FUZZ_CHECK(!line.isEmpty());
        if (const std::optional<SessionListing> listing = parseSessionListing(line)) {
            FUZZ_CHECK(!listing->sessionId.isEmpty() && !listing->userName.isEmpty());
            (void)uidFromColumn(listing->uid);
        }
    }
    if (const std::optional<SessionProperties> properties = parseSessionProperties(text)) {
        (void)isActiveGraphical(*properties);
    }
    const QString sessionId = sessionIdOfUser(text, QStringLiteral("alice"));
    if (!sessionId.isEmpty()) {
        FUZZ_CHECK(text.contains(QLatin1String("alice")));
    }
    return 0;
}
