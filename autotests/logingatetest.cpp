// SPDX-License-Identifier: GPL-2.0-or-later
#include "logingate.h"

#include <QTest>

using LoginGate::Answer;
using LoginGate::Session;

Q_DECLARE_METATYPE(LoginGate::Answer)

namespace
{
Session graphical(const char *id, quint32 uid, const char *type = "x11")
{
    return Session{QString::fromLatin1(id), uid, QString::fromLatin1(type), QStringLiteral("user"), true, QStringLiteral("active")};
}

Session with(Session session, void (*change)(Session &))
{
    change(session);
    return session;
}

using Sessions = QList<Session>;
using Ids = QSet<QString>;
using Peer = std::optional<QString>;
} // namespace

Q_DECLARE_METATYPE(Session)
Q_DECLARE_METATYPE(Peer)

class LoginGateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("known");
        QTest::addColumn<Answer>("answer");

        QTest::newRow("taken") << QByteArray("taken") << true << Answer::Taken;
        QTest::newRow("reminded, with the newline") << QByteArray("reminded\n") << true << Answer::Reminded;
        QTest::newRow("not-active") << QByteArray("not-active") << true << Answer::NotActive;
        QTest::newRow("busy") << QByteArray("busy\r\n") << true << Answer::Busy;
        QTest::newRow("limited") << QByteArray("limited") << true << Answer::Limited;
        QTest::newRow("empty") << QByteArray() << false << Answer::Taken;
        QTest::newRow("upper case is another word") << QByteArray("TAKEN") << false << Answer::Taken;
        QTest::newRow("a prefix is not the word") << QByteArray("take") << false << Answer::Taken;
        QTest::newRow("two words") << QByteArray("taken busy") << false << Answer::Taken;
    }
    void answers()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, known);
        QFETCH(Answer, answer);
        const std::optional<Answer> parsed = LoginGate::parseAnswer(line);
        QCOMPARE(parsed.has_value(), known);
        if (known) {
            QCOMPARE(*parsed, answer);
            // What the gate writes, the client reads back.
            QCOMPARE(LoginGate::parseAnswer(LoginGate::answerWord(answer) + '\n'), parsed);
        }
    }

    void isRemindable_data()
    {
        QTest::addColumn<Session>("session");
        QTest::addColumn<bool>("remindable");

        QTest::newRow("active x11 user session") << graphical("3", 1000) << true;
        QTest::newRow("active wayland user session") << graphical("3", 1000, "wayland") << true;
        QTest::newRow("text console") << graphical("3", 1000, "tty") << false;
        QTest::newRow("no display") << graphical("3", 1000, "unspecified") << false;
        QTest::newRow("switched away") << with(graphical("3", 1000), [](Session &s) {
            s.active = false;
            s.state = QStringLiteral("online");
        }) << false;
        QTest::newRow("greeter") << with(graphical("c1", 112), [](Session &s) {
            s.sessionClass = QStringLiteral("greeter");
        }) << false;
        QTest::newRow("lock screen") << with(graphical("4", 1000), [](Session &s) {
            s.sessionClass = QStringLiteral("lock-screen");
        }) << false;
        QTest::newRow("user manager") << with(graphical("5", 1000), [](Session &s) {
            s.sessionClass = QStringLiteral("manager");
        }) << false;
        QTest::newRow("closing") << with(graphical("3", 1000), [](Session &s) {
            s.state = QStringLiteral("closing");
        }) << false;
    }
    void isRemindable()
    {
        QFETCH(Session, session);
        QFETCH(bool, remindable);
        QCOMPARE(LoginGate::isRemindable(session), remindable);
    }

    void decide_data()
    {
        QTest::addColumn<quint32>("peerUid");
        QTest::addColumn<Peer>("peerSession");
        QTest::addColumn<Sessions>("sessions");
        QTest::addColumn<Ids>("reminded");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("sessionId");

        const Session alice = graphical("7", 1000);
        const Session aliceAway = with(graphical("6", 1000), [](Session &s) {
            s.active = false;
        });
        const Session bobSeat1 = graphical("9", 1001);
        const Session malloryTty = graphical("8", 1002, "tty");
        const Session greeter = with(graphical("c1", 112), [](Session &s) {
            s.sessionClass = QStringLiteral("greeter");
        });

        QTest::newRow("the active user asks: taken") << 1000u << Peer() << Sessions{greeter, alice, malloryTty} << Ids() << Answer::Taken
                                                     << QStringLiteral("7");
        QTest::newRow("again in the same session: reminded")
            << 1000u << Peer() << Sessions{alice} << Ids{QStringLiteral("7")} << Answer::Reminded << QStringLiteral("7");
        QTest::newRow("another user on a text console: nothing for the active one")
            << 1002u << Peer(QStringLiteral("8")) << Sessions{alice, malloryTty} << Ids() << Answer::NotActive << QString();
        QTest::newRow("a user with no session at all") << 1003u << Peer() << Sessions{alice} << Ids() << Answer::NotActive << QString();
        QTest::newRow("root is nobody's session") << 0u << Peer() << Sessions{alice} << Ids() << Answer::NotActive << QString();
        QTest::newRow("the greeter's user") << 112u << Peer() << Sessions{greeter, alice} << Ids() << Answer::NotActive << QString();
        QTest::newRow("the caller's session switched away") << 1000u << Peer() << Sessions{aliceAway, bobSeat1} << Ids() << Answer::NotActive << QString();
        QTest::newRow("a new login after a reminded one: taken")
            << 1000u << Peer() << Sessions{aliceAway, alice} << Ids{QStringLiteral("6")} << Answer::Taken << QStringLiteral("7");
        QTest::newRow("a second seat's user asks for their own")
            << 1001u << Peer() << Sessions{alice, bobSeat1} << Ids() << Answer::Taken << QStringLiteral("9");
        const Session aliceSeat1 = graphical("11", 1000);
        QTest::newRow("two active sessions: the caller's own first")
            << 1000u << Peer(QStringLiteral("11")) << Sessions{alice, aliceSeat1} << Ids() << Answer::Taken << QStringLiteral("11");
        QTest::newRow("two active sessions, caller's unknown: one not reminded yet")
            << 1000u << Peer() << Sessions{alice, aliceSeat1} << Ids{QStringLiteral("7")} << Answer::Taken << QStringLiteral("11");
        QTest::newRow("the caller's own reminded, another not: still reminded")
            << 1000u << Peer(QStringLiteral("7")) << Sessions{alice, aliceSeat1} << Ids{QStringLiteral("7")} << Answer::Reminded << QStringLiteral("7");
        QTest::newRow("a peer session of somebody else counts for nothing")
            << 1000u << Peer(QStringLiteral("9")) << Sessions{alice, bobSeat1} << Ids() << Answer::Taken << QStringLiteral("7");
        const Session odd = graphical("../x", 1000);
        QTest::newRow("a session id that cannot name a file") << 1000u << Peer() << Sessions{odd} << Ids() << Answer::NotActive << QString();
    }
    void decide()
    {
        QFETCH(quint32, peerUid);
        QFETCH(Peer, peerSession);
        QFETCH(Sessions, sessions);
        QFETCH(Ids, reminded);
        QFETCH(Answer, answer);
        QFETCH(QString, sessionId);
        const LoginGate::Decision decision = LoginGate::decide(peerUid, peerSession, sessions, reminded);
        QCOMPARE(decision.answer, answer);
        QCOMPARE(decision.sessionId, sessionId);
    }

    void isValidSessionId_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("valid");

        QTest::newRow("audit session") << QStringLiteral("17") << true;
        QTest::newRow("logind's own counter") << QStringLiteral("c2") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("a path") << QStringLiteral("../../etc/shadow") << false;
        QTest::newRow("a dot name") << QStringLiteral(".") << false;
        QTest::newRow("unit escaping") << QStringLiteral("a-b") << false;
        QTest::newRow("blank") << QStringLiteral("1 2") << false;
        QTest::newRow("non-ASCII digit") << QStringLiteral("\u0663") << false;
        QTest::newRow("64 characters") << QString(64, QLatin1Char('7')) << true;
        QTest::newRow("65 characters") << QString(65, QLatin1Char('7')) << false;
    }
    void isValidSessionId()
    {
        QFETCH(QString, id);
        QFETCH(bool, valid);
        QCOMPARE(LoginGate::isValidSessionId(id), valid);
    }

    void endedSessions()
    {
        const Ids reminded{QStringLiteral("3"), QStringLiteral("5"), QStringLiteral("c1")};
        const Sessions now{graphical("5", 1000), graphical("9", 1001)};
        QCOMPARE(LoginGate::endedSessions(reminded, now), (Ids{QStringLiteral("3"), QStringLiteral("c1")}));
        QCOMPARE(LoginGate::endedSessions(Ids(), now), Ids());
    }

    // A burst, then one request per refill interval, per key.
    void rateLimit()
    {
        LoginGate::RateLimit limit(3, 1000);
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(limit.allow(1002, 0), qPrintable(QStringLiteral("request %1 of the burst").arg(i + 1)));
        }
        QVERIFY(!limit.allow(1002, 0));
        QVERIFY(!limit.allow(1002, 999));
        // Another user is not held up by the first.
        QVERIFY(limit.allow(1000, 999));
        QVERIFY(limit.allow(1002, 1000));
        QVERIFY(!limit.allow(1002, 1500));
        // A long pause refills the burst, no more.
        for (int i = 0; i < 3; ++i) {
            QVERIFY(limit.allow(1002, 100000));
        }
        QVERIFY(!limit.allow(1002, 100000));
        // A clock that goes back takes nothing back.
        QVERIFY(!limit.allow(1002, 50));
    }

    // Users who stopped asking are forgotten once their burst is full again.
    void rateLimitForgets()
    {
        LoginGate::RateLimit limit(2, 1000);
        for (quint32 uid = 1000; uid < 1100; ++uid) {
            QVERIFY(limit.allow(uid, 0));
        }
        QCOMPARE(limit.trackedKeys(), 100);
        QVERIFY(limit.allow(5000, 1000));
        QCOMPARE(limit.trackedKeys(), 1);
    }

    void logThrottle()
    {
        LoginGate::LogThrottle throttle(10000);
        int suppressed = -1;
        QVERIFY(throttle.shouldLog(0, &suppressed));
        QCOMPARE(suppressed, 0);
        for (qint64 t = 100; t < 10000; t += 100) {
            QVERIFY(!throttle.shouldLog(t, &suppressed));
        }
        QVERIFY(throttle.shouldLog(10000, &suppressed));
        QCOMPARE(suppressed, 99);
        QVERIFY(!throttle.shouldLog(10001, &suppressed));
        QVERIFY(throttle.shouldLog(30000, &suppressed));
        QCOMPARE(suppressed, 1);
    }
};

QTEST_GUILESS_MAIN(LoginGateTest)
#include "logingatetest.moc"
