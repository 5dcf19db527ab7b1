// SPDX-License-Identifier: GPL-2.0-or-later
// The command runner against real child processes, and its text rules.
#include "commandrunner.h"
#include "logcapture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace
{
const QString sh = QStringLiteral("/bin/sh");
const QByteArray untouched("previous contents");

// Processes whose parent is this test, zombies included, as "pid state".
QStringList childrenOfThisProcess()
{
    QStringList children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray text = stat.readAll();
        // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == getpid()) {
            children << entry + QLatin1Char(' ') + QString::fromLatin1(fields.at(0));
        }
    }
    return children;
}
} // namespace

class CommandRunnerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outputToText_data();
    void outputToText();
    void outputLines_data();
    void outputLines();
    void lineColumns_data();
    void lineColumns();

    void success_data();
    void success();
    void failureKeepsBuffer_data();
    void failureKeepsBuffer();
    void channels();
    void timeoutKillsChild_data();
    void timeoutKillsChild();
    void quietTimeout();
};

void CommandRunnerTest::outputToText_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("plain") << QByteArray("2 1000 alice\n") << QStringLiteral("2 1000 alice\n");
    QTest::newRow("cut at NUL") << QByteArray("wayland\0yes\n", 12) << QStringLiteral("wayland");
    QTest::newRow("NUL first") << QByteArray("\0abc", 4) << QString();
    QTest::newRow("first of two NULs") << QByteArray("a\0b\0c", 5) << QStringLiteral("a");
    QTest::newRow("UTF-8") << QByteArray("J\xc3\xbcrgen") << QStringLiteral("J\u00fcrgen");
}

void CommandRunnerTest::outputToText()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, text);
    QCOMPARE(::outputToText(output), text);
}

void CommandRunnerTest::outputLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("a, empty line, b") << QStringLiteral("a\n\nb") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("trailing newline") << QStringLiteral("x11\nyes\n") << QStringList{QStringLiteral("x11"), QStringLiteral("yes")};
    QTest::newRow("leading newlines") << QStringLiteral("\n\nyes") << QStringList{QStringLiteral("yes")};
    QTest::newRow("empty") << QString() << QStringList{};
    QTest::newRow("only newlines") << QStringLiteral("\n\n\n") << QStringList{};
    QTest::newRow("blank line is not empty") << QStringLiteral(" \nb") << QStringList{QStringLiteral(" "), QStringLiteral("b")};
    QTest::newRow("no trimming") << QStringLiteral(" a \r\nb") << QStringList{QStringLiteral(" a \r"), QStringLiteral("b")};
}

void CommandRunnerTest::outputLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(::outputLines(text), lines);
}

void CommandRunnerTest::lineColumns_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("columns");

    const QStringList sessionColumns{QStringLiteral("2"), QStringLiteral("1000"), QStringLiteral("alice"), QStringLiteral("seat0")};
    QTest::newRow("single spaces") << QStringLiteral("2 1000 alice seat0") << sessionColumns;
    QTest::newRow("leading, trailing, repeated spaces") << QStringLiteral("   2  1000     alice seat0   ") << sessionColumns;
    QTest::newRow("tabs and spaces") << QStringLiteral("\t2\t \t1000 alice\tseat0\r") << sessionColumns;
    QTest::newRow("one column") << QStringLiteral("  c1 ") << QStringList{QStringLiteral("c1")};
    QTest::newRow("empty") << QString() << QStringList{};
    QTest::newRow("blanks only") << QStringLiteral(" \t ") << QStringList{};
}

void CommandRunnerTest::lineColumns()
{
    QFETCH(QString, line);
    QFETCH(QStringList, columns);
    QCOMPARE(::lineColumns(line), columns);
}

void CommandRunnerTest::success_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("two lines") << sh << QStringList{QStringLiteral("-c"), QStringLiteral("printf 'a\\nb'")} << QByteArray("a\nb");
    QTest::newRow("arguments taken literally") << sh
                                               << QStringList{QStringLiteral("-c"),
                                                              QStringLiteral("printf '<%s>' \"$@\""),
                                                              QStringLiteral("sh"),
                                                              QStringLiteral("$HOME"),
                                                              QStringLiteral("a  b"),
                                                              QStringLiteral("*"),
                                                              QString()}
                                               << QByteArray("<$HOME><a  b><*><>");
    QTest::newRow("NUL byte kept in the buffer") << sh << QStringList{QStringLiteral("-c"), QStringLiteral("printf 'ab\\000cd'")} << QByteArray("ab\0cd", 5);
    QTest::newRow("only standard error") << sh << QStringList{QStringLiteral("-c"), QStringLiteral("echo oops >&2")} << QByteArray();
    QTest::newRow("no output at all") << QStringLiteral("/bin/true") << QStringList{} << QByteArray();
    QTest::newRow("large output") << sh << QStringList{QStringLiteral("-c"), QStringLiteral("head -c 300000 /dev/zero | tr '\\0' x")}
                                  << QByteArray(300000, 'x');
}

void CommandRunnerTest::success()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, output);

    {
        LogCapture log;
        QByteArray buffer = untouched;
        QVERIFY(runCmd(program, args, buffer, 3000));
        QCOMPARE(buffer, output);
        QCOMPARE(log.lines(), QStringList{});
    }
    QByteArray buffer = untouched;
    QVERIFY(runCmdQuiet(program, args, buffer));
    QCOMPARE(buffer, output);
    QCOMPARE(childrenOfThisProcess(), QStringList{});
}

void CommandRunnerTest::failureKeepsBuffer_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("missing program") << QStringLiteral("/nonexistent/loginctl") << QStringList{QStringLiteral("list-sessions"), QStringLiteral("--no-pager")}
                                     << QStringLiteral("info default: [runCmd] start failed: \"/nonexistent/loginctl\" (\"list-sessions\", \"--no-pager\")");
    QTest::newRow("missing program, no arguments") << QStringLiteral("/nonexistent/id") << QStringList{}
                                                   << QStringLiteral("info default: [runCmd] start failed: \"/nonexistent/id\" ()");
    QTest::newRow("directory") << QStringLiteral("/usr") << QStringList{QStringLiteral("x")}
                               << QStringLiteral("info default: [runCmd] start failed: \"/usr\" (\"x\")");
    QTest::newRow("output, then exit 1") << sh << QStringList{QStringLiteral("-c"), QStringLiteral("echo 2 1000 alice; exit 1")} << QString();
    QTest::newRow("exit 255") << sh << QStringList{QStringLiteral("-c"), QStringLiteral("echo x; exit 255")} << QString();
    QTest::newRow("output, then killed by a signal") << sh << QStringList{QStringLiteral("-c"), QStringLiteral("echo x; kill -SEGV $$")} << QString();
}

void CommandRunnerTest::failureKeepsBuffer()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, logLine);

    {
        LogCapture log;
        QByteArray buffer = untouched;
        QVERIFY(!runCmd(program, args, buffer, 3000));
        QCOMPARE(buffer, untouched);
        QCOMPARE(log.lines(), logLine.isEmpty() ? QStringList{} : QStringList{logLine});
    }
    {
        LogCapture log;
        QByteArray buffer = untouched;
        QVERIFY(!runCmdQuiet(program, args, buffer));
        QCOMPARE(buffer, untouched);
        QCOMPARE(log.lines(), QStringList{});
    }
    QCOMPARE(childrenOfThisProcess(), QStringList{});
}

void CommandRunnerTest::channels()
{
    // Standard input, output and error are three distinct pipes; standard
    // input stays open (a read from it would wait, not see end of file).
    QByteArray buffer;
    QVERIFY(runCmd(QStringLiteral("/usr/bin/stat"),
                   {QStringLiteral("-L"),
                    QStringLiteral("-c"),
                    QStringLiteral("%F %i"),
                    QStringLiteral("/proc/self/fd/0"),
                    QStringLiteral("/proc/self/fd/1"),
                    QStringLiteral("/proc/self/fd/2")},
                   buffer,
                   3000));
    const QStringList lines = ::outputLines(::outputToText(buffer));
    QCOMPARE(lines.size(), 3);
    for (const QString &line : lines) {
        QVERIFY2(line.startsWith(QLatin1String("fifo ")), qPrintable(line));
    }
    QCOMPARE(QSet<QString>(lines.begin(), lines.end()).size(), 3);

    QElapsedTimer timer;
    timer.start();
    buffer = untouched;
    QVERIFY(!runCmd(sh, {QStringLiteral("-c"), QStringLiteral("read line; echo got")}, buffer, 300));
    QCOMPARE(buffer, untouched);
    QVERIFY(timer.elapsed() >= 300);
}

void CommandRunnerTest::timeoutKillsChild_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("sleep") << QStringLiteral("/bin/sleep") << QStringList{QStringLiteral("30")}
                           << QStringLiteral("info default: [runCmd] timeout: \"/bin/sleep\" (\"30\")");
    // SIGTERM is ignored: only SIGKILL ends this child.
    QTest::newRow("ignores SIGTERM") << sh << QStringList{QStringLiteral("-c"), QStringLiteral("trap '' TERM; echo partial; exec /bin/sleep 30")}
                                     << QStringLiteral(
                                            "info default: [runCmd] timeout: \"/bin/sh\" (\"-c\", \"trap '' TERM; echo partial; exec /bin/sleep 30\")");
}

void CommandRunnerTest::timeoutKillsChild()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, logLine);

    const int timeoutMs = 800;
    LogCapture log;
    QByteArray buffer = untouched;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!runCmd(program, args, buffer, timeoutMs));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= timeoutMs, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < 2 * timeoutMs + 1000, qPrintable(QString::number(elapsed)));
    QCOMPARE(buffer, untouched);
    QCOMPARE(log.lines(), QStringList{logLine});
    QCOMPARE(childrenOfThisProcess(), QStringList{});
}

void CommandRunnerTest::quietTimeout()
{
    // The quiet variant's fixed 3000 ms: killed after it, without a log line.
    LogCapture log;
    QByteArray buffer = untouched;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!runCmdQuiet(QStringLiteral("/bin/sleep"), {QStringLiteral("30")}, buffer));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 3000 && elapsed < 7000, qPrintable(QString::number(elapsed)));
    QCOMPARE(buffer, untouched);
    QCOMPARE(log.lines(), QStringList{});
    QCOMPARE(childrenOfThisProcess(), QStringList{});
}

QTEST_GUILESS_MAIN(CommandRunnerTest)

#include "commandrunnertest.moc"
