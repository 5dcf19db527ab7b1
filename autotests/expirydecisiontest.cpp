// SPDX-License-Identifier: GPL-2.0-or-later
#include "expirydecision.h"

#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<qint32>)

class ExpiryDecisionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void daysLeft_data();
    void daysLeft();
    void decide_data();
    void decide();
};

namespace
{
const QDate today(2024, 3, 1);

// The sp_lstchg of a password changed `daysAgo` days before `today`.
long changedDaysAgo(int daysAgo)
{
    return static_cast<long>(QDate(1970, 1, 1).daysTo(today) - daysAgo);
}

const std::optional<qint32> quiet;

QString describe(const std::optional<qint32> &remindDays)
{
    return remindDays ? QStringLiteral("remind with %1").arg(*remindDays) : QStringLiteral("quiet");
}
} // namespace

void ExpiryDecisionTest::daysLeft_data()
{
    QTest::addColumn<long>("lastChange");
    QTest::addColumn<long>("maxAge");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<qint32>("daysLeft");

    QTest::newRow("expires on the epoch's 31st day") << 0L << 30L << QDate(1970, 1, 1) << 30;
    QTest::newRow("changed today, 90 days") << changedDaysAgo(0) << 90L << today << 90;
    QTest::newRow("changed 85 days ago, 90 days") << changedDaysAgo(85) << 90L << today << 5;
    QTest::newRow("expired 10 days ago") << changedDaysAgo(100) << 90L << today << -10;
    QTest::newRow("across a leap day") << long(QDate(1970, 1, 1).daysTo(QDate(2024, 2, 28))) << 2L << QDate(2024, 2, 29) << 1;
    QTest::newRow("no change date, no maximum") << -1L << -1L << QDate(1970, 1, 1) << -2;
    QTest::newRow("absurd numbers saturate") << 9223372036854775807L << 9223372036854775807L << today << 2147483647;
    QTest::newRow("absurd negative numbers saturate") << (-9223372036854775807L - 1) << 0L << today << (-2147483647 - 1);
}

void ExpiryDecisionTest::daysLeft()
{
    QFETCH(long, lastChange);
    QFETCH(long, maxAge);
    QFETCH(QDate, today);
    QFETCH(qint32, daysLeft);

    QCOMPARE(passwordDaysLeft(lastChange, maxAge, today), daysLeft);
}

void ExpiryDecisionTest::decide_data()
{
    QTest::addColumn<long>("lastChange");
    QTest::addColumn<long>("maxAge");
    QTest::addColumn<qint32>("notifyDays");
    QTest::addColumn<std::optional<qint32>>("remindDays");

    // Passwords that never expire.
    QTest::newRow("never expires: max 99999") << changedDaysAgo(200) << 99999L << 14 << quiet;
    QTest::newRow("never expires: max 99999, remind from far away") << 1L << 99999L << 100000 << quiet;
    QTest::newRow("never expires: max 100000") << changedDaysAgo(5) << 100000L << 14 << quiet;
    QTest::newRow("never expires: max 0") << changedDaysAgo(5) << 0L << 14 << quiet;
    QTest::newRow("never expires: max -1") << changedDaysAgo(5) << -1L << 14 << quiet;
    QTest::newRow("max 99998 is an ordinary maximum age")
        << 1L << 99998L << 100000 << std::optional<qint32>(static_cast<qint32>(today.daysTo(QDate(1970, 1, 2).addDays(99998))));
    QTest::newRow("max 1, changed today") << changedDaysAgo(0) << 1L << 14 << std::optional<qint32>(1);

    // Aging disabled: an empty last-change field reads as -1.
    QTest::newRow("aging disabled, max 90") << -1L << 90L << 14 << quiet;
    QTest::newRow("aging disabled, max 99999") << -1L << 99999L << 14 << quiet;
    QTest::newRow("aging disabled, max -1") << -1L << -1L << 14 << quiet;
    QTest::newRow("last change below -1") << -5L << 90L << 14 << quiet;

    // Must be changed at the next login.
    QTest::newRow("must change now, max 99999") << 0L << 99999L << 14 << std::optional<qint32>(0);
    QTest::newRow("must change now, max -1") << 0L << -1L << 14 << std::optional<qint32>(0);
    QTest::newRow("must change now, notify days 0") << 0L << 90L << 0 << std::optional<qint32>(0);

    // Already expired: the zero-days text, never a negative count.
    QTest::newRow("expired yesterday") << changedDaysAgo(91) << 90L << 14 << std::optional<qint32>(0);
    QTest::newRow("expired long ago") << changedDaysAgo(5000) << 90L << 14 << std::optional<qint32>(0);
    QTest::newRow("expired, notify days 0") << changedDaysAgo(91) << 90L << 0 << std::optional<qint32>(0);
    QTest::newRow("expired, notify days negative") << changedDaysAgo(91) << 90L << -3 << std::optional<qint32>(0);

    // Around the notify-days boundary.
    QTest::newRow("days left equal to notify days") << changedDaysAgo(76) << 90L << 14 << quiet;
    QTest::newRow("one day below notify days") << changedDaysAgo(77) << 90L << 14 << std::optional<qint32>(13);
    QTest::newRow("one day left") << changedDaysAgo(89) << 90L << 14 << std::optional<qint32>(1);
    QTest::newRow("far from expiry") << changedDaysAgo(10) << 90L << 14 << quiet;

    // Expiring today.
    QTest::newRow("zero days, notify days 1") << changedDaysAgo(90) << 90L << 1 << std::optional<qint32>(0);
    QTest::newRow("zero days, notify days 0") << changedDaysAgo(90) << 90L << 0 << quiet;
    QTest::newRow("one day left, notify days 1") << changedDaysAgo(89) << 90L << 1 << quiet;
}

void ExpiryDecisionTest::decide()
{
    QFETCH(long, lastChange);
    QFETCH(long, maxAge);
    QFETCH(qint32, notifyDays);
    QFETCH(std::optional<qint32>, remindDays);

    const ExpiryDecision decision = decideExpiryReminder(lastChange, maxAge, today, notifyDays);
    QCOMPARE(describe(decision.remindDays), describe(remindDays));
    QCOMPARE(decision.daysLeft, passwordDaysLeft(lastChange, maxAge, today));
}

QTEST_GUILESS_MAIN(ExpiryDecisionTest)

#include "expirydecisiontest.moc"
