// SPDX-License-Identifier: GPL-2.0-or-later
// The few calls whose form differs between Qt 5 and Qt 6, in one place, so
// that the code that uses them reads the same for both.
#pragma once

#include <QDebug>
#include <QMetaType>
#include <QStringList>
#include <QVariant>

namespace PasswordExpirationPolicy
{
namespace QtCompat
{

// Whether the variant can be converted to T (QVariant::canConvert with T's
// meta-type: its id on Qt 5, the QMetaType itself on Qt 6).
template<typename T>
bool canConvert(const QVariant &variant)
{
#if QT_VERSION_MAJOR >= 6
    return variant.canConvert(QMetaType::fromType<T>());
#else
    return variant.canConvert(qMetaTypeId<T>());
#endif
}

// Converts the variant in place to T; false when that is not possible.
template<typename T>
bool convert(QVariant &variant)
{
#if QT_VERSION_MAJOR >= 6
    return variant.convert(QMetaType::fromType<T>());
#else
    return variant.convert(qMetaTypeId<T>());
#endif
}

// Registers T under the given name together with its QDataStream operators,
// so that a QVariant holding a T is streamed under that name. Qt 6 takes the
// operators into T's meta-type by itself wherever they are declared before
// the type's first use; Qt 5 needs them registered by name.
template<typename T>
void registerStreamableType(const char *name)
{
    qRegisterMetaType<T>(name);
#if QT_VERSION_MAJOR < 6
    qRegisterMetaTypeStreamOperators<T>(name);
#endif
}

// A list of strings in a log line, in the form Qt 5's debug stream gives it,
// ("a", "b"); Qt 6's writes QList("a", "b"). Log lines are the same in both.
struct LoggedList {
    const QStringList &items;
};

inline QDebug operator<<(QDebug debug, const LoggedList &list)
{
    const QDebugStateSaver saver(debug);
    debug.nospace() << '(';
    for (int i = 0; i < list.items.size(); ++i) {
        if (i > 0) {
            debug << ", ";
        }
        debug << list.items.at(i);
    }
    debug << ')';
    return debug;
}

} // namespace QtCompat
} // namespace PasswordExpirationPolicy
