// SPDX-License-Identifier: GPL-2.0-or-later
// Session bus discovery: the socket table, environment blocks, status lines.
#include "busaddress.h"

#include <QProcess>
#include <QTest>

namespace
{
// A byte array of the whole literal, embedded NULs included.
template<int N>
QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

const QString header = QStringLiteral("Num       RefCount Protocol Flags    Type St Inode Path\n");

// One listening socket line of /proc/net/unix; an empty path gives the
// seven columns of an unnamed socket.
QString socketLine(const QString &path)
{
    return QStringLiteral("0000000000000000: 00000002 00000000 00010000 0001 01 %1 %2\n").arg(qHash(path) % 100000).arg(path);
}

QString table(const QStringList &paths)
{
    QString text = header;
    for (const QString &path : paths) {
        text += socketLine(path);
    }
    return text;
}
} // namespace

class BusAddressTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void socketTable_data();
    void socketTable();
    void ownerCheckedOnlyForTmpSockets();
    void environBlock_data();
    void environBlock();
    void environOfRealProcess();
    void statusUid_data();
    void statusUid();
    void parseDecimal_data();
    void parseDecimal();
    void usableAddress_data();
    void usableAddress();
    void sessionIdOfUser_data();
    void sessionIdOfUser();
};

void BusAddressTest::socketTable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint64>("uid");
    QTest::addColumn<QStringList>("ownedByTarget");
    QTest::addColumn<QString>("address");

    const QString run1000 = QStringLiteral("/run/user/1000/bus");
    const QString tmp = QStringLiteral("/tmp/dbus-AbC");
    const QString abstract1 = QStringLiteral("@/tmp/dbus-XyZ");
    const QString abstract2 = QStringLiteral("@/tmp/dbus-Second");
    const quint64 alice = 1000;

    QTest::newRow("runtime bus of the uid") << table({QStringLiteral("/run/systemd/notify"), run1000}) << alice << QStringList{}
                                            << QStringLiteral("unix:path=/run/user/1000/bus");
    QTest::newRow("runtime bus of another uid") << table({QStringLiteral("/run/user/1001/bus")}) << alice << QStringList{} << QString();
    QTest::newRow("runtime bus path must match exactly")
        << table({QStringLiteral("/run/user/10000/bus"), QStringLiteral("/run/user/1000/bus2")}) << alice << QStringList{} << QString();
    QTest::newRow("tmp socket owned by the user") << table({tmp}) << alice << QStringList{tmp} << QStringLiteral("unix:path=/tmp/dbus-AbC");
    QTest::newRow("tmp socket of another user") << table({tmp}) << alice << QStringList{} << QString();
    QTest::newRow("second tmp socket owned") << table({QStringLiteral("/tmp/dbus-other"), tmp}) << alice << QStringList{tmp}
                                             << QStringLiteral("unix:path=/tmp/dbus-AbC");
    QTest::newRow("abstract socket alone, any uid") << table({abstract1}) << quint64(4242) << QStringList{} << QStringLiteral("unix:abstract=/tmp/dbus-XyZ");
    QTest::newRow("abstract first, runtime bus later")
        << table({abstract1, run1000}) << alice << QStringList{} << QStringLiteral("unix:path=/run/user/1000/bus");
    QTest::newRow("abstract first, owned tmp socket later")
        << table({abstract1, tmp}) << alice << QStringList{tmp} << QStringLiteral("unix:path=/tmp/dbus-AbC");
    QTest::newRow("two abstract sockets: the first") << table({abstract1, abstract2}) << alice << QStringList{}
                                                     << QStringLiteral("unix:abstract=/tmp/dbus-XyZ");
    QTest::newRow("foreign tmp socket, then abstract") << table({tmp, abstract2}) << alice << QStringList{} << QStringLiteral("unix:abstract=/tmp/dbus-Second");
    QTest::newRow("other abstract sockets are not candidates")
        << table({QStringLiteral("@/org/kernel/udev"), QStringLiteral("@/tmp/.X11-unix/X0")}) << alice << QStringList{} << QString();
    QTest::newRow("prefix needs the dash") << table({QStringLiteral("/tmp/dbusAbC")}) << alice << QStringList{QStringLiteral("/tmp/dbusAbC")} << QString();
    QTest::newRow("seven columns: no path") << header + socketLine(QString()) + QStringLiteral("0000: 00000002 00000000 00010000 0001 01\n") << alice
                                            << QStringList{} << QString();
    QTest::newRow("first line is the header, whatever it says") << socketLine(run1000) << alice << QStringList{} << QString();
    QTest::newRow("empty lines before the header dropped")
        << QStringLiteral("\n\n") + table({run1000}) << alice << QStringList{} << QStringLiteral("unix:path=/run/user/1000/bus");
    QTest::newRow("empty table") << QString() << alice << QStringList{} << QString();
}

void BusAddressTest::socketTable()
{
    QFETCH(QString, text);
    QFETCH(quint64, uid);
    QFETCH(QStringList, ownedByTarget);
    QFETCH(QString, address);

    const std::optional<QString> found = busAddressFromSocketTable(text, uid, [&ownedByTarget](const QString &path) {
        return ownedByTarget.contains(path);
    });
    QCOMPARE(found.value_or(QString()), address);
    QCOMPARE(found.has_value(), !address.isEmpty());
}

void BusAddressTest::ownerCheckedOnlyForTmpSockets()
{
    QStringList checked;
    const QString text =
        table({QStringLiteral("@/tmp/dbus-a"), QStringLiteral("/tmp/dbus-b"), QStringLiteral("/run/user/7/bus"), QStringLiteral("/tmp/dbus-c")});
    const std::optional<QString> found = busAddressFromSocketTable(text, 7, [&checked](const QString &path) {
        checked << path;
        return false;
    });
    QCOMPARE(found.value_or(QString()), QStringLiteral("unix:path=/run/user/7/bus"));
    QCOMPARE(checked, QStringList{QStringLiteral("/tmp/dbus-b")});
}

void BusAddressTest::environBlock_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("address");

    const QByteArray entry("DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus");
    QTest::newRow("among others") << bytes("HOME=/home/a\0") + entry + bytes("\0LANG=C\0") << QStringLiteral("unix:path=/run/user/1000/bus");
    QTest::newRow("last entry without NUL") << bytes("A=1\0") + entry << QStringLiteral("unix:path=/run/user/1000/bus");
    QTest::newRow("_OLD does not match") << bytes("DBUS_SESSION_BUS_ADDRESS_OLD=x\0") << QString();
    QTest::newRow("_OLD before the real one") << bytes("DBUS_SESSION_BUS_ADDRESS_OLD=x\0") + entry + '\0' << QStringLiteral("unix:path=/run/user/1000/bus");
    QTest::newRow("must begin the entry") << bytes("XDBUS_SESSION_BUS_ADDRESS=x\0MY_DBUS_SESSION_BUS_ADDRESS=y") << QString();
    QTest::newRow("first of two") << bytes("DBUS_SESSION_BUS_ADDRESS=first\0DBUS_SESSION_BUS_ADDRESS=second\0") << QStringLiteral("first");
    QTest::newRow("first is empty") << bytes("DBUS_SESSION_BUS_ADDRESS=\0DBUS_SESSION_BUS_ADDRESS=second\0") << QString();
    QTest::newRow("options and equals signs kept") << QByteArray("DBUS_SESSION_BUS_ADDRESS=unix:path=/tmp/x,guid=1=2")
                                                   << QStringLiteral("unix:path=/tmp/x,guid=1=2");
    QTest::newRow("UTF-8 value") << QByteArray("DBUS_SESSION_BUS_ADDRESS=unix:path=/tmp/\xc3\xa9") << QStringLiteral("unix:path=/tmp/\u00e9");
    QTest::newRow("name without =") << bytes("DBUS_SESSION_BUS_ADDRESS\0") << QString();
    QTest::newRow("empty block") << QByteArray() << QString();
    QTest::newRow("only NULs") << bytes("\0\0\0") << QString();
}

void BusAddressTest::environBlock()
{
    QFETCH(QByteArray, block);
    QFETCH(QString, address);
    QCOMPARE(busAddressFromEnvironBlock(block), address);
}

void BusAddressTest::environOfRealProcess()
{
    QProcess child;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS_OLD"), QStringLiteral("unix:path=/old"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/tmp/dbus-test,guid=42"));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    QVERIFY(child.waitForStarted());
    const quint64 pid = quint64(child.processId());
    QCOMPARE(busAddressFromEnviron(pid), QStringLiteral("unix:path=/tmp/dbus-test,guid=42"));
    child.kill();
    QVERIFY(child.waitForFinished());

    // A process that has gone: its files cannot be opened.
    QCOMPARE(busAddressFromEnviron(pid), QString());
    QCOMPARE(busAddressFromEnviron(0), QString());
}

void BusAddressTest::statusUid_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<qint64>("uid"); // -1: no uid

    QTest::newRow("real uid of four") << QStringLiteral("Name:\tsleep\nUid:\t1000\t0\t0\t0\nGid:\t5\t5\t5\t5\n") << qint64(1000);
    QTest::newRow("only two parts") << QStringLiteral("Uid:\t1000") << qint64(1000);
    QTest::newRow("blanks around the number") << QStringLiteral("Uid:\t 1000 \t0\n") << qint64(1000);
    QTest::newRow("not a number reads as 0") << QStringLiteral("Uid:\tabc\t1000\n") << qint64(0);
    QTest::newRow("empty real uid field reads as 0") << QStringLiteral("Uid:\t\n") << qint64(0);
    QTest::newRow("blanks instead of tabs: next Uid line tried") << QStringLiteral("Uid: 1000 1000\nUid:\t1001\t1001\n") << qint64(1001);
    QTest::newRow("blanks only: no uid") << QStringLiteral("Name:\tx\nUid: 1000 1000 1000 1000\n") << qint64(-1);
    QTest::newRow("must start the line") << QStringLiteral(" Uid:\t1000\nxUid:\t7\n") << qint64(-1);
    QTest::newRow("case matters") << QStringLiteral("uid:\t1000\n") << qint64(-1);
    QTest::newRow("no Uid line") << QStringLiteral("Name:\tx\nGid:\t1000\t1000\n") << qint64(-1);
}

void BusAddressTest::statusUid()
{
    QFETCH(QString, status);
    QFETCH(qint64, uid);
    const std::optional<quint64> found = realUidFromStatus(status);
    QCOMPARE(found.has_value(), uid >= 0);
    if (found) {
        QCOMPARE(qint64(*found), uid);
    }
}

void BusAddressTest::parseDecimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint64>("value");

    QTest::newRow("1000") << QStringLiteral("1000") << true << quint64(1000);
    QTest::newRow("zero") << QStringLiteral("0") << true << quint64(0);
    QTest::newRow("leading zeros") << QStringLiteral("007") << true << quint64(7);
    QTest::newRow("largest") << QStringLiteral("18446744073709551615") << true << Q_UINT64_C(18446744073709551615);
    QTest::newRow("too large") << QStringLiteral("18446744073709551616") << false << quint64(0);
    QTest::newRow("empty") << QString() << false << quint64(0);
    QTest::newRow("leading blank") << QStringLiteral(" 1000") << false << quint64(0);
    QTest::newRow("trailing newline") << QStringLiteral("1000\n") << false << quint64(0);
    QTest::newRow("sign") << QStringLiteral("+1000") << false << quint64(0);
    QTest::newRow("negative") << QStringLiteral("-1") << false << quint64(0);
    QTest::newRow("hex") << QStringLiteral("0x10") << false << quint64(0);
    QTest::newRow("name") << QStringLiteral("alice") << false << quint64(0);
    QTest::newRow("digits then letters") << QStringLiteral("1000a") << false << quint64(0);
}

void BusAddressTest::parseDecimal()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(quint64, value);
    const std::optional<quint64> parsed = ::parseDecimal(text);
    QCOMPARE(parsed.has_value(), ok);
    if (parsed) {
        QCOMPARE(*parsed, value);
    }
}

void BusAddressTest::usableAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("usable");

    QTest::newRow("empty") << QString() << false;
    QTest::newRow("unix:path") << QStringLiteral("unix:path") << false;
    QTest::newRow("unix:path=") << QStringLiteral("unix:path=") << false;
    QTest::newRow("path") << QStringLiteral("unix:path=/run/user/1000/bus") << true;
    QTest::newRow("abstract") << QStringLiteral("unix:abstract=/tmp/dbus-x") << true;
    QTest::newRow("not exactly unix:path=") << QStringLiteral("unix:path= ") << true;
    QTest::newRow("anything else") << QStringLiteral("x") << true;
}

void BusAddressTest::usableAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, usable);
    QCOMPARE(isUsableBusAddress(address), usable);
}

void BusAddressTest::sessionIdOfUser_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("sessionId");

    const QString list = QStringLiteral("c1 115 plim-dm seat0 tty1\n  3   1000   alice  seat0 tty2\n7 alice\n4 1001 bob\n5 1000 alice seat0 tty3\n");
    QTest::newRow("first line of the user") << list << QStringLiteral("alice") << QStringLiteral("3");
    QTest::newRow("three columns suffice") << list << QStringLiteral("bob") << QStringLiteral("4");
    QTest::newRow("exact name only") << list << QStringLiteral("Alice") << QString();
    QTest::newRow("uid is not the user column") << list << QStringLiteral("1000") << QString();
    QTest::newRow("short line not matched") << QStringLiteral("7 alice\n") << QStringLiteral("alice") << QString();
    QTest::newRow("empty list") << QString() << QStringLiteral("alice") << QString();
}

void BusAddressTest::sessionIdOfUser()
{
    QFETCH(QString, list);
    QFETCH(QString, user);
    QFETCH(QString, sessionId);
    QCOMPARE(::sessionIdOfUser(list, user), sessionId);
}

QTEST_GUILESS_MAIN(BusAddressTest)

#include "busaddresstest.moc"
