// SPDX-License-Identifier: GPL-2.0-or-later
// The kernel's socket table as /proc/net/unix shows it: any text gives an
// address of one of the two forms or none.
#include "busaddress.h"
#include "fuzzcheck.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const quint64 uid = data[0] < 200 ? 1000 : data[0];
    const QString table = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), int(size - 1));
    const std::optional<QString> address = busAddressFromSocketTable(table, uid, [](const QString &path) {
        return path.size() % 2 == 0;
    });
    if (address) {
        FUZZ_CHECK(address->startsWith(QLatin1String("unix:path=")) || address->startsWith(QLatin1String("unix:abstract=")));
        FUZZ_CHECK(isUsableBusAddress(*address));
    }
    return 0;
}
