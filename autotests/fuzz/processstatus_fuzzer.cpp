// SPDX-License-Identifier: GPL-2.0-or-later
// A process status file: any text gives a real uid or none.
#include "busaddress.h"
#include "fuzzcheck.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString status = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const std::optional<quint64> uid = realUidFromStatus(status);
    if (uid) {
        FUZZ_CHECK(status.contains(QLatin1String("Uid:")));
    }
    (void)parseDecimal(status);
    return 0;
}
