// SPDX-License-Identifier: GPL-2.0-or-later
#include "settingscommands.h"

#include <QTest>

class SettingsCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enableDisable_data();
    void enableDisable();
    void notifyDays_data();
    void notifyDays();
};

void SettingsCommandsTest::enableDisable_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("result");

    QTest::newRow("enable") << QStringLiteral("enable") << true << true;
    QTest::newRow("disable") << QStringLiteral("disable") << true << false;
    QTest::newRow("capitalised Enable") << QStringLiteral("Enable") << false << false;
    QTest::newRow("upper DISABLE") << QStringLiteral("DISABLE") << false << false;
    QTest::newRow("true") << QStringLiteral("true") << false << false;
    QTest::newRow("1") << QStringLiteral("1") << false << false;
    QTest::newRow("empty") << QString() << false << false;
    QTest::newRow("trailing blank") << QStringLiteral("enable ") << false << false;
}

void SettingsCommandsTest::enableDisable()
{
    QFETCH(QString, value);
    QFETCH(bool, ok);
    QFETCH(bool, result);

    bool parsedOk = !ok;
    QCOMPARE(parseEnableDisable(value, parsedOk), result);
    QCOMPARE(parsedOk, ok);
}

void SettingsCommandsTest::notifyDays_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("days");

    QTest::newRow("seven") << QStringLiteral("7") << true << 7;
    QTest::newRow("zero") << QStringLiteral("0") << true << 0;
    QTest::newRow("negative") << QStringLiteral("-3") << true << -3;
    QTest::newRow("int max") << QStringLiteral("2147483647") << true << 2147483647;
    QTest::newRow("int min") << QStringLiteral("-2147483648") << true << int(-2147483648LL);
    QTest::newRow("just above int max") << QStringLiteral("2147483648") << false << 0;
    QTest::newRow("would wrap to 1") << QStringLiteral("4294967297") << false << 0;
    QTest::newRow("just below int min") << QStringLiteral("-2147483649") << false << 0;
    QTest::newRow("word") << QStringLiteral("ten") << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("decimal point") << QStringLiteral("1.5") << false << 0;
}

void SettingsCommandsTest::notifyDays()
{
    QFETCH(QString, value);
    QFETCH(bool, ok);
    QFETCH(int, days);

    const std::optional<qint32> parsed = parseNotifyDays(value);
    QCOMPARE(parsed.has_value(), ok);
    if (ok) {
        QCOMPARE(*parsed, days);
    }
}

QTEST_GUILESS_MAIN(SettingsCommandsTest)
#include "settingscommandstest.moc"
