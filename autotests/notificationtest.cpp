// SPDX-License-Identifier: GPL-2.0-or-later
#include "notification.h"
#include "busaddress.h"

#include <QTest>

class NotificationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void title();
    void body_data();
    void body();
    void busAddress_data();
    void busAddress();
    void socketPath_data();
    void socketPath();
    void arguments_data();
    void arguments();
};

void NotificationTest::title()
{
    QCOMPARE(notificationTitle(), QStringLiteral("Password Expiry"));
}

void NotificationTest::body_data()
{
    QTest::addColumn<qint32>("days");
    QTest::addColumn<QString>("body");

    QTest::newRow("today") << 0 << QStringLiteral("The password expires today!");
    QTest::newRow("one day: singular") << 1 << QStringLiteral("The password expires in 1 day!");
    QTest::newRow("two days: plural") << 2 << QStringLiteral("The password expires in 2 days!");
    QTest::newRow("eleven days") << 11 << QStringLiteral("The password expires in 11 days!");
    QTest::newRow("twenty-one days") << 21 << QStringLiteral("The password expires in 21 days!");
    QTest::newRow("three digits") << 365 << QStringLiteral("The password expires in 365 days!");
}

void NotificationTest::body()
{
    QFETCH(qint32, days);
    QFETCH(QString, body);

    QCOMPARE(notificationBody(days), body);
}

void NotificationTest::busAddress_data()
{
    QTest::addColumn<QString>("busAddress");
    QTest::addColumn<QString>("busPath");
    QTest::addColumn<QString>("expected");

    QTest::newRow("address as found") << QStringLiteral("unix:path=/run/user/1000/bus") << QStringLiteral("/run/user/1000/bus")
                                      << QStringLiteral("unix:path=/run/user/1000/bus");
    QTest::newRow("address wins over path") << QStringLiteral("unix:abstract=/tmp/dbus-XyZ") << QStringLiteral("/elsewhere")
                                            << QStringLiteral("unix:abstract=/tmp/dbus-XyZ");
    QTest::newRow("only the path") << QString() << QStringLiteral("/run/user/1000/bus") << QStringLiteral("unix:path=/run/user/1000/bus");
    QTest::newRow("neither") << QString() << QString() << QString();
}

void NotificationTest::busAddress()
{
    QFETCH(QString, busAddress);
    QFETCH(QString, busPath);
    QFETCH(QString, expected);

    ActiveSession user;
    user.userName = QStringLiteral("alice");
    user.uid = 1000;
    user.busAddress = busAddress;
    user.busPath = busPath;
    QCOMPARE(notificationBusAddress(user), expected);
}

void NotificationTest::socketPath_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("path");

    QTest::newRow("plain path") << QStringLiteral("unix:path=/run/user/1000/bus") << QStringLiteral("/run/user/1000/bus");
    QTest::newRow("options after the path") << QStringLiteral("unix:path=/tmp/x,guid=1") << QStringLiteral("/tmp/x");
    QTest::newRow("comma first is kept") << QStringLiteral("unix:path=,guid=1") << QStringLiteral(",guid=1");
    QTest::newRow("empty path") << QStringLiteral("unix:path=") << QString();
    QTest::newRow("abstract socket: no check") << QStringLiteral("unix:abstract=/tmp/dbus-XyZ") << QString();
    QTest::newRow("prefix is case-sensitive") << QStringLiteral("UNIX:path=/tmp/x") << QString();
}

void NotificationTest::socketPath()
{
    QFETCH(QString, address);
    QFETCH(QString, path);

    QCOMPARE(busPathFromAddress(address), path);
}

void NotificationTest::arguments_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("runtimeDir");
    QTest::addColumn<QString>("body");
    // What comes between "/usr/bin/env" and "/usr/bin/notify-send".
    QTest::addColumn<QStringList>("environment");

    QTest::newRow("with runtime directory") << QStringLiteral("unix:path=/run/user/1000/bus") << QStringLiteral("/run/user/1000")
                                            << QStringLiteral("The password expires in 3 days!")
                                            << QStringList{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus"),
                                                           QStringLiteral("XDG_RUNTIME_DIR=/run/user/1000")};
    QTest::newRow("without runtime directory: one shorter")
        << QStringLiteral("unix:path=/run/user/1000/bus") << QString() << QStringLiteral("The password expires today!")
        << QStringList{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus")};
    QTest::newRow("address options passed whole") << QStringLiteral("unix:path=/tmp/dbus-AbC,guid=0123456789abcdef") << QStringLiteral("/run/user/1000")
                                                  << QStringLiteral("b")
                                                  << QStringList{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/tmp/dbus-AbC,guid=0123456789abcdef"),
                                                                 QStringLiteral("XDG_RUNTIME_DIR=/run/user/1000")};
    QTest::newRow("texts are single arguments, unquoted")
        << QStringLiteral("unix:abstract=/tmp/dbus-XyZ") << QString() << QStringLiteral("it's \"due\"; $(rm -rf /)")
        << QStringList{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:abstract=/tmp/dbus-XyZ")};
}

void NotificationTest::arguments()
{
    QFETCH(QString, address);
    QFETCH(QString, runtimeDir);
    QFETCH(QString, body);
    QFETCH(QStringList, environment);

    const QStringList expected = QStringList{QStringLiteral("-u"), QStringLiteral("alice"), QStringLiteral("--"), QStringLiteral("/usr/bin/env")} //
        + environment
        + QStringList{QStringLiteral("/usr/bin/notify-send"),
                      QStringLiteral("-u"),
                      QStringLiteral("critical"),
                      QStringLiteral("-i"),
                      QStringLiteral("dialog-warning"),
                      QStringLiteral("-r"),
                      QStringLiteral("1337"),
                      QStringLiteral("Password Expiry"),
                      body};
    QCOMPARE(notificationArguments(QStringLiteral("alice"), address, runtimeDir, QStringLiteral("Password Expiry"), body), expected);
}

QTEST_GUILESS_MAIN(NotificationTest)

#include "notificationtest.moc"
