// SPDX-License-Identifier: GPL-2.0-or-later
#include "settingscommands.h"

#include <KLocalizedString>

#include <QTest>

using PasswordExpirationPolicy::Config;

namespace
{
// The stored policy most cases start from.
Config storedPolicy()
{
    Config config;
    config.receiveNotifyForLocal = true;
    config.receiveNotifyForDomain = false;
    config.notifyDays = 14;
    config.passMinDays = 1;
    config.passMaxDays = 90;
    config.passWarnAge = 7;
    config.inactiveDays = -1;
    config.expireDate = QDate(2026, 3, 1);
    return config;
}

const QDate today(2026, 6, 1);

// A Config as one line, for comparing and for failure messages.
QString described(const Config &config)
{
    return policyLines(config).join(QLatin1Char(' '));
}
} // namespace

Q_DECLARE_METATYPE(SetOptions)
Q_DECLARE_METATYPE(PolicyChanges)

class SettingsCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void enableDisable_data();
    void enableDisable();
    void notifyDays_data();
    void notifyDays();
    void ageDays_data();
    void ageDays();
    void expireOption_data();
    void expireOption();
    void policyOptions_data();
    void policyOptions();
    void changedPolicy_data();
    void changedPolicy();
    void policyLines_data();
    void policyLines();
};

void SettingsCommandsTest::initTestCase()
{
    // The messages compared below are the untranslated ones.
    KLocalizedString::setLanguages({QStringLiteral("en_US")});
}

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

void SettingsCommandsTest::ageDays_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("lowest");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("days");

    QTest::newRow("ninety") << QStringLiteral("90") << -1 << true << 90;
    QTest::newRow("-1, not set") << QStringLiteral("-1") << -1 << true << -1;
    QTest::newRow("-1 where 0 is the lowest") << QStringLiteral("-1") << 0 << false << 0;
    QTest::newRow("0 where 0 is the lowest") << QStringLiteral("0") << 0 << true << 0;
    QTest::newRow("-2") << QStringLiteral("-2") << -1 << false << 0;
    QTest::newRow("99999, the page's largest") << QStringLiteral("99999") << -1 << true << 99999;
    QTest::newRow("100000") << QStringLiteral("100000") << -1 << false << 0;
    QTest::newRow("would wrap to 14") << QStringLiteral("4294967310") << -1 << false << 0;
    QTest::newRow("word") << QStringLiteral("ninety") << -1 << false << 0;
    QTest::newRow("empty") << QString() << -1 << false << 0;
    QTest::newRow("unit") << QStringLiteral("90d") << -1 << false << 0;
}

void SettingsCommandsTest::ageDays()
{
    QFETCH(QString, value);
    QFETCH(int, lowest);
    QFETCH(bool, ok);
    QFETCH(int, days);

    const std::optional<qint32> parsed = parseAgeDays(value, lowest);
    QCOMPARE(parsed.has_value(), ok);
    if (ok) {
        QCOMPARE(*parsed, days);
    }
}

void SettingsCommandsTest::expireOption_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QDate>("date"); // null for none

    QTest::newRow("a date") << QStringLiteral("2027-01-31") << true << QDate(2027, 1, 31);
    QTest::newRow("leap day") << QStringLiteral("2028-02-29") << true << QDate(2028, 2, 29);
    QTest::newRow("none") << QStringLiteral("none") << true << QDate();
    QTest::newRow("None") << QStringLiteral("None") << false << QDate();
    QTest::newRow("empty") << QString() << false << QDate();
    QTest::newRow("no such day") << QStringLiteral("2027-02-29") << false << QDate();
    QTest::newRow("no leading zeros") << QStringLiteral("2027-1-5") << false << QDate();
    QTest::newRow("plus in a field") << QStringLiteral("2027-+1-05") << false << QDate();
    QTest::newRow("day first") << QStringLiteral("31.01.2027") << false << QDate();
    QTest::newRow("with a time") << QStringLiteral("2027-01-31T00:00") << false << QDate();
}

void SettingsCommandsTest::expireOption()
{
    QFETCH(QString, value);
    QFETCH(bool, ok);
    QFETCH(QDate, date);

    const std::optional<QDate> parsed = parseExpireOption(value);
    QCOMPARE(parsed.has_value(), ok);
    if (ok) {
        QCOMPARE(*parsed, date);
    }
}

void SettingsCommandsTest::policyOptions_data()
{
    QTest::addColumn<SetOptions>("options");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    QTest::addColumn<QString>("changes"); // the given values, in option order

    const auto options = [](std::optional<QString> min,
                            std::optional<QString> max,
                            std::optional<QString> warn,
                            std::optional<QString> inactive,
                            std::optional<QString> expire) {
        SetOptions o;
        o.minDays = min;
        o.maxDays = max;
        o.warnAge = warn;
        o.inactive = inactive;
        o.expire = expire;
        return o;
    };
    const auto s = [](const char *text) {
        return std::optional<QString>(QString::fromLatin1(text));
    };
    const std::nullopt_t none = std::nullopt;

    QTest::newRow("nothing given") << options(none, none, none, none, none) << QString() << QStringLiteral("- - - - -");
    QTest::newRow("all five") << options(s("1"), s("60"), s("10"), s("30"), s("2030-01-31")) << QString() << QStringLiteral("1 60 10 30 2030-01-31");
    QTest::newRow("all not set") << options(s("0"), s("-1"), s("-1"), s("-1"), s("none")) << QString() << QStringLiteral("0 -1 -1 -1 none");
    QTest::newRow("bad minimum") << options(s("-1"), s("60"), none, none, none)
                                 << QStringLiteral("Error: invalid value \"-1\" for --set-min-days: give a whole number of days from 0 (not set) to 99999.")
                                 << QString();
    QTest::newRow("bad maximum") << options(none, s("forever"), none, none, none)
                                 << QStringLiteral(
                                        "Error: invalid value \"forever\" for --set-max-days: give a whole number of days from -1 (not set) to 99999.")
                                 << QString();
    QTest::newRow("bad warning") << options(none, none, s("100000"), none, none)
                                 << QStringLiteral(
                                        "Error: invalid value \"100000\" for --set-warn-age: give a whole number of days from -1 (not set) to 99999.")
                                 << QString();
    QTest::newRow("bad inactive") << options(none, none, none, s("-2"), none)
                                  << QStringLiteral("Error: invalid value \"-2\" for --set-inactive: give a whole number of days from -1 (not set) to 99999.")
                                  << QString();
    QTest::newRow("bad date") << options(none, none, none, none, s("2027-02-30"))
                              << QStringLiteral("Error: invalid value \"2027-02-30\" for --set-expire: give a date as YYYY-MM-DD, or none.") << QString();
    QTest::newRow("the first bad value is named")
        << options(s("x"), s("y"), none, none, s("z"))
        << QStringLiteral("Error: invalid value \"x\" for --set-min-days: give a whole number of days from 0 (not set) to 99999.") << QString();
}

void SettingsCommandsTest::policyOptions()
{
    QFETCH(SetOptions, options);
    QFETCH(QString, refusal);
    QFETCH(QString, changes);

    const std::variant<PolicyChanges, QString> parsed = parsePolicyOptions(options);
    if (!refusal.isEmpty()) {
        QVERIFY(std::holds_alternative<QString>(parsed));
        QCOMPARE(std::get<QString>(parsed), refusal);
        return;
    }
    QVERIFY2(std::holds_alternative<PolicyChanges>(parsed), qPrintable(std::get_if<QString>(&parsed) ? *std::get_if<QString>(&parsed) : QString()));
    const PolicyChanges &c = std::get<PolicyChanges>(parsed);
    const auto number = [](const std::optional<qint32> &value) {
        return value ? QString::number(*value) : QStringLiteral("-");
    };
    const QString date = !c.expireDate ? QStringLiteral("-") : c.expireDate->isValid() ? c.expireDate->toString(Qt::ISODate) : QStringLiteral("none");
    QCOMPARE(QStringList({number(c.passMinDays), number(c.passMaxDays), number(c.passWarnAge), number(c.inactiveDays), date}).join(QLatin1Char(' ')), changes);
}

void SettingsCommandsTest::changedPolicy_data()
{
    QTest::addColumn<PolicyChanges>("changes");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    QTest::addColumn<Config>("expected");

    const Config stored = storedPolicy();
    const auto with = [&stored](auto change) {
        Config config = stored;
        change(config);
        return config;
    };

    QTest::newRow("no change keeps everything") << PolicyChanges() << QString() << stored;
    {
        PolicyChanges c;
        c.passMaxDays = 60;
        QTest::newRow("maximum alone, the rest as stored") << c << QString() << with([](Config &x) {
            x.passMaxDays = 60;
        });
    }
    {
        PolicyChanges c;
        c.passMinDays = 0;
        c.passMaxDays = -1;
        c.passWarnAge = -1;
        c.inactiveDays = 30;
        c.expireDate = QDate();
        QTest::newRow("ages not set, expiry none") << c << QString() << with([](Config &x) {
            x.passMinDays = 0;
            x.passMaxDays = -1;
            x.passWarnAge = -1;
            x.inactiveDays = 30;
            x.expireDate = QDate();
        });
    }
    {
        PolicyChanges c;
        c.passMaxDays = 0;
        QTest::newRow("maximum below the stored minimum")
            << c << QStringLiteral("Error: the maximum password validity period (0 days) is less than the minimum validity period (1 days); nothing was saved.")
            << Config();
    }
    {
        PolicyChanges c;
        c.passMinDays = 91;
        QTest::newRow("minimum above the stored maximum")
            << c
            << QStringLiteral("Error: the maximum password validity period (90 days) is less than the minimum validity period (91 days); nothing was saved.")
            << Config();
    }
    {
        PolicyChanges c;
        c.passMinDays = 91;
        c.passMaxDays = -1;
        QTest::newRow("any minimum with the maximum not set") << c << QString() << with([](Config &x) {
            x.passMinDays = 91;
            x.passMaxDays = -1;
        });
    }
    {
        PolicyChanges c;
        c.passMinDays = 90;
        QTest::newRow("minimum equal to the maximum") << c << QString() << with([](Config &x) {
            x.passMinDays = 90;
        });
    }
    {
        PolicyChanges c;
        c.passMinDays = 0;
        c.passMaxDays = 0;
        QTest::newRow("maximum 0 with the minimum not set") << c << QString() << with([](Config &x) {
            x.passMinDays = 0;
            x.passMaxDays = 0;
        });
    }
    {
        PolicyChanges c;
        c.expireDate = QDate(2026, 5, 31);
        QTest::newRow("expiry date before today")
            << c << QStringLiteral("Error: the account expiry date 2026-05-31 has passed: give today or a later date, or none; nothing was saved.") << Config();
    }
    {
        PolicyChanges c;
        c.expireDate = QDate(2026, 3, 1);
        QTest::newRow("the stored past date again") << c << QString() << stored;
    }
    {
        PolicyChanges c;
        c.expireDate = today;
        QTest::newRow("expiry date today") << c << QString() << with([](Config &x) {
            x.expireDate = today;
        });
    }
}

void SettingsCommandsTest::changedPolicy()
{
    QFETCH(PolicyChanges, changes);
    QFETCH(QString, refusal);
    QFETCH(Config, expected);

    const std::variant<Config, QString> changed = ::changedPolicy(storedPolicy(), changes, today);
    if (!refusal.isEmpty()) {
        QVERIFY(std::holds_alternative<QString>(changed));
        QCOMPARE(std::get<QString>(changed), refusal);
        return;
    }
    QVERIFY2(std::holds_alternative<Config>(changed), qPrintable(std::get_if<QString>(&changed) ? *std::get_if<QString>(&changed) : QString()));
    QCOMPARE(described(std::get<Config>(changed)), described(expected));
    QVERIFY(std::get<Config>(changed) == expected);
}

void SettingsCommandsTest::policyLines_data()
{
    QTest::addColumn<Config>("config");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("stored policy") << storedPolicy()
                                   << QStringList{QStringLiteral("PASS_MIN_DAYS=1"),
                                                  QStringLiteral("PASS_MAX_DAYS=90"),
                                                  QStringLiteral("PASS_WARN_AGE=7"),
                                                  QStringLiteral("INACTIVE=-1"),
                                                  QStringLiteral("EXPIRE=2026-03-01"),
                                                  QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL=true"),
                                                  QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN=false"),
                                                  QStringLiteral("NOTIFY_DAYS=14")};
    Config unset;
    unset.receiveNotifyForLocal = false;
    unset.receiveNotifyForDomain = true;
    unset.notifyDays = -5;
    QTest::newRow("nothing set, as the files hold it") << unset
                                                       << QStringList{QStringLiteral("PASS_MIN_DAYS=0"),
                                                                      QStringLiteral("PASS_MAX_DAYS=-1"),
                                                                      QStringLiteral("PASS_WARN_AGE=-1"),
                                                                      QStringLiteral("INACTIVE=-1"),
                                                                      QStringLiteral("EXPIRE="),
                                                                      QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL=false"),
                                                                      QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN=true"),
                                                                      QStringLiteral("NOTIFY_DAYS=-5")};
}

void SettingsCommandsTest::policyLines()
{
    QFETCH(Config, config);
    QFETCH(QStringList, lines);

    QCOMPARE(::policyLines(config), lines);
}

QTEST_GUILESS_MAIN(SettingsCommandsTest)
#include "settingscommandstest.moc"
