// SPDX-License-Identifier: GPL-2.0-or-later
// The action's arguments as the helper receives them: a QVariantMap in
// QDataStream form with one entry "config", a Config under its type name,
// whose body (and whatever follows) are the fuzzed bytes. They are refused or
// give a record that the helper's checks judge, without harm.
//
// The map's own framing is Qt's and is left fixed here: Qt 5 reserves room
// for a container from the count the stream claims, so a huge count is an
// allocation of any size before a byte of it is read.
#include "fuzzcheck.h"
#include "policy_p.h"
#include "policyrequest.h"

#include <QCoreApplication>
#include <QDataStream>

#include <cstdint>

using namespace PasswordExpirationPolicy;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The type registration runs with the application object, as in the helper.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QByteArray header = [] {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << QVariantMap{{QStringLiteral("config"), QVariant::fromValue(Config())}};
        // Everything up to the body of the record: the body is the last 30 bytes.
        bytes.chop(30);
        return bytes;
    }();
    const QByteArray bytes = header + QByteArray(reinterpret_cast<const char *>(data), int(size));
    QDataStream in(bytes);
    QVariantMap arguments;
    in >> arguments;
    if (in.status() != QDataStream::Ok) {
        return 0;
    }
    const Result<Config> request = configFromArguments(arguments);
    if (!request.hasValue()) {
        FUZZ_CHECK(request.error().code == -1 && !request.error().message.isEmpty());
        return 0;
    }
    const Config config = request.value();
    const QVariant refused = checkConfig(config);
    if (refused.isNull()) {
        // An accepted record is one the files can hold: its date reads back.
        FUZZ_CHECK(!config.expireDate.isValid() || parseExpireDate(expireDateText(config.expireDate)) == config.expireDate);
        FUZZ_CHECK(config.passMinDays >= 0 && config.passMaxDays >= -1 && config.passWarnAge >= -1 && config.inactiveDays >= -1);
    }
    return 0;
}
