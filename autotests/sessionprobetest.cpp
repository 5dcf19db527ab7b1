// SPDX-License-Identifier: GPL-2.0-or-later
// The session probe's decisions over loginctl output and bus addresses.
#include "sessionprobe.h"
#include "busaddress.h"
#include "logcapture.h"

#include <QElapsedTimer>
#include <QTest>

class SessionProbeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sessionListing_data();
    void sessionListing();
    void sessionProperties_data();
    void sessionProperties();
    void activeGraphical_data();
    void activeGraphical();
    void busPath_data();
    void busPath();
    void uidColumn_data();
    void uidColumn();
    void noAttemptsNoProbe();
};

void SessionProbeTest::sessionListing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields"); // empty: the line is skipped

    QTest::newRow("full line") << QStringLiteral("      2 1000 alice seat0 tty2")
                               << QStringList{QStringLiteral("2"), QStringLiteral("1000"), QStringLiteral("alice")};
    QTest::newRow("three columns") << QStringLiteral("c1\t115\tplim-dm") << QStringList{QStringLiteral("c1"), QStringLiteral("115"), QStringLiteral("plim-dm")};
    QTest::newRow("two columns") << QStringLiteral("c1 115") << QStringList{};
    QTest::newRow("blanks") << QStringLiteral("   ") << QStringList{};
}

void SessionProbeTest::sessionListing()
{
    QFETCH(QString, line);
    QFETCH(QStringList, fields);
    const std::optional<SessionListing> listing = parseSessionListing(line);
    QCOMPARE(listing.has_value(), !fields.isEmpty());
    if (listing) {
        QCOMPARE((QStringList{listing->sessionId, listing->uid, listing->userName}), fields);
    }
}

void SessionProbeTest::sessionProperties_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("properties"); // empty: "bad props"

    QTest::newRow("wayland, yes") << QStringLiteral("wayland\nyes\n") << QStringList{QStringLiteral("wayland"), QStringLiteral("yes")};
    QTest::newRow("further lines ignored") << QStringLiteral("x11\nno\nextra\n") << QStringList{QStringLiteral("x11"), QStringLiteral("no")};
    QTest::newRow("not trimmed") << QStringLiteral(" x11 \nyes \n") << QStringList{QStringLiteral(" x11 "), QStringLiteral("yes ")};
    QTest::newRow("empty type: one line left") << QStringLiteral("\nyes\n") << QStringList{};
    QTest::newRow("empty type, then extra line: shifted") << QStringLiteral("\nyes\nz\n") << QStringList{QStringLiteral("yes"), QStringLiteral("z")};
    QTest::newRow("one line") << QStringLiteral("x11") << QStringList{};
    QTest::newRow("empty") << QString() << QStringList{};
}

void SessionProbeTest::sessionProperties()
{
    QFETCH(QString, text);
    QFETCH(QStringList, properties);
    const std::optional<SessionProperties> parsed = parseSessionProperties(text);
    QCOMPARE(parsed.has_value(), !properties.isEmpty());
    if (parsed) {
        QCOMPARE((QStringList{parsed->type, parsed->active}), properties);
    }
}

void SessionProbeTest::activeGraphical_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("active");
    QTest::addColumn<bool>("graphical");

    QTest::newRow("x11 active") << QStringLiteral("x11") << QStringLiteral("yes") << true;
    QTest::newRow("wayland active") << QStringLiteral("wayland") << QStringLiteral("yes") << true;
    QTest::newRow("x11 inactive") << QStringLiteral("x11") << QStringLiteral("no") << false;
    QTest::newRow("tty active") << QStringLiteral("tty") << QStringLiteral("yes") << false;
    QTest::newRow("X11 upper case") << QStringLiteral("X11") << QStringLiteral("yes") << false;
    QTest::newRow("Yes capitalised") << QStringLiteral("wayland") << QStringLiteral("Yes") << false;
    QTest::newRow("trailing blank on type") << QStringLiteral("x11 ") << QStringLiteral("yes") << false;
    QTest::newRow("mir") << QStringLiteral("mir") << QStringLiteral("yes") << false;
    QTest::newRow("unspecified") << QStringLiteral("unspecified") << QStringLiteral("yes") << false;
}

void SessionProbeTest::activeGraphical()
{
    QFETCH(QString, type);
    QFETCH(QString, active);
    QFETCH(bool, graphical);
    QCOMPARE(isActiveGraphical(SessionProperties{type, active}), graphical);
}

void SessionProbeTest::busPath_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("path");

    QTest::newRow("with guid") << QStringLiteral("unix:path=/run/user/1000/bus,guid=ab") << QStringLiteral("/run/user/1000/bus");
    QTest::newRow("plain path") << QStringLiteral("unix:path=/run/user/1000/bus") << QStringLiteral("/run/user/1000/bus");
    QTest::newRow("cut at the first comma") << QStringLiteral("unix:path=/tmp/x,guid=1,y=2") << QStringLiteral("/tmp/x");
    QTest::newRow("comma at position 0 not cut") << QStringLiteral("unix:path=,guid=1") << QStringLiteral(",guid=1");
    QTest::newRow("nothing after the prefix") << QStringLiteral("unix:path=") << QString();
    QTest::newRow("abstract") << QStringLiteral("unix:abstract=/tmp/dbus-XyZ") << QString();
    QTest::newRow("prefix case matters") << QStringLiteral("UNIX:path=/tmp/x") << QString();
    QTest::newRow("tcp") << QStringLiteral("tcp:host=localhost,port=4000") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void SessionProbeTest::busPath()
{
    QFETCH(QString, address);
    QFETCH(QString, path);
    QCOMPARE(busPathFromAddress(address), path);
}

void SessionProbeTest::uidColumn_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<quint32>("uid");

    QTest::newRow("1000") << QStringLiteral("1000") << quint32(1000);
    QTest::newRow("largest") << QStringLiteral("4294967295") << quint32(4294967295u);
    QTest::newRow("beyond 32 bits") << QStringLiteral("4294967296") << quint32(0);
    QTest::newRow("negative") << QStringLiteral("-1") << quint32(0);
    QTest::newRow("name") << QStringLiteral("alice") << quint32(0);
}

void SessionProbeTest::uidColumn()
{
    QFETCH(QString, column);
    QFETCH(quint32, uid);
    QCOMPARE(uidFromColumn(column), uid);
}

void SessionProbeTest::noAttemptsNoProbe()
{
    // Not a single pass: no loginctl run, no log line, no pause.
    LogCapture log;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(probeActiveSessionWithRetry(0, 60000).has_value(), false);
    QCOMPARE(probeActiveSessionWithRetry(-3, 60000).has_value(), false);
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(log.lines(), QStringList{});
}

QTEST_GUILESS_MAIN(SessionProbeTest)

#include "sessionprobetest.moc"
