// SPDX-License-Identifier: GPL-2.0-or-later
#include "policy.h"

#include <QCoreApplication>

QDataStream &operator<<(QDataStream &stream, const PasswordExpirationPolicy::Config &config)
{
    stream << config.receiveNotifyForLocal << config.receiveNotifyForDomain << config.notifyDays << config.passMinDays << config.passMaxDays
           << config.passWarnAge << config.inactiveDays << config.expireDate;
    return stream;
}

QDataStream &operator>>(QDataStream &stream, PasswordExpirationPolicy::Config &config)
{
    stream >> config.receiveNotifyForLocal >> config.receiveNotifyForDomain >> config.notifyDays >> config.passMinDays >> config.passMaxDays
        >> config.passWarnAge >> config.inactiveDays >> config.expireDate;
    return stream;
}

namespace
{
// Runs when the core application is constructed (or at once when it already
// exists), so that a Config inside a QVariant can be streamed across a
// process boundary under its type name.
void registerPolicyMetaTypes()
{
    PasswordExpirationPolicy::QtCompat::registerStreamableType<PasswordExpirationPolicy::Config>("PasswordExpirationPolicy::Config");
    qRegisterMetaType<PasswordExpirationPolicy::Error>("PasswordExpirationPolicy::Error");
    qRegisterMetaType<QMap<QString, QString>>();
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(registerPolicyMetaTypes)
