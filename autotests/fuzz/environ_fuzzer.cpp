// SPDX-License-Identifier: GPL-2.0-or-later
// A process's environment block: any bytes give the value of the bus
// variable or nothing, and a found value holds no NUL.
#include "busaddress.h"
#include "fuzzcheck.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray block(reinterpret_cast<const char *>(data), int(size));
    const QString address = busAddressFromEnvironBlock(block);
    FUZZ_CHECK(!address.contains(QChar(0)));
    if (!address.isEmpty()) {
        FUZZ_CHECK(block.contains("DBUS_SESSION_BUS_ADDRESS="));
    }
    (void)busPathFromAddress(address);
    (void)isUsableBusAddress(address);
    return 0;
}
