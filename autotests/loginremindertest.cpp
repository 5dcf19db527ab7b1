// SPDX-License-Identifier: GPL-2.0-or-later
#include "loginreminder.h"
#include "logingate.h"

#include <QTest>

Q_DECLARE_METATYPE(ServiceWait)

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

    void notificationServiceWait_data()
    {
        QTest::addColumn<bool>("owned");
        QTest::addColumn<bool>("activatable");
        QTest::addColumn<qint64>("waitedMs");
        QTest::addColumn<ServiceWait>("expected");

        const qint64 owner = LoginReminder::ownerWaitMs;
        const qint64 all = LoginReminder::serviceWaitMs;
        QTest::newRow("owned at once") << true << false << qint64(0) << ServiceWait::Ready;
        QTest::newRow("owned and activatable") << true << true << qint64(0) << ServiceWait::Ready;
        // Plasma's activation file exists from the start; its program only
        // waits for plasmashell, and a second daemon could take the name first.
        QTest::newRow("activatable only, early: wait for the desktop's own") << false << true << qint64(0) << ServiceWait::Wait;
        QTest::newRow("activatable only, just before the owner wait ends") << false << true << owner - 1 << ServiceWait::Wait;
        QTest::newRow("activatable only, owner wait over: activation") << false << true << owner << ServiceWait::Ready;
        QTest::newRow("nothing, owner wait over: keep waiting") << false << false << owner << ServiceWait::Wait;
        QTest::newRow("nothing, just before the end") << false << false << all - 1 << ServiceWait::Wait;
        QTest::newRow("nothing in time") << false << false << all << ServiceWait::GiveUp;
        QTest::newRow("owned at the very end") << true << false << all << ServiceWait::Ready;
    }
    void notificationServiceWait()
    {
        QFETCH(bool, owned);
        QFETCH(bool, activatable);
        QFETCH(qint64, waitedMs);
        QFETCH(ServiceWait, expected);
        QCOMPARE(::notificationServiceWait(owned, activatable, waitedMs), expected);
    }

    void isActivatable_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("expected");

        const QStringList others{QStringLiteral("org.freedesktop.DBus"), QStringLiteral("org.kde.kded5")};
        QTest::newRow("nothing activatable") << QStringList() << false;
        QTest::newRow("other names") << others << false;
        QTest::newRow("listed") << (others + QStringList{QStringLiteral("org.freedesktop.Notifications")}) << true;
        QTest::newRow("a longer name is another name") << QStringList{QStringLiteral("org.freedesktop.Notifications2")} << false;
    }
    void isActivatable()
    {
        QFETCH(QStringList, names);
        QFETCH(bool, expected);
        QCOMPARE(::isActivatable(names), expected);
    }

    void retryDelayMs_data()
    {
        QTest::addColumn<int>("attempt");
        QTest::addColumn<int>("delayMs");

        QTest::newRow("after the first") << 1 << 1000;
        QTest::newRow("after the second") << 2 << 2000;
        QTest::newRow("after the fourth") << 4 << 8000;
        QTest::newRow("no longer than 8 s") << 9 << 8000;
        QTest::newRow("nonsense attempt") << 0 << 1000;
    }
    void retryDelayMs()
    {
        QFETCH(int, attempt);
        QFETCH(int, delayMs);
        QCOMPARE(::retryDelayMs(attempt), delayMs);
    }

    // The requests a client makes all fit in the gate's allowance for one
    // user, so a user who does not flood is never told "limited".
    void retriesFitTheGatesAllowance()
    {
        QVERIFY(LoginReminder::requestAttempts <= LoginGate::userBurst);
    }
};

QTEST_GUILESS_MAIN(LoginReminderTest)
#include "loginremindertest.moc"
