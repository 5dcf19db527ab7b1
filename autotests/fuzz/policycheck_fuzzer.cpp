// SPDX-License-Identifier: GPL-2.0-or-later
// The policy check against the reader on any bytes: the first byte chooses
// the file (login.defs, useradd or the settings file), the rest is its
// content, the other two files are valid. The check finds an error exactly
// when loadConf's reader fails on the same files, and every finding names a
// line of the file.
#include "fuzzcheck.h"
#include "policy_p.h"
#include "policycheck.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

using namespace PasswordExpirationPolicy;

namespace
{
bool write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    static const QString loginDefs = dir.filePath(QStringLiteral("login.defs"));
    static const QString useradd = dir.filePath(QStringLiteral("useradd"));
    static const QString settings = dir.filePath(QStringLiteral("config.ini"));

    const PolicyFileKind kind = data[0] % 3 == 0 ? PolicyFileKind::LoginDefs : data[0] % 3 == 1 ? PolicyFileKind::UseraddDefaults : PolicyFileKind::Settings;
    const QByteArray content(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    FUZZ_CHECK(write(loginDefs, kind == PolicyFileKind::LoginDefs ? content : QByteArray("PASS_MAX_DAYS\t99999\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n")));
    FUZZ_CHECK(write(useradd, kind == PolicyFileKind::UseraddDefaults ? content : QByteArray("INACTIVE=-1\nEXPIRE=\n")));
    FUZZ_CHECK(write(settings, kind == PolicyFileKind::Settings ? content : QByteArray("[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nNOTIFY_DAYS=14\n")));

    const QList<Finding> findings = checkPolicyText(kind, content, QDate(2026, 6, 1));
    const int lines = int(content.count('\n')) + 1;
    for (const Finding &finding : findings) {
        FUZZ_CHECK(finding.line >= 1 && finding.line <= lines);
        FUZZ_CHECK(!finding.message.isEmpty());
    }
    FUZZ_CHECK(hasError(findings) == !loadConfFrom(loginDefs, useradd, settings).hasValue());
    return 0;
}
