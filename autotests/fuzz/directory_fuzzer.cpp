// SPDX-License-Identifier: GPL-2.0-or-later
// The directory client's answer (sssctl user-show): any text gives a key map
// and a verdict.
#include "accountclassifier.h"
#include "commandrunner.h"
#include "fuzzcheck.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = outputToText(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    const QHash<QString, QString> map = directoryKeyMap(text);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        FUZZ_CHECK(it.key() == it.key().toLower());
        FUZZ_CHECK(!it.key().contains(QLatin1Char('\n')));
    }
    if (directoryMarksDomain(text)) {
        FUZZ_CHECK(!map.isEmpty());
    }
    return 0;
}
