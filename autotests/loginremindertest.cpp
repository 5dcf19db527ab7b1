// SPDX-License-Identifier: GPL-2.0-or-later
#include "loginreminder.h"

#include <QTest>

class LoginReminderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void skipsSession_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("sessionClass");
        QTest::addColumn<bool>("skips");

        QTest::newRow("x11 user session") << QStringLiteral("x11") << QStringLiteral("user") << false;
        QTest::newRow("wayland user session") << QStringLiteral("wayland") << QStringLiteral("user") << false;
        QTest::newRow("neither passed on: the check run decides") << QString() << QString() << false;
        QTest::newRow("type alone") << QStringLiteral("wayland") << QString() << false;
        QTest::newRow("text console") << QStringLiteral("tty") << QStringLiteral("user") << true;
        QTest::newRow("no display") << QStringLiteral("unspecified") << QStringLiteral("user") << true;
        QTest::newRow("mir is not ours") << QStringLiteral("mir") << QStringLiteral("user") << true;
        QTest::newRow("type is case sensitive") << QStringLiteral("X11") << QStringLiteral("user") << true;
        QTest::newRow("greeter on x11") << QStringLiteral("x11") << QStringLiteral("greeter") << true;
        QTest::newRow("greeter without type") << QString() << QStringLiteral("greeter") << true;
        QTest::newRow("lock screen") << QStringLiteral("wayland") << QStringLiteral("lock-screen") << true;
    }
    void skipsSession()
    {
        QFETCH(QString, type);
        QFETCH(QString, sessionClass);
        QFETCH(bool, skips);
        QCOMPARE(::skipsSession(type, sessionClass), skips);
    }

    void notificationServiceReady_data()
    {
        QTest::addColumn<bool>("registered");
        QTest::addColumn<QStringList>("activatable");
        QTest::addColumn<bool>("ready");

        const QStringList others{QStringLiteral("org.freedesktop.DBus"), QStringLiteral("org.kde.kded5")};
        QTest::newRow("owned") << true << QStringList() << true;
        QTest::newRow("not owned, nothing activatable") << false << QStringList() << false;
        QTest::newRow("not owned, other names activatable") << false << others << false;
        QTest::newRow("not owned, activatable") << false << (others + QStringList{QStringLiteral("org.freedesktop.Notifications")}) << true;
        QTest::newRow("a longer name is another name") << false << QStringList{QStringLiteral("org.freedesktop.Notifications2")} << false;
    }
    void notificationServiceReady()
    {
        QFETCH(bool, registered);
        QFETCH(QStringList, activatable);
        QFETCH(bool, ready);
        QCOMPARE(::notificationServiceReady(registered, activatable), ready);
    }
};

QTEST_GUILESS_MAIN(LoginReminderTest)
#include "loginremindertest.moc"
