// SPDX-License-Identifier: GPL-2.0-or-later
// The reminder settings file: any bytes are read without harm; an edit of a
// well-formed file is well-formed, keeps every byte outside the lines of the
// three keys, and, where it reads back as written, stays as it is when made
// again.
#include "fuzzcheck.h"
#include "policy_p.h"

#include <cstdint>

using namespace PasswordExpirationPolicy;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    const ReminderSettings settings = reminderSettingsFromText(content);
    const IniDocument document = parseIniDocument(content);
    FUZZ_CHECK(document.wellFormed || settings.error);

    const int seed = size > 0 ? data[0] : 0;
    const ParamMap values{
        {QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL"), seed & 1 ? QStringLiteral("true") : QStringLiteral("false")},
        {QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN"), seed & 2 ? QStringLiteral("true") : QStringLiteral("false")},
        {QStringLiteral("NOTIFY_DAYS"), QString::number(seed - 100)},
    };
    const std::optional<QByteArray> edited = rewrittenIni(content, values);
    // Refused only when not well-formed, or when keys would have to go at
    // the end inside open quotes.
    if (!edited) {
        FUZZ_CHECK(!document.wellFormed || document.endsInQuotes);
        return 0;
    }
    FUZZ_CHECK(document.wellFormed);
    FUZZ_CHECK(parseIniDocument(*edited).wellFormed);
    // Every entry that is not one of the three keys at the top level is still
    // there, with the same value.
    const IniDocument after = parseIniDocument(*edited);
    QList<QPair<QString, QString>> othersBefore;
    QList<QPair<QString, QString>> othersAfter;
    for (const IniEntry &entry : document.entries) {
        if (!values.contains(entry.key)) {
            othersBefore.append({entry.key, entry.value.text + entry.value.items.join(QLatin1Char(','))});
        }
    }
    for (const IniEntry &entry : after.entries) {
        if (!values.contains(entry.key)) {
            othersAfter.append({entry.key, entry.value.text + entry.value.items.join(QLatin1Char(','))});
        }
    }
    const ReminderSettings readBack = reminderSettingsFromText(*edited);
    const bool holdsValues = !readBack.error && readBack.receiveNotifyForLocal == bool(seed & 1) && readBack.receiveNotifyForDomain == bool(seed & 2)
        && readBack.notifyDays == seed - 100;
    if (holdsValues) {
        FUZZ_CHECK(othersAfter == othersBefore);
        FUZZ_CHECK(rewrittenIni(*edited, values) == edited);
    }
    return 0;
}
