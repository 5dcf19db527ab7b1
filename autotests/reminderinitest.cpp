// SPDX-License-Identifier: GPL-2.0-or-later
// The reminder settings file: reading it by the INI rules it has always been
// read by (checked against QSettings where the rules are the same), "#"
// comments, numbers outside 32 bits, and edits that touch nothing but the
// lines of the three keys.
#include "policy_p.h"
#include "testfiles.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace PasswordExpirationPolicy;

namespace
{
// What QSettings makes of a file, in the reader's terms.
ReminderSettings readWithQSettings(const QByteArray &content)
{
    QTemporaryDir dir;
    ReminderSettings result;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    if (!dir.isValid() || !writeFile(path, content)) {
        result.error = Error{-1, QStringLiteral("fixture not written")};
        return result;
    }
    QSettings store(path, QSettings::IniFormat);
    // QSettings parses a section when a value of it is first asked for, and
    // only then reports a format error.
    result.receiveNotifyForLocal = store.value(QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL")).toBool();
    if (store.status() != QSettings::NoError) {
        result.error = unexpectedValue(QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL"));
        return result;
    }
    result.receiveNotifyForDomain = store.value(QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN")).toBool();
    bool ok = false;
    result.notifyDays = store.value(QStringLiteral("NOTIFY_DAYS"), 14).toInt(&ok);
    if (!ok) {
        result.error = unexpectedValue(QStringLiteral("NOTIFY_DAYS"));
    }
    return result;
}

// "local domain days", or "error: MESSAGE".
QString describe(const ReminderSettings &settings)
{
    if (settings.error) {
        return QStringLiteral("error: ") + settings.error->message;
    }
    return QStringLiteral("%1 %2 %3").arg(settings.receiveNotifyForLocal).arg(settings.receiveNotifyForDomain).arg(settings.notifyDays);
}

const ParamMap written{
    {QStringLiteral("RECEIVE_NOTIFY_FOR_LOCAL"), QStringLiteral("false")},
    {QStringLiteral("RECEIVE_NOTIFY_FOR_DOMAIN"), QStringLiteral("true")},
    {QStringLiteral("NOTIFY_DAYS"), QStringLiteral("5")},
};
const QString writtenValues = QStringLiteral("0 1 5");
} // namespace

class ReminderIniTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reading_data();
    void reading();
    void editing_data();
    void editing();
    void notEdited_data();
    void notEdited();
};

void ReminderIniTest::reading_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("sameAsQSettings");

    const QString badLocal = QStringLiteral("error: Parameter RECEIVE_NOTIFY_FOR_LOCAL has an unexpected value");
    const QString badDays = QStringLiteral("error: Parameter NOTIFY_DAYS has an unexpected value");

    QTest::newRow("as the package ships it") << QByteArray("[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nNOTIFY_DAYS=14\n")
                                             << QStringLiteral("1 0 14") << true;
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("0 0 14") << true;
    QTest::newRow("keys before any section") << QByteArray("RECEIVE_NOTIFY_FOR_DOMAIN=1\nNOTIFY_DAYS=3\n") << QStringLiteral("0 1 3") << true;
    QTest::newRow("general section in any case") << QByteArray("[general]\nNOTIFY_DAYS=3\n") << QStringLiteral("0 0 3") << true;
    QTest::newRow("keys of other sections ignored") << QByteArray("[Other]\nNOTIFY_DAYS=3\nRECEIVE_NOTIFY_FOR_LOCAL=true\n") << QStringLiteral("0 0 14")
                                                    << true;
    QTest::newRow("%general is another section") << QByteArray("[%General]\nNOTIFY_DAYS=3\n") << QStringLiteral("0 0 14") << true;
    QTest::newRow("keys are case-sensitive") << QByteArray("notify_days=3\n") << QStringLiteral("0 0 14") << true;
    QTest::newRow("escaped key") << QByteArray("%4EOTIFY_DAYS=3\n") << QStringLiteral("0 0 3") << true;
    QTest::newRow("last definition counts") << QByteArray("[General]\nNOTIFY_DAYS=3\n[Other]\nx=1\n[General]\nNOTIFY_DAYS=4\n") << QStringLiteral("0 0 4")
                                            << true;
    QTest::newRow("blanks around key and value") << QByteArray("  NOTIFY_DAYS \t=  7  \n") << QStringLiteral("0 0 7") << true;
    QTest::newRow("semicolon comments, also after a value")
        << QByteArray("; reminders\nNOTIFY_DAYS=7 ; a week\n;NOTIFY_DAYS=8\n") << QStringLiteral("0 0 7") << true;
    QTest::newRow("quoted value with a semicolon") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=\"a;b\"\n") << QStringLiteral("1 0 14") << true;
    QTest::newRow("quoted blanks around a number") << QByteArray("NOTIFY_DAYS=\" 7 \"\n") << QStringLiteral("0 0 7") << true;
    QTest::newRow("quoted false") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=\"false\"\n") << QStringLiteral("0 0 14") << true;
    QTest::newRow("escapes") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=f\\x61lse\nNOTIFY_DAYS=\\061\\062\n") << QStringLiteral("0 0 12") << true;
    // Found by fuzzing: a backslash at the very end keeps the blanks before it.
    QTest::newRow("blank before a backslash at the end") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=false \\") << QStringLiteral("1 0 14") << true;
    QTest::newRow("switch texts") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=no\nRECEIVE_NOTIFY_FOR_DOMAIN=FALSE\n") << QStringLiteral("1 0 14") << true;
    QTest::newRow("empty and zero switches") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=\nRECEIVE_NOTIFY_FOR_DOMAIN=0\n") << QStringLiteral("0 0 14") << true;
    QTest::newRow("a list is no switch") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=true, true\n") << QStringLiteral("0 0 14") << true;
    QTest::newRow("a list is no number") << QByteArray("NOTIFY_DAYS=1, 2\n") << badDays << true;
    QTest::newRow("invalid marker") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=@Invalid()\nNOTIFY_DAYS=@Invalid()\n") << badDays << true;
    QTest::newRow("doubled at sign") << QByteArray("RECEIVE_NOTIFY_FOR_DOMAIN=@@\n") << QStringLiteral("0 1 14") << true;
    QTest::newRow("string marker") << QByteArray("NOTIFY_DAYS=@String(9)\n") << QStringLiteral("0 0 9") << true;
    QTest::newRow("negative days") << QByteArray("NOTIFY_DAYS=-5\n") << QStringLiteral("0 0 -5") << true;
    QTest::newRow("days not a number") << QByteArray("NOTIFY_DAYS=soon\n") << badDays << true;
    QTest::newRow("days empty") << QByteArray("NOTIFY_DAYS=\n") << badDays << true;
    QTest::newRow("CRLF line ends") << QByteArray("[General]\r\nNOTIFY_DAYS=3\r\nRECEIVE_NOTIFY_FOR_LOCAL=true\r\n") << QStringLiteral("1 0 3") << true;

    QTest::newRow("value quoted over two lines") << QByteArray("OTHER=\"a\nNOTIFY_DAYS=3\"\nNOTIFY_DAYS=4\n") << QStringLiteral("0 0 4") << true;
    QTest::newRow("section without closing bracket") << QByteArray("[General\nNOTIFY_DAYS=3\n") << badLocal << true;
    QTest::newRow("line without equals") << QByteArray("[General]\nNOTIFY_DAYS\n") << badLocal << true;
    QTest::newRow("stray word") << QByteArray("managed by puppet\nNOTIFY_DAYS=3\n") << badLocal << true;

    // Where the file's rules differ from QSettings': "#" starts a comment,
    // numbers do not wrap, a byte-order mark is no text of the file, and
    // serialised values are not taken.
    QTest::newRow("hash comment header") << QByteArray("# managed by puppet, do not edit\n[General]\nNOTIFY_DAYS=3\n  #RECEIVE_NOTIFY_FOR_LOCAL=true\n")
                                         << QStringLiteral("0 0 3") << false;
    QTest::newRow("hash comment line holding an equals sign") << QByteArray("#NOTIFY_DAYS=8\nNOTIFY_DAYS=3\n") << QStringLiteral("0 0 3") << true;
    QTest::newRow("hash after a value is part of it") << QByteArray("NOTIFY_DAYS=3 # days\n") << badDays << true;
    QTest::newRow("days beyond 32 bits") << QByteArray("NOTIFY_DAYS=4294967310\n") << badDays << false;
    QTest::newRow("days one beyond the largest") << QByteArray("NOTIFY_DAYS=2147483648\n") << badDays << false;
    // Qt 5's QSettings takes a byte-order mark for part of the first line;
    // Qt 6's drops it, as the reader does in both builds.
    constexpr bool qsettingsDropsMark = QT_VERSION_MAJOR >= 6;
    QTest::newRow("byte-order mark before a section") << QByteArray("\xef\xbb\xbf[General]\nNOTIFY_DAYS=3\n") << QStringLiteral("0 0 3") << qsettingsDropsMark;
    QTest::newRow("byte-order mark before a key without a section")
        << QByteArray("\xef\xbb\xbfNOTIFY_DAYS=3\n") << QStringLiteral("0 0 3") << qsettingsDropsMark;
    QTest::newRow("serialised value") << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=@Variant(\\0\\0\\0\\x1\\x1)\n") << badLocal << false;
}

void ReminderIniTest::reading()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFETCH(bool, sameAsQSettings);

    QCOMPARE(describe(reminderSettingsFromText(content)), expected);
    if (sameAsQSettings) {
        QCOMPARE(describe(readWithQSettings(content)), expected);
    } else {
        QVERIFY2(describe(readWithQSettings(content)) != expected, "QSettings reads this file differently");
    }
}

void ReminderIniTest::editing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("new file") << QByteArray() << QByteArray("[General]\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("values replaced in place, order kept")
        << QByteArray("[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nNOTIFY_DAYS=14\n")
        << QByteArray("[General]\nRECEIVE_NOTIFY_FOR_LOCAL=false\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nNOTIFY_DAYS=5\n");
    QTest::newRow("comments, blank lines and other keys kept")
        << QByteArray(
               "# managed by puppet\n\n[General]\n; switches\nRECEIVE_NOTIFY_FOR_LOCAL = true ; on\nOTHER=\"x, y\"\n  "
               "RECEIVE_NOTIFY_FOR_DOMAIN=0\nNOTIFY_DAYS=14\n\n[Extra]\nNOTIFY_DAYS=1\n")
        << QByteArray(
               "# managed by puppet\n\n[General]\n; switches\nRECEIVE_NOTIFY_FOR_LOCAL=false; on\nOTHER=\"x, y\"\n  "
               "RECEIVE_NOTIFY_FOR_DOMAIN=true\nNOTIFY_DAYS=5\n\n[Extra]\nNOTIFY_DAYS=1\n");
    QTest::newRow("bytes that are not UTF-8 kept")
        << QByteArray("; caf\xe9\nNOTE=\xff\nNOTIFY_DAYS=1\n")
        << QByteArray("; caf\xe9\nNOTE=\xff\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("CRLF line ends kept") << QByteArray("[General]\r\nNOTIFY_DAYS=1\r\n")
                                         << QByteArray("[General]\r\nNOTIFY_DAYS=5\r\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("missing keys after the last top-level key, before other sections")
        << QByteArray("[General]\nNOTIFY_DAYS=1\n# end of general\n[Extra]\na=1\n")
        << QByteArray("[General]\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n# end of general\n[Extra]\na=1\n");
    QTest::newRow("keys before any section") << QByteArray("NOTIFY_DAYS=1\n[Extra]\na=1\n")
                                             << QByteArray("NOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n[Extra]\na=1\n");
    QTest::newRow("empty general section")
        << QByteArray("[Extra]\na=1\n[General]\n; nothing yet\n")
        << QByteArray("[Extra]\na=1\n[General]\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n; nothing yet\n");
    QTest::newRow("only other sections")
        << QByteArray("[Extra]\nNOTIFY_DAYS=1")
        << QByteArray("[Extra]\nNOTIFY_DAYS=1\n[General]\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("comments only") << QByteArray("# managed by puppet\n")
                                   << QByteArray(
                                          "# managed by puppet\n[General]\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("no final line feed") << QByteArray("[General]\nNOTIFY_DAYS=1")
                                        << QByteArray("[General]\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("repeated definitions commented out")
        << QByteArray("NOTIFY_DAYS=1\nRECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=true\n[General]\nNOTIFY_DAYS=2\nNOTIFY_DAYS=\"3\n4\"\n")
        << QByteArray("NOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_LOCAL=false\nRECEIVE_NOTIFY_FOR_DOMAIN=true\n[General]\n;NOTIFY_DAYS=2\n;NOTIFY_DAYS=\"3\n;4\"\n");
    QTest::newRow("value quoted over two lines replaced whole")
        << QByteArray("NOTIFY_DAYS=\"1\n\"\nRECEIVE_NOTIFY_FOR_LOCAL=1\nRECEIVE_NOTIFY_FOR_DOMAIN=1\n")
        << QByteArray("NOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_LOCAL=false\nRECEIVE_NOTIFY_FOR_DOMAIN=true\n");
    // Found by fuzzing: a backslash at the end takes the next character, a
    // line break too, into its line.
    QTest::newRow("backslash at the end of the last line")
        << QByteArray("OTHER=a\\") << QByteArray("OTHER=a\\\n\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("escaped line feed at the end") << QByteArray("OTHER=a\\\n")
                                                  << QByteArray("OTHER=a\\\n\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("escaped lone carriage return at the end")
        << QByteArray("OTHER=a\\\r") << QByteArray("OTHER=a\\\r\rNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("escaped CRLF at the end") << QByteArray("OTHER=a\\\r\n")
                                             << QByteArray("OTHER=a\\\r\n\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("grouped key and a backslash at the end")
        << QByteArray("a\\b=c\\") << QByteArray("a\\b=c\\\n\n[General]\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("quotes open at the end, nothing to add")
        << QByteArray("NOTIFY_DAYS=1\nRECEIVE_NOTIFY_FOR_LOCAL=1\nRECEIVE_NOTIFY_FOR_DOMAIN=1\nNOTE=\"open\n")
        << QByteArray("NOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_LOCAL=false\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nNOTE=\"open\n");
    QTest::newRow("quotes open at the end of another section")
        << QByteArray("[General]\nNOTIFY_DAYS=1\n[Extra]\nNOTE=\"open\n")
        << QByteArray("[General]\nNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n[Extra]\nNOTE=\"open\n");
    QTest::newRow("byte-order mark kept") << QByteArray("\xef\xbb\xbfNOTIFY_DAYS=1\n")
                                          << QByteArray("\xef\xbb\xbfNOTIFY_DAYS=5\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
}

void ReminderIniTest::editing()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);

    const std::optional<QByteArray> edited = rewrittenIni(content, written);
    QVERIFY(edited);
    QCOMPARE(*edited, expected);
    // What was written reads back as written, for QSettings too unless the
    // file holds what QSettings reads otherwise ("#" comments, a byte-order
    // mark before a key).
    QCOMPARE(describe(reminderSettingsFromText(*edited)), writtenValues);
    if (!edited->contains('#') && !edited->startsWith("\xef\xbb\xbf")) {
        QCOMPARE(describe(readWithQSettings(*edited)), writtenValues);
    }
    // Editing again changes nothing.
    QCOMPARE(rewrittenIni(*edited, written).value_or(QByteArray("<refused>")), *edited);
}

void ReminderIniTest::notEdited_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("section without closing bracket") << QByteArray("[General\nNOTIFY_DAYS=3\n");
    QTest::newRow("line without equals") << QByteArray("NOTIFY_DAYS=3\nstray\n");
    // Found by fuzzing: keys added at the end would become part of the open
    // value, and that value would change.
    QTest::newRow("quotes open at the end, keys to add") << QByteArray("[General]\nNOTIFY_DAYS=3\nNOTE=\"open\n");
}

void ReminderIniTest::notEdited()
{
    QFETCH(QByteArray, content);
    QVERIFY(!rewrittenIni(content, written));
}

QTEST_GUILESS_MAIN(ReminderIniTest)
#include "reminderinitest.moc"
