// SPDX-License-Identifier: GPL-2.0-or-later
// The line format of /etc/login.defs (or, with PWEXPIRY_FUZZ_USERADD, of
// /etc/default/useradd): any bytes are read without harm, and a rewrite
// reads back as the values written while every other line comes out as it
// went in, trimmed.
#include "fuzzcheck.h"
#include "policy_p.h"

#include <cstdint>

using namespace PasswordExpirationPolicy;

namespace
{
#if PWEXPIRY_FUZZ_USERADD
const QSet<QString> keys{QStringLiteral("INACTIVE"), QStringLiteral("EXPIRE")};
const SeparatorPredicate isSeparator = isUseraddSeparator;
const QChar separator = QLatin1Char('=');
#else
const QSet<QString> keys{QStringLiteral("PASS_MIN_DAYS"), QStringLiteral("PASS_MAX_DAYS"), QStringLiteral("PASS_WARN_AGE")};
const SeparatorPredicate isSeparator = isLoginDefsSeparator;
const QChar separator = QLatin1Char('\t');
#endif

// The lines of a text that carry no definition of the keys, trimmed.
QList<QByteArray> otherLines(const QByteArray &content)
{
    QList<QByteArray> lines;
    const PolicyText text = splitPolicyText(content);
    for (const QByteArray &raw : text.lines) {
        const QByteArray trimmed = trimmedLine(raw);
        const PolicyLine line = policyLine(trimmed, isSeparator);
        if (line.comment && trimmed.size() > 1) {
            // A repeated definition comes out commented; it is one of ours then.
            const PolicyLine inner = policyLine(trimmedLine(trimmed.mid(1)), isSeparator);
            if (!inner.comment && keys.contains(inner.key) && trimmedLine(trimmed.mid(1)) == trimmed.mid(1)) {
                continue;
            }
        }
        if (!line.comment && keys.contains(line.key)) {
            continue;
        }
        lines.append(trimmed);
    }
    return lines;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    (void)paramsFromText(content, keys, isSeparator, QStringLiteral("fuzz"));

    // Values to write, from the first byte: numbers of either sign, and for
    // useradd a date or none.
    const int seed = size > 0 ? data[0] : 0;
    ParamMap params;
    for (const QString &key : keys) {
        params.insert(key, key == QLatin1String("EXPIRE") ? (seed & 1 ? QStringLiteral("2030-01-31") : QString()) : QString::number(seed - 100));
    }
    const QByteArray written = rewrittenText(content, params, isSeparator, separator);
    const Result<ParamMap> read = paramsFromText(written, keys, isSeparator, QStringLiteral("fuzz"));
    FUZZ_CHECK(read.hasValue());
    FUZZ_CHECK(read.value() == params);
    FUZZ_CHECK(otherLines(written) == otherLines(content));
    FUZZ_CHECK(written.isEmpty() || written.endsWith('\n'));
    // Writing the same values again changes nothing.
    FUZZ_CHECK(rewrittenText(written, params, isSeparator, separator) == written);
    return 0;
}
