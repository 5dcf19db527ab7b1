// SPDX-License-Identifier: GPL-2.0-or-later
// The group list (id -n -G): any text gives a verdict, domain only when a
// group name holds "@" or a backslash.
#include "accountclassifier.h"
#include "commandrunner.h"
#include "fuzzcheck.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = outputToText(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    const bool domain = groupsMarkDomain(text);
    FUZZ_CHECK(domain == (text.contains(QLatin1Char('@')) || text.contains(QLatin1Char('\\'))));
    FUZZ_CHECK(nameMarksDomain(text) == domain);
    return 0;
}
