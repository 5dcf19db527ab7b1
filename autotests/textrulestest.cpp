// SPDX-License-Identifier: GPL-2.0-or-later
// The line rules of the two system files over their bytes: Unicode
// whitespace in UTF-8 text, bytes that are not UTF-8, the byte-order mark,
// and the number and date forms of the values.
#include "policy_p.h"

#include <QTest>

using namespace PasswordExpirationPolicy;

class TextRulesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void trimming_data();
    void trimming();
    void separators_data();
    void separators();
    void untouchedLinesKeepTheirBytes_data();
    void untouchedLinesKeepTheirBytes();
    void dayCounts_data();
    void dayCounts();
    void dates_data();
    void dates();
};

void TextRulesTest::trimming_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("trimmed");

    QTest::newRow("blanks and tabs") << QByteArray(" \t UMASK 022 \t") << QByteArray("UMASK 022");
    QTest::newRow("carriage return at the end") << QByteArray("UMASK 022\r") << QByteArray("UMASK 022");
    QTest::newRow("carriage return inside stays") << QByteArray("UMASK\r022") << QByteArray("UMASK\r022");
    QTest::newRow("no-break space U+00A0") << QByteArray("\xc2\xa0UMASK\xc2\xa0") << QByteArray("UMASK");
    QTest::newRow("ideographic space U+3000") << QByteArray("\xe3\x80\x80UMASK\xe3\x80\x80") << QByteArray("UMASK");
    QTest::newRow("next line U+0085 and line separator U+2028") << QByteArray("\xc2\x85UMASK\xe2\x80\xa8") << QByteArray("UMASK");
    QTest::newRow("zero-width space U+200B is no whitespace") << QByteArray("\xe2\x80\x8bUMASK") << QByteArray("\xe2\x80\x8bUMASK");
    QTest::newRow("Latin-1 byte kept") << QByteArray("# caf\xe9 ") << QByteArray("# caf\xe9");
    QTest::newRow("lone continuation byte at the end kept") << QByteArray("x \xa0") << QByteArray("x \xa0");
    QTest::newRow("truncated sequence at the end kept") << QByteArray("x \xc2") << QByteArray("x \xc2");
    QTest::newRow("overlong encoding of a blank is no blank") << QByteArray("\xc0\xa0x") << QByteArray("\xc0\xa0x");
    QTest::newRow("encoded surrogate is no character") << QByteArray("\xed\xa0\x80 x") << QByteArray("\xed\xa0\x80 x");
    QTest::newRow("only whitespace") << QByteArray(" \t\xc2\xa0\r") << QByteArray();
    QTest::newRow("only invalid bytes") << QByteArray("\xff\xfe") << QByteArray("\xff\xfe");
}

void TextRulesTest::trimming()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, trimmed);
    QCOMPARE(trimmedLine(line), trimmed);
}

void TextRulesTest::separators_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("useraddSyntax");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("tab") << QByteArray("PASS_MAX_DAYS\t90") << false << QStringLiteral("PASS_MAX_DAYS") << QStringLiteral("90");
    QTest::newRow("no-break space separates") << QByteArray(
        "PASS_MAX_DAYS\xc2\xa0"
        "90") << false << QStringLiteral("PASS_MAX_DAYS")
                                              << QStringLiteral("90");
    QTest::newRow("em space separates, value trimmed") << QByteArray(
        "PASS_MAX_DAYS\xe2\x80\x83\xe2\x80\x83"
        "90") << false << QStringLiteral("PASS_MAX_DAYS")
                                                       << QStringLiteral("90");
    QTest::newRow("invalid byte is no separator") << QByteArray(
        "PASS_MAX_DAYS\xa0"
        "90") << false
                                                  << QString::fromUtf8(
                                                         "PASS_MAX_DAYS\xef\xbf\xbd"
                                                         "90")
                                                  << QString();
    QTest::newRow("useradd: only the first equals") << QByteArray("EXPIRE=a=b") << true << QStringLiteral("EXPIRE") << QStringLiteral("a=b");
    QTest::newRow("useradd: whitespace is part of the key")
        << QByteArray("INACTIVE\xc2\xa0=3") << true << QString::fromUtf8("INACTIVE\xc2\xa0") << QStringLiteral("3");
}

void TextRulesTest::separators()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, useraddSyntax);
    QFETCH(QString, key);
    QFETCH(QString, value);

    const PolicyLine parts = policyLine(trimmedLine(line), useraddSyntax ? isUseraddSeparator : isLoginDefsSeparator);
    QVERIFY(!parts.comment);
    QCOMPARE(parts.key, key);
    QCOMPARE(parts.value, value);
}

void TextRulesTest::untouchedLinesKeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("Latin-1 comment left by an old installation")
        << QByteArray("# caf\xe9 au lait\nPASS_MAX_DAYS 99999\n") << QByteArray("# caf\xe9 au lait\nPASS_MAX_DAYS\t60\n");
    QTest::newRow("invalid bytes in another key's value")
        << QByteArray("ENV_PATH /opt/\xff\xfe/bin\nPASS_MAX_DAYS 1\n") << QByteArray("ENV_PATH /opt/\xff\xfe/bin\nPASS_MAX_DAYS\t60\n");
    QTest::newRow("UTF-8 text kept") << QByteArray("# Kennwort\xc3\xa4nderung \xe2\x80\x93 \xf0\x9f\x94\x91\nPASS_MAX_DAYS 1\n")
                                     << QByteArray("# Kennwort\xc3\xa4nderung \xe2\x80\x93 \xf0\x9f\x94\x91\nPASS_MAX_DAYS\t60\n");
    QTest::newRow("byte-order mark kept at the start")
        << QByteArray("\xef\xbb\xbfPASS_MAX_DAYS 1\nUMASK 022\n") << QByteArray("\xef\xbb\xbfPASS_MAX_DAYS\t60\nUMASK 022\n");
    // Found by fuzzing: trimming must not turn a U+FEFF into a byte-order mark.
    QTest::newRow("U+FEFF after leading whitespace is no byte-order mark")
        << QByteArray("\x0c\xef\xbb\xbfPASS_MAX_DAYS 5\nPASS_MAX_DAYS 1\n") << QByteArray("\xef\xbb\xbf\xef\xbb\xbfPASS_MAX_DAYS 5\nPASS_MAX_DAYS\t60\n");
    QTest::newRow("U+FEFF inside the text is part of the key")
        << QByteArray("PASS_MIN_DAYS 0\n\xef\xbb\xbfPASS_MAX_DAYS 5\n") << QByteArray("PASS_MIN_DAYS 0\n\xef\xbb\xbfPASS_MAX_DAYS 5\nPASS_MAX_DAYS\t60\n");
    QTest::newRow("byte-order mark before a comment") << QByteArray("\xef\xbb\xbf# note\n") << QByteArray("\xef\xbb\xbf# note\nPASS_MAX_DAYS\t60\n");
    const QByteArray withNul = QByteArray("UMASK 0") + '\0' + QByteArray("22\rx\n");
    QTest::newRow("NUL byte and carriage return inside a line kept") << withNul + "PASS_MAX_DAYS 1\n" << withNul + "PASS_MAX_DAYS\t60\n";
    QTest::newRow("Unicode whitespace at the ends trimmed")
        << QByteArray("\xe3\x80\x80UMASK 022\xc2\xa0\nPASS_MAX_DAYS 1\n") << QByteArray("UMASK 022\nPASS_MAX_DAYS\t60\n");
    QTest::newRow("repeated definition with a Latin-1 byte commented out")
        << QByteArray("PASS_MAX_DAYS 1\nPASS_MAX_DAYS 2 \xe9\n") << QByteArray("PASS_MAX_DAYS\t60\n#PASS_MAX_DAYS 2 \xe9\n");
}

void TextRulesTest::untouchedLinesKeepTheirBytes()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);

    const ParamMap params{{QStringLiteral("PASS_MAX_DAYS"), QStringLiteral("60")}};
    const QByteArray written = rewrittenText(content, params, isLoginDefsSeparator, QLatin1Char('\t'));
    QCOMPARE(written, expected);
    // And what was written reads back as written.
    const Result<ParamMap> read = paramsFromText(written, {QStringLiteral("PASS_MAX_DAYS")}, isLoginDefsSeparator, QStringLiteral("file"));
    QVERIFY2(read.hasValue(), qPrintable(read.error().message));
    QCOMPARE(read.value(), params);
}

void TextRulesTest::dayCounts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");

    QTest::newRow("plain") << QStringLiteral("99999") << true << 99999;
    QTest::newRow("plus sign") << QStringLiteral("+5") << true << 5;
    QTest::newRow("minus one") << QStringLiteral("-1") << true << -1;
    QTest::newRow("minus zero") << QStringLiteral("-0") << true << 0;
    QTest::newRow("leading zeros") << QStringLiteral("007") << true << 7;
    QTest::newRow("blanks around") << QStringLiteral(" \t14 ") << true << 14;
    QTest::newRow("largest") << QStringLiteral("2147483647") << true << 2147483647;
    QTest::newRow("smallest") << QStringLiteral("-2147483648") << true << int(-2147483648LL);
    QTest::newRow("one above the largest") << QStringLiteral("2147483648") << false << 0;
    QTest::newRow("one below the smallest") << QStringLiteral("-2147483649") << false << 0;
    QTest::newRow("wraps to 14 in 32 bits") << QStringLiteral("4294967310") << false << 0;
    QTest::newRow("very long") << QStringLiteral("123456789012345678901234567890") << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("sign alone") << QStringLiteral("-") << false << 0;
    QTest::newRow("two signs") << QStringLiteral("+-5") << false << 0;
    QTest::newRow("blank inside") << QStringLiteral("1 4") << false << 0;
    QTest::newRow("hex") << QStringLiteral("0x10") << false << 0;
    QTest::newRow("decimal point") << QStringLiteral("1.5") << false << 0;
    QTest::newRow("digit grouping") << QStringLiteral("1,000") << false << 0;
    QTest::newRow("Arabic-Indic digit") << QString::fromUtf8("\xd9\xa5") << false << 0;
    QTest::newRow("no-break space around") << QString::fromUtf8(
        "\xc2\xa0"
        "5") << false << 0;
}

void TextRulesTest::dayCounts()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);

    const std::optional<qint32> days = parseDayCount(text);
    QCOMPARE(days.has_value(), ok);
    if (ok) {
        QCOMPARE(*days, value);
    }
}

void TextRulesTest::dates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date"); // null: refused

    QTest::newRow("plain") << QStringLiteral("2027-01-05") << QDate(2027, 1, 5);
    QTest::newRow("leap day") << QStringLiteral("2028-02-29") << QDate(2028, 2, 29);
    QTest::newRow("first day of the format") << QStringLiteral("0001-01-01") << QDate(1, 1, 1);
    QTest::newRow("plus before a month digit") << QStringLiteral("2027-+1-05") << QDate(2027, 1, 5);
    QTest::newRow("plus before a day digit") << QStringLiteral("2027-01-+5") << QDate(2027, 1, 5);
    QTest::newRow("plus before a three-digit year") << QStringLiteral("+202-01-05") << QDate(202, 1, 5);
    QTest::newRow("30 February") << QStringLiteral("2026-02-30") << QDate();
    QTest::newRow("29 February of a common year") << QStringLiteral("2027-02-29") << QDate();
    QTest::newRow("year 0") << QStringLiteral("0000-01-01") << QDate();
    QTest::newRow("month 13") << QStringLiteral("2027-13-05") << QDate();
    QTest::newRow("day 0") << QStringLiteral("2027-01-00") << QDate();
    QTest::newRow("single digits") << QStringLiteral("2027-1-5") << QDate();
    QTest::newRow("minus before a field") << QStringLiteral("2027--1-05") << QDate();
    QTest::newRow("plus and two digits") << QStringLiteral("2027-+01-05") << QDate();
    QTest::newRow("plus alone") << QStringLiteral("2027-+-05") << QDate();
    QTest::newRow("blank before a field") << QStringLiteral("2027- 1-05") << QDate();
    QTest::newRow("five-digit year") << QStringLiteral("02027-01-05") << QDate();
    QTest::newRow("other separators") << QStringLiteral("2027/01/05") << QDate();
    QTest::newRow("trailing text") << QStringLiteral("2027-01-05x") << QDate();
    QTest::newRow("other digits") << QString::fromUtf8("2027-\xd9\xa1\xd9\xa2-05") << QDate();
    QTest::newRow("empty") << QString() << QDate();
}

void TextRulesTest::dates()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QCOMPARE(parseExpireDate(text), date);
}

QTEST_GUILESS_MAIN(TextRulesTest)
#include "textrulestest.moc"
