// SPDX-License-Identifier: GPL-2.0-or-later
// The password-expiration policy: the record, the error carrier and the
// operations that read, write and save it.
#pragma once

#include <QDataStream>
#include <QDate>
#include <QMap>
#include <QMetaType>
#include <QSettings>
#include <QString>
#include <QVariant>

#include "qtcompat.h"

#include <exception>

#define PWEXPIRY_POLICY_EXPORT Q_DECL_EXPORT

namespace PasswordExpirationPolicy
{

// The whole policy. The member order is also the order of the stream form.
struct Config {
    bool receiveNotifyForLocal = true;
    bool receiveNotifyForDomain = false;
    qint32 notifyDays = 14;
    qint32 passMinDays = 0;
    qint32 passMaxDays = -1;
    qint32 passWarnAge = -1;
    qint32 inactiveDays = -1;
    QDate expireDate;

    bool operator==(const Config &other) const
    {
        return receiveNotifyForLocal == other.receiveNotifyForLocal && receiveNotifyForDomain == other.receiveNotifyForDomain && notifyDays == other.notifyDays
            && passMinDays == other.passMinDays && passMaxDays == other.passMaxDays && passWarnAge == other.passWarnAge && inactiveDays == other.inactiveDays
            && expireDate == other.expireDate;
    }
    bool operator!=(const Config &other) const
    {
        return !(*this == other);
    }
};

struct Error {
    qint32 code = 0;
    QString message;
};

// Thrown by Result<T>::value() when the result holds an Error.
class BadResultAccess : public std::exception
{
};

} // namespace PasswordExpirationPolicy

// The stream form of a Config. Declared before the meta-type, so that Qt 6
// takes them into the type's meta-type wherever it is first used.
PWEXPIRY_POLICY_EXPORT QDataStream &operator<<(QDataStream &stream, const PasswordExpirationPolicy::Config &config);
PWEXPIRY_POLICY_EXPORT QDataStream &operator>>(QDataStream &stream, PasswordExpirationPolicy::Config &config);

Q_DECLARE_METATYPE(PasswordExpirationPolicy::Config)
Q_DECLARE_METATYPE(PasswordExpirationPolicy::Error)

namespace PasswordExpirationPolicy
{

// Either a T or an Error, kept in one QVariant.
template<typename T>
class Result
{
public:
    Result(const T &value)
        : m_variant(QVariant::fromValue(value))
    {
    }
    Result(const Error &error)
        : m_variant(QVariant::fromValue(error))
    {
    }

    bool hasValue() const
    {
        return QtCompat::canConvert<T>(m_variant);
    }

    T value() const
    {
        if (!hasValue()) {
            throw BadResultAccess();
        }
        if (m_variant.userType() == qMetaTypeId<T>()) {
            return m_variant.value<T>();
        }
        QVariant converted = m_variant;
        if (QtCompat::convert<T>(converted)) {
            return converted.value<T>();
        }
        return T();
    }

    Error error() const
    {
        if (m_variant.userType() == qMetaTypeId<Error>()) {
            return m_variant.value<Error>();
        }
        QVariant converted = m_variant;
        if (QtCompat::convert<Error>(converted)) {
            return converted.value<Error>();
        }
        return Error();
    }

private:
    QVariant m_variant;
};

// Reads the three policy files into one Config, or returns the first error.
PWEXPIRY_POLICY_EXPORT Result<Config> loadConf();

// Asks the privileged helper to store the whole policy. Null on success,
// otherwise a QVariant holding an Error with the framework's error text.
PWEXPIRY_POLICY_EXPORT QVariant saveConf(const Config &config);

// Stores the whole policy in the three policy files; meant for the privileged
// helper only. Null on success, otherwise a QVariant holding the first Error.
PWEXPIRY_POLICY_EXPORT QVariant writeAllParamsToConf(const Config &config);

// A fresh settings object on the reminder settings file; use it once and drop it.
PWEXPIRY_POLICY_EXPORT QSettings settings();

} // namespace PasswordExpirationPolicy
