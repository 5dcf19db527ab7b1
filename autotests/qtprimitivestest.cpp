// SPDX-License-Identifier: GPL-2.0-or-later
// The places where Qt 6 changed a primitive that the policy's rules were
// first written against: QVariant's conversions, the stream form of a QVariant
// holding a Config, QTextStream's encoding, the text-to-bool rule, QSettings'
// INI comments and encoding, QString::toInt's range and QDate::fromString's
// fields. The expected values are those of the Qt 5 build; the same table
// runs in the Qt 6 build, so a difference between the two fails here.
#include "policy.h"
#include "policy_p.h"

#include <QBuffer>
#include <QTest>
#include <QTextStream>

using namespace PasswordExpirationPolicy;

Q_DECLARE_METATYPE(std::optional<qint32>)

class QtPrimitivesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resultHolds_data();
    void resultHolds();
    void variantWireForm_data();
    void variantWireForm();
    void textStreamEncoding_data();
    void textStreamEncoding();
    void flagText_data();
    void flagText();
    void reminderFile_data();
    void reminderFile();
    void dayCount_data();
    void dayCount();
    void expireDate_data();
    void expireDate();
    void keyEscapeDigits_data();
    void keyEscapeDigits();
};

namespace
{
enum class Held { Config, Error, Int, Date, Map };
enum class Wanted { Config, Error, Int, Date, Map };

QVariant heldVariant(Held held)
{
    switch (held) {
    case Held::Config:
        return QVariant::fromValue(Config());
    case Held::Error:
        return QVariant::fromValue(Error{-1, QStringLiteral("failed")});
    case Held::Int:
        return QVariant::fromValue(7);
    case Held::Date:
        return QVariant::fromValue(QDate(2030, 1, 2));
    case Held::Map:
        return QVariant::fromValue(QMap<QString, QString>{{QStringLiteral("K"), QStringLiteral("V")}});
    }
    return QVariant();
}

std::pair<bool, bool> conversion(const QVariant &variant, Wanted wanted)
{
    QVariant copy = variant;
    switch (wanted) {
    case Wanted::Config:
        return {QtCompat::canConvert<Config>(variant), QtCompat::convert<Config>(copy)};
    case Wanted::Error:
        return {QtCompat::canConvert<Error>(variant), QtCompat::convert<Error>(copy)};
    case Wanted::Int:
        return {QtCompat::canConvert<int>(variant), QtCompat::convert<int>(copy)};
    case Wanted::Date:
        return {QtCompat::canConvert<QDate>(variant), QtCompat::convert<QDate>(copy)};
    case Wanted::Map:
        return {QtCompat::canConvert<QMap<QString, QString>>(variant), QtCompat::convert<QMap<QString, QString>>(copy)};
    }
    return {false, false};
}
} // namespace

// Result<T>::hasValue is QVariant::canConvert: an Error converts to none of
// the instantiated types, each value converts to its own type.
void QtPrimitivesTest::resultHolds_data()
{
    QTest::addColumn<int>("held");
    QTest::addColumn<int>("wanted");
    QTest::addColumn<bool>("converts");

    QTest::newRow("Config as Config") << int(Held::Config) << int(Wanted::Config) << true;
    QTest::newRow("Error as Config") << int(Held::Error) << int(Wanted::Config) << false;
    QTest::newRow("Error as int") << int(Held::Error) << int(Wanted::Int) << false;
    QTest::newRow("Error as date") << int(Held::Error) << int(Wanted::Date) << false;
    QTest::newRow("Error as map") << int(Held::Error) << int(Wanted::Map) << false;
    QTest::newRow("Error as Error") << int(Held::Error) << int(Wanted::Error) << true;
    QTest::newRow("Config as Error") << int(Held::Config) << int(Wanted::Error) << false;
    QTest::newRow("Config as int") << int(Held::Config) << int(Wanted::Int) << false;
    QTest::newRow("int as int") << int(Held::Int) << int(Wanted::Int) << true;
    QTest::newRow("int as Error") << int(Held::Int) << int(Wanted::Error) << false;
    QTest::newRow("date as date") << int(Held::Date) << int(Wanted::Date) << true;
    QTest::newRow("date as Error") << int(Held::Date) << int(Wanted::Error) << false;
    QTest::newRow("map as map") << int(Held::Map) << int(Wanted::Map) << true;
    QTest::newRow("map as Error") << int(Held::Map) << int(Wanted::Error) << false;
}

void QtPrimitivesTest::resultHolds()
{
    QFETCH(int, held);
    QFETCH(int, wanted);
    QFETCH(bool, converts);

    const auto [can, did] = conversion(heldVariant(Held(held)), Wanted(wanted));
    QCOMPARE(can, converts);
    QCOMPARE(did, converts);
}

// A QVariant holding a Config on the wire: the variant's type id and null
// flag, the type name, then the 30 bytes of the Config and nothing else.
void QtPrimitivesTest::variantWireForm_data()
{
    QTest::addColumn<Config>("config");
    QTest::addColumn<int>("byteOrder");

    Config dated{false, true, -5, 7, 99999, 0, 30, QDate(2026, 3, 1)};
    QTest::newRow("default, big-endian") << Config() << int(QDataStream::BigEndian);
    QTest::newRow("default, little-endian") << Config() << int(QDataStream::LittleEndian);
    QTest::newRow("dated, big-endian") << dated << int(QDataStream::BigEndian);
    QTest::newRow("dated, little-endian") << dated << int(QDataStream::LittleEndian);
}

void QtPrimitivesTest::variantWireForm()
{
    QFETCH(Config, config);
    QFETCH(int, byteOrder);

    QByteArray body;
    {
        QDataStream stream(&body, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::ByteOrder(byteOrder));
        stream << config;
    }
    QCOMPARE(body.size(), 30);

    QByteArray wire;
    {
        QDataStream stream(&wire, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::ByteOrder(byteOrder));
        stream << QVariant::fromValue(config);
        QCOMPARE(stream.status(), QDataStream::Ok);
    }
    const QByteArray name("PasswordExpirationPolicy::Config");
    QByteArray nameField;
    {
        QDataStream stream(&nameField, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::ByteOrder(byteOrder));
        stream << name.constData();
    }
    // type id (4 bytes), null flag (1 byte), name, body.
    QCOMPARE(wire.size(), 4 + 1 + nameField.size() + body.size());
    QCOMPARE(wire.at(4), char(0));
    QCOMPARE(wire.mid(5, nameField.size()), nameField);
    QCOMPARE(wire.mid(5 + nameField.size()), body);

    QDataStream in(wire);
    in.setByteOrder(QDataStream::ByteOrder(byteOrder));
    QVariant read;
    in >> read;
    QCOMPARE(in.status(), QDataStream::Ok);
    QCOMPARE(QByteArray(read.typeName()), name);
    QCOMPARE(read.value<Config>(), config);
}

// Text written by a QTextStream left at its defaults is UTF-8 in each
// locale the tests run in (C, C.UTF-8, de_DE.UTF-8): Qt 5 takes the
// locale's encoding, which is UTF-8 there, Qt 6 always UTF-8.
void QtPrimitivesTest::textStreamEncoding_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("ASCII") << QStringLiteral("- Number of days before notify: 14");
    QTest::newRow("umlaut") << QStringLiteral("- Erinnerung f\u00fcr lokale Benutzer: true");
    QTest::newRow("euro sign") << QStringLiteral("\u20ac");
    QTest::newRow("outside the basic plane") << QString::fromUtf8("\xF0\x9F\x94\x91");
}

void QtPrimitivesTest::textStreamEncoding()
{
    QFETCH(QString, text);

    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    {
        QTextStream out(&buffer);
        out << text << Qt::endl;
    }
    QCOMPARE(buffer.data(), text.toUtf8() + '\n');
}

// A reminder switch reads as QVariant's text-to-bool did in Qt 5: false for
// an empty text, "0" and "false" in any case; true for anything else.
void QtPrimitivesTest::flagText_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("expected");

    QTest::newRow("true") << QByteArray("true") << true;
    QTest::newRow("false") << QByteArray("false") << false;
    QTest::newRow("FALSE") << QByteArray("FALSE") << false;
    QTest::newRow("False") << QByteArray("False") << false;
    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("00") << QByteArray("00") << true;
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("no") << QByteArray("no") << true;
    QTest::newRow("off") << QByteArray("off") << true;
    QTest::newRow("quoted false") << QByteArray("\"false\"") << false;
    QTest::newRow("false with blanks") << QByteArray("  false  ") << false;
    QTest::newRow("list") << QByteArray("false, false") << false;
}

void QtPrimitivesTest::flagText()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, expected);

    const ReminderSettings settings = reminderSettingsFromText("RECEIVE_NOTIFY_FOR_LOCAL=" + value + "\nNOTIFY_DAYS=3\n");
    QVERIFY(!settings.error);
    QCOMPARE(settings.receiveNotifyForLocal, expected);
}

// The INI reading of QSettings in Qt 5: ";" comments, "[General]" for the
// top level, %-escaped keys, UTF-8 text; and a "#" line, which Qt 5's
// parser refused, taken as a comment.
void QtPrimitivesTest::reminderFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("local");
    QTest::addColumn<bool>("domain");
    QTest::addColumn<int>("days");

    QTest::newRow("plain") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nNOTIFY_DAYS=9\n") << true << true << 9;
    QTest::newRow("semicolon comments") << QByteArray("; comment\nRECEIVE_NOTIFY_FOR_LOCAL=true ; trailing\nNOTIFY_DAYS=9\n") << true << false << 9;
    QTest::newRow("hash comment line") << QByteArray("# comment\nRECEIVE_NOTIFY_FOR_LOCAL=true\nNOTIFY_DAYS=9\n") << true << false << 9;
    QTest::newRow("General section") << QByteArray("[General]\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nNOTIFY_DAYS=2\n") << false << true << 2;
    QTest::newRow("other section") << QByteArray("[Other]\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nNOTIFY_DAYS=2\n") << false << false << 14;
    QTest::newRow("escaped key") << QByteArray("RECEIVE_NOTIFY_FOR_%4cOCAL=true\nNOTIFY_DAYS=4\n") << true << false << 4;
    QTest::newRow("CRLF lines") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=true\r\nNOTIFY_DAYS=5\r\n") << true << false << 5;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBFRECEIVE_NOTIFY_FOR_LOCAL=true\nNOTIFY_DAYS=6\n") << true << false << 6;
    QTest::newRow("UTF-8 in another key") << QByteArray("NAME=F\xC3\xBCr\nRECEIVE_NOTIFY_FOR_LOCAL=true\nNOTIFY_DAYS=8\n") << true << false << 8;
}

void QtPrimitivesTest::reminderFile()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, local);
    QFETCH(bool, domain);
    QFETCH(int, days);

    const ReminderSettings settings = reminderSettingsFromText(text);
    QVERIFY(!settings.error);
    QCOMPARE(settings.receiveNotifyForLocal, local);
    QCOMPARE(settings.receiveNotifyForDomain, domain);
    QCOMPARE(settings.notifyDays, days);
}

// Day counts as QString::toInt takes them in Qt 5 (sign, ASCII digits,
// blanks around them, 32 bits), and not as QVariant::toInt, which reads them
// through 64 bits and cuts 4294967310 to 14: a number beyond 32 bits is refused.
void QtPrimitivesTest::dayCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<qint32>>("expected");

    QTest::newRow("plain") << QStringLiteral("90") << std::optional<qint32>(90);
    QTest::newRow("negative") << QStringLiteral("-1") << std::optional<qint32>(-1);
    QTest::newRow("plus sign") << QStringLiteral("+7") << std::optional<qint32>(7);
    QTest::newRow("blanks around") << QStringLiteral(" 30\t") << std::optional<qint32>(30);
    QTest::newRow("2^32 + 14") << QStringLiteral("4294967310") << std::optional<qint32>();
    QTest::newRow("2^31 - 1") << QStringLiteral("2147483647") << std::optional<qint32>(std::numeric_limits<qint32>::max());
    QTest::newRow("2^31") << QStringLiteral("2147483648") << std::optional<qint32>();
    QTest::newRow("-2^31") << QStringLiteral("-2147483648") << std::optional<qint32>(std::numeric_limits<qint32>::min());
    QTest::newRow("Arabic-Indic digits") << QStringLiteral("\u0663") << std::optional<qint32>();
    QTest::newRow("letters") << QStringLiteral("9x") << std::optional<qint32>();
    QTest::newRow("empty") << QString() << std::optional<qint32>();
}

void QtPrimitivesTest::dayCount()
{
    QFETCH(QString, text);
    QFETCH(std::optional<qint32>, expected);

    QCOMPARE(parseDayCount(text), expected);
}

// Dates as QDate::fromString(text, "yyyy-MM-dd") read them in Qt 5: a "+"
// may stand before any field, every field has its full width.
void QtPrimitivesTest::expireDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected");

    QTest::newRow("plain") << QStringLiteral("2027-01-05") << QDate(2027, 1, 5);
    QTest::newRow("plus in the month") << QStringLiteral("2027-+1-05") << QDate(2027, 1, 5);
    QTest::newRow("plus in the day") << QStringLiteral("2027-01-+5") << QDate(2027, 1, 5);
    QTest::newRow("short fields") << QStringLiteral("2027-1-5") << QDate();
    QTest::newRow("no such day") << QStringLiteral("2027-02-30") << QDate();
    QTest::newRow("leap day") << QStringLiteral("2028-02-29") << QDate(2028, 2, 29);
    QTest::newRow("empty") << QString() << QDate();
}

void QtPrimitivesTest::expireDate()
{
    QFETCH(QString, text);
    QFETCH(QDate, expected);

    QCOMPARE(parseExpireDate(text), expected);
}

// The %XX and %UXXXX escapes of INI keys go through QByteArray::toInt with
// base 16.
void QtPrimitivesTest::keyEscapeDigits_data()
{
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("ok");

    QTest::newRow("upper case") << QByteArray("4C") << 0x4C << true;
    QTest::newRow("lower case") << QByteArray("4c") << 0x4C << true;
    QTest::newRow("four digits") << QByteArray("00FC") << 0xFC << true;
    QTest::newRow("plus sign") << QByteArray("+1") << 1 << true;
    QTest::newRow("minus sign") << QByteArray("-1") << -1 << true;
    QTest::newRow("leading blank") << QByteArray(" 1") << 1 << true;
    QTest::newRow("trailing blank") << QByteArray("1 ") << 1 << true;
    QTest::newRow("not hexadecimal") << QByteArray("4g") << 0 << false;
    QTest::newRow("prefix only") << QByteArray("0x") << 0 << false;
}

void QtPrimitivesTest::keyEscapeDigits()
{
    QFETCH(QByteArray, digits);
    QFETCH(int, value);
    QFETCH(bool, ok);

    bool converted = false;
    QCOMPARE(digits.toInt(&converted, 16), value);
    QCOMPARE(converted, ok);
}

QTEST_GUILESS_MAIN(QtPrimitivesTest)

#include "qtprimitivestest.moc"
