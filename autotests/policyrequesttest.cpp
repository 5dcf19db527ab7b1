// SPDX-License-Identifier: GPL-2.0-or-later
#include "policyrequest.h"

#include <QTest>

using namespace PasswordExpirationPolicy;

namespace
{
// A date carrying an arbitrary day number, as a stream may deliver it.
QDate dateFromDayNumber(qint64 day)
{
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << day;
    }
    QDataStream in(bytes);
    QDate date;
    in >> date;
    return date;
}

const Config valid{true, false, 14, 0, 99999, 7, -1, QDate(2026, 3, 1)};
} // namespace

class PolicyRequestTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void arguments_data();
    void arguments();
    void checkConfig_data();
    void checkConfig();
};

void PolicyRequestTest::arguments_data()
{
    QTest::addColumn<QVariantMap>("arguments");
    QTest::addColumn<QString>("error"); // empty: the record is taken

    const QVariant config = QVariant::fromValue(valid);
    QTest::newRow("config alone") << QVariantMap{{QStringLiteral("config"), config}} << QString();
    QTest::newRow("no arguments") << QVariantMap() << QStringLiteral("Missing argument config");
    QTest::newRow("further argument") << QVariantMap{{QStringLiteral("config"), config}, {QStringLiteral("path"), QStringLiteral("/tmp/x")}}
                                      << QStringLiteral("Unexpected argument path");
    QTest::newRow("key in other case") << QVariantMap{{QStringLiteral("Config"), config}} << QStringLiteral("Unexpected argument Config");
    QTest::newRow("config as text") << QVariantMap{{QStringLiteral("config"), QStringLiteral("PASS_MIN_DAYS 0")}}
                                    << QStringLiteral("Argument config does not hold a PasswordExpirationPolicy::Config");
    QTest::newRow("config as number") << QVariantMap{{QStringLiteral("config"), 7}}
                                      << QStringLiteral("Argument config does not hold a PasswordExpirationPolicy::Config");
    QTest::newRow("config empty") << QVariantMap{{QStringLiteral("config"), QVariant()}}
                                  << QStringLiteral("Argument config does not hold a PasswordExpirationPolicy::Config");
}

void PolicyRequestTest::arguments()
{
    QFETCH(QVariantMap, arguments);
    QFETCH(QString, error);

    const Result<Config> result = configFromArguments(arguments);
    if (error.isEmpty()) {
        QVERIFY2(result.hasValue(), qPrintable(result.error().message));
        QCOMPARE(result.value(), valid);
    } else {
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().code, -1);
        QCOMPARE(result.error().message, error);
    }
}

void PolicyRequestTest::checkConfig_data()
{
    QTest::addColumn<Config>("config");
    QTest::addColumn<QString>("refusedKey"); // empty: accepted

    const auto with = [](auto member, auto value) {
        Config config = valid;
        config.*member = value;
        return config;
    };

    QTest::newRow("valid record") << valid << QString();
    QTest::newRow("sentinels") << Config{false, false, 14, 0, -1, -1, -1, QDate()} << QString();
    QTest::newRow("notify days have no range") << with(&Config::notifyDays, std::numeric_limits<qint32>::min()) << QString();
    QTest::newRow("largest ages") << Config{true, true, 0, std::numeric_limits<qint32>::max(), std::numeric_limits<qint32>::max(),
                                            std::numeric_limits<qint32>::max(), std::numeric_limits<qint32>::max(), QDate()}
                                  << QString();
    QTest::newRow("min days -1") << with(&Config::passMinDays, -1) << QStringLiteral("PASS_MIN_DAYS");
    QTest::newRow("min days -5") << with(&Config::passMinDays, -5) << QStringLiteral("PASS_MIN_DAYS");
    QTest::newRow("max days -2") << with(&Config::passMaxDays, -2) << QStringLiteral("PASS_MAX_DAYS");
    QTest::newRow("max days int min") << with(&Config::passMaxDays, std::numeric_limits<qint32>::min()) << QStringLiteral("PASS_MAX_DAYS");
    QTest::newRow("warn age -2") << with(&Config::passWarnAge, -2) << QStringLiteral("PASS_WARN_AGE");
    QTest::newRow("inactive -2") << with(&Config::inactiveDays, -2) << QStringLiteral("INACTIVE");
    QTest::newRow("first bad value named") << Config{true, false, 14, 0, -1, -2, -2, QDate()} << QStringLiteral("PASS_WARN_AGE");
    QTest::newRow("first day of the format") << with(&Config::expireDate, QDate(1, 1, 1)) << QString();
    QTest::newRow("last day of the format") << with(&Config::expireDate, QDate(9999, 12, 31)) << QString();
    QTest::newRow("year 10000") << with(&Config::expireDate, QDate(10000, 1, 1)) << QStringLiteral("EXPIRE");
    QTest::newRow("year before 1") << with(&Config::expireDate, QDate(-1, 12, 31)) << QStringLiteral("EXPIRE");
    QTest::newRow("day number out of range") << with(&Config::expireDate, dateFromDayNumber(Q_INT64_C(1000000000000000))) << QStringLiteral("EXPIRE");
    QTest::newRow("day number of 2026-03-01") << with(&Config::expireDate, dateFromDayNumber(QDate(2026, 3, 1).toJulianDay())) << QString();
}

void PolicyRequestTest::checkConfig()
{
    QFETCH(Config, config);
    QFETCH(QString, refusedKey);

    const QVariant result = PasswordExpirationPolicy::checkConfig(config);
    if (refusedKey.isEmpty()) {
        QVERIFY2(result.isNull(), qPrintable(result.value<Error>().message));
    } else {
        QVERIFY(!result.isNull());
        QCOMPARE(result.value<Error>().code, -1);
        QCOMPARE(result.value<Error>().message, QStringLiteral("Parameter %1 has an unexpected value").arg(refusedKey));
    }
}

QTEST_GUILESS_MAIN(PolicyRequestTest)
#include "policyrequesttest.moc"
