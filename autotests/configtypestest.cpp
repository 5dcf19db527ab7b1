// SPDX-License-Identifier: GPL-2.0-or-later
#include "policy.h"

#include <QBuffer>
#include <QTest>

using PasswordExpirationPolicy::BadResultAccess;
using PasswordExpirationPolicy::Config;
using PasswordExpirationPolicy::Error;
using PasswordExpirationPolicy::Result;

class ConfigTypesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaults();
    void resultHoldingValue();
    void resultHoldingError();
    void resultOfEachInstantiation();
    void streamRoundTrip_data();
    void streamRoundTrip();
    void variantRoundTrip();
    void streamBodyIsThirtyBytes();
};

void ConfigTypesTest::defaults()
{
    const Config config;
    QCOMPARE(config.receiveNotifyForLocal, true);
    QCOMPARE(config.receiveNotifyForDomain, false);
    QCOMPARE(config.notifyDays, 14);
    QCOMPARE(config.passMinDays, 0);
    QCOMPARE(config.passMaxDays, -1);
    QCOMPARE(config.passWarnAge, -1);
    QCOMPARE(config.inactiveDays, -1);
    QVERIFY(config.expireDate.isNull());

    const Error error;
    QCOMPARE(error.code, 0);
    QVERIFY(error.message.isEmpty());
}

void ConfigTypesTest::resultHoldingValue()
{
    const Result<int> result(7);
    QVERIFY(result.hasValue());
    QCOMPARE(result.value(), 7);
    QCOMPARE(result.error().code, 0);
    QVERIFY(result.error().message.isEmpty());
}

void ConfigTypesTest::resultHoldingError()
{
    const Result<int> result(Error{-1, QStringLiteral("broken")});
    QVERIFY(!result.hasValue());
    QVERIFY_EXCEPTION_THROWN(result.value(), BadResultAccess);
    QCOMPARE(result.error().code, -1);
    QCOMPARE(result.error().message, QStringLiteral("broken"));

    // Copies are independent of each other and keep the error.
    Result<int> copy = result;
    copy = Result<int>(3);
    QVERIFY(!result.hasValue());
    QCOMPARE(copy.value(), 3);
}

void ConfigTypesTest::resultOfEachInstantiation()
{
    const Error error{-1, QStringLiteral("e")};

    Config config;
    config.notifyDays = 3;
    QCOMPARE(Result<Config>(config).value(), config);
    QVERIFY(!Result<Config>(error).hasValue());
    QVERIFY_EXCEPTION_THROWN(Result<Config>(error).value(), BadResultAccess);

    const QDate date(2026, 3, 1);
    QCOMPARE(Result<QDate>(date).value(), date);
    QVERIFY(!Result<QDate>(error).hasValue());

    const QMap<QString, QString> map{{QStringLiteral("A"), QStringLiteral("1")}};
    QCOMPARE((Result<QMap<QString, QString>>(map).value()), map);
    QVERIFY(!(Result<QMap<QString, QString>>(error).hasValue()));
    QCOMPARE((Result<QMap<QString, QString>>(error).error().message), QStringLiteral("e"));
}

void ConfigTypesTest::streamRoundTrip_data()
{
    QTest::addColumn<Config>("config");

    QTest::newRow("default, null date") << Config();
    Config full{false, true, -5, 7, 99999, 0, 30, QDate(2026, 3, 1)};
    QTest::newRow("every member set") << full;
    Config extremes{true, true, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), -1, -1, -1, QDate(1, 1, 1)};
    QTest::newRow("integer extremes") << extremes;
}

void ConfigTypesTest::streamRoundTrip()
{
    QFETCH(Config, config);
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << config;
    }
    Config back{false, false, 1, 2, 3, 4, 5, QDate(2000, 1, 1)};
    QDataStream in(bytes);
    in >> back;
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(in.atEnd());
    QCOMPARE(back, config);
    QCOMPARE(back.expireDate.isNull(), config.expireDate.isNull());
}

void ConfigTypesTest::variantRoundTrip()
{
    Config config;
    config.passMaxDays = 60;
    config.expireDate = QDate(2030, 12, 31);

    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << QVariantMap{{QStringLiteral("config"), QVariant::fromValue(config)}};
    }
    // The type travels by name, as it does to the privileged helper.
    QVERIFY(bytes.contains("PasswordExpirationPolicy::Config"));

    QVariantMap back;
    QDataStream in(bytes);
    in >> back;
    QCOMPARE(in.status(), QDataStream::Ok);
    const QVariant value = back.value(QStringLiteral("config"));
    QCOMPARE(QString::fromLatin1(value.typeName()), QStringLiteral("PasswordExpirationPolicy::Config"));
    QCOMPARE(value.value<Config>(), config);
}

void ConfigTypesTest::streamBodyIsThirtyBytes()
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << Config{true, false, 1, 2, 3, 4, 5, QDate(2026, 3, 1)};
    QCOMPARE(bytes.size(), 30);
    // Booleans as one byte each, then big-endian 32-bit ints.
    QCOMPARE(bytes.left(6), QByteArray::fromHex("010000000001"));
    QCOMPARE(bytes.mid(18, 4), QByteArray::fromHex("00000005"));
}

QTEST_GUILESS_MAIN(ConfigTypesTest)
#include "configtypestest.moc"
