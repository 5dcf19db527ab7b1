// SPDX-License-Identifier: GPL-2.0-or-later
#include "policycheck.h"
#include "policy_p.h"
#include "testfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace PasswordExpirationPolicy;

namespace
{
const char validLoginDefs[] = "MAIL_DIR /var/mail\nPASS_MAX_DAYS\t99999\nPASS_MIN_DAYS 0\nPASS_WARN_AGE 7\n";
const char validUseradd[] = "SHELL=/bin/sh\nINACTIVE=-1\nEXPIRE=\n";
const char validSettings[] = "[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nNOTIFY_DAYS=14\n";

const QDate today(2026, 6, 1);

QStringList texts(const QList<Finding> &findings)
{
    QStringList lines;
    for (const Finding &finding : findings) {
        lines.append(findingText(QStringLiteral("F"), finding));
    }
    return lines;
}

struct PolicyDir {
    QString loginDefs;
    QString useradd;
    QString settings;
};

// The three files in the directory, valid ones except for `kind`, which gets
// `content`.
PolicyDir writePolicy(const QTemporaryDir &dir, PolicyFileKind kind, const QByteArray &content)
{
    const PolicyDir files{dir.filePath(QStringLiteral("login.defs")), dir.filePath(QStringLiteral("useradd")), dir.filePath(QStringLiteral("config.ini"))};
    writeFile(files.loginDefs, kind == PolicyFileKind::LoginDefs ? content : QByteArray(validLoginDefs));
    writeFile(files.useradd, kind == PolicyFileKind::UseraddDefaults ? content : QByteArray(validUseradd));
    writeFile(files.settings, kind == PolicyFileKind::Settings ? content : QByteArray(validSettings));
    return files;
}
} // namespace

Q_DECLARE_METATYPE(PasswordExpirationPolicy::PolicyFileKind)

class PolicyCheckTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findings_data();
    void findings();
    void readerAgrees_data();
    void readerAgrees();
    void switchWords_data();
    void switchWords();
    void files_data();
    void files();
    void kindNames_data();
    void kindNames();
};

void PolicyCheckTest::findings_data()
{
    QTest::addColumn<PolicyFileKind>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    const auto login = PolicyFileKind::LoginDefs;
    const auto useradd = PolicyFileKind::UseraddDefaults;
    const auto settings = PolicyFileKind::Settings;

    // /etc/login.defs
    QTest::newRow("login.defs: valid") << login << QByteArray(validLoginDefs) << QStringList();
    QTest::newRow("login.defs: no keys at all") << login << QByteArray("UMASK 022\nUMASK 077\n# PASS_MAX_DAYS 1\n") << QStringList();
    QTest::newRow("login.defs: repeated key, same value")
        << login << QByteArray("PASS_MAX_DAYS 99999\nPASS_WARN_AGE 7\nPASS_WARN_AGE 7\n")
        << QStringList{QStringLiteral("F:3: error: PASS_WARN_AGE is defined again (first on line 2); a key may be defined only once")};
    QTest::newRow("login.defs: comment after the value")
        << login << QByteArray("# policy\nPASS_MAX_DAYS 99999 # forever\n")
        << QStringList{QStringLiteral("F:2: error: PASS_MAX_DAYS has the value \"99999 # forever\": a comment must stand on a line of its own")};
    QTest::newRow("login.defs: key without value") << login << QByteArray("PASS_WARN_AGE\n")
                                                   << QStringList{QStringLiteral("F:1: error: PASS_WARN_AGE has no value")};
    QTest::newRow("login.defs: minimum below 0") << login << QByteArray("\nPASS_MIN_DAYS -1\n")
                                                 << QStringList{QStringLiteral("F:2: error: PASS_MIN_DAYS is -1, below its lowest value (0)")};
    QTest::newRow("login.defs: maximum below -1") << login << QByteArray("PASS_MAX_DAYS -2\n")
                                                  << QStringList{QStringLiteral("F:1: error: PASS_MAX_DAYS is -2, below its lowest value (-1, not set)")};
    QTest::newRow("login.defs: beyond 32 bits")
        << login << QByteArray("PASS_MAX_DAYS 4294967310\n")
        << QStringList{QStringLiteral("F:1: error: PASS_MAX_DAYS is 4294967310, beyond the range of the programs' numbers (-2147483648 to 2147483647)")};
    QTest::newRow("login.defs: not a number") << login << QByteArray("PASS_MIN_DAYS seven\n")
                                              << QStringList{QStringLiteral("F:1: error: PASS_MIN_DAYS has the value \"seven\", which is not a whole number")};
    QTest::newRow("login.defs: \"=\" as separator")
        << login << QByteArray("PASS_MAX_DAYS=60\n")
        << QStringList{QStringLiteral("F:1: warning: \"PASS_MAX_DAYS=60\" is not read as PASS_MAX_DAYS: a blank or tab must separate the key from its value")};
    QTest::newRow("login.defs: key in small letters") << login << QByteArray("PASS_MAX_DAYS 90\npass_min_days 5\n")
                                                      << QStringList{QStringLiteral(
                                                             "F:2: warning: \"pass_min_days\" is not read as PASS_MIN_DAYS: keys are written in capitals")};
    QTest::newRow("login.defs: longer key is another key") << login << QByteArray("PASS_MAX_DAYS_OLD=3\nPASS_MIN_LEN 5\n") << QStringList();
    QTest::newRow("login.defs: maximum below minimum")
        << login << QByteArray("PASS_MIN_DAYS 7\nPASS_MAX_DAYS 5\n")
        << QStringList{QStringLiteral("F:2: warning: PASS_MAX_DAYS 5 is below PASS_MIN_DAYS 7 (line 1): a password would expire before it may be changed")};
    QTest::newRow("login.defs: maximum not set, any minimum") << login << QByteArray("PASS_MIN_DAYS 7\nPASS_MAX_DAYS -1\n") << QStringList();
    QTest::newRow("login.defs: maximum equal to minimum") << login << QByteArray("PASS_MIN_DAYS 7\nPASS_MAX_DAYS 7\n") << QStringList();
    QTest::newRow("login.defs: warning longer than maximum")
        << login << QByteArray("PASS_MAX_DAYS 14\nPASS_WARN_AGE 30\n")
        << QStringList{QStringLiteral(
               "F:2: warning: PASS_WARN_AGE 30 is longer than PASS_MAX_DAYS 14 (line 1): users would be warned from the day they change their password")};
    QTest::newRow("login.defs: byte-order mark and CRLF keep the line numbers")
        << login << QByteArray("\xEF\xBB\xBFPASS_MIN_DAYS 1\r\nPASS_MIN_DAYS 2\r\n")
        << QStringList{QStringLiteral("F:2: error: PASS_MIN_DAYS is defined again (first on line 1); a key may be defined only once")};
    QTest::newRow("login.defs: several problems, in line order")
        << login << QByteArray("PASS_WARN_AGE x\nPASS_MAX_DAYS=1\nPASS_MIN_DAYS -5\n")
        << QStringList{QStringLiteral("F:1: error: PASS_WARN_AGE has the value \"x\", which is not a whole number"),
                       QStringLiteral("F:2: warning: \"PASS_MAX_DAYS=1\" is not read as PASS_MAX_DAYS: a blank or tab must separate the key from its value"),
                       QStringLiteral("F:3: error: PASS_MIN_DAYS is -5, below its lowest value (0)")};

    // /etc/default/useradd
    QTest::newRow("useradd: valid") << useradd << QByteArray(validUseradd) << QStringList();
    QTest::newRow("useradd: stock, all commented") << useradd << QByteArray("SHELL=/bin/sh\n# INACTIVE=-1\n# EXPIRE=\n") << QStringList();
    QTest::newRow("useradd: repeated key") << useradd << QByteArray("INACTIVE=30\nSHELL=/bin/sh\nINACTIVE=30\n")
                                           << QStringList{
                                                  QStringLiteral("F:3: error: INACTIVE is defined again (first on line 1); a key may be defined only once")};
    QTest::newRow("useradd: inactive below -1") << useradd << QByteArray("INACTIVE=-3\n")
                                                << QStringList{QStringLiteral("F:1: error: INACTIVE is -3, below its lowest value (-1, not set)")};
    QTest::newRow("useradd: inactive without value") << useradd << QByteArray("EXPIRE=\nINACTIVE=\n")
                                                     << QStringList{QStringLiteral("F:2: error: INACTIVE has no value")};
    QTest::newRow("useradd: no such day") << useradd << QByteArray("EXPIRE=2026-02-30\n")
                                          << QStringList{
                                                 QStringLiteral("F:1: error: EXPIRE is \"2026-02-30\", which is not a date in the form YYYY-MM-DD (or empty)")};
    QTest::newRow("useradd: date without leading zeros")
        << useradd << QByteArray("# defaults\nEXPIRE=2027-1-5\n")
        << QStringList{QStringLiteral("F:2: error: EXPIRE is \"2027-1-5\", which is not a date in the form YYYY-MM-DD (or empty)")};
    QTest::newRow("useradd: blank before \"=\"") << useradd << QByteArray("INACTIVE = 30\n")
                                                 << QStringList{QStringLiteral(
                                                        "F:1: warning: \"INACTIVE = 30\" is not read as INACTIVE: no blank may stand before \"=\"")};
    QTest::newRow("useradd: blank instead of \"=\"") << useradd << QByteArray("INACTIVE 30\n")
                                                     << QStringList{QStringLiteral(
                                                            "F:1: warning: \"INACTIVE 30\" is not read as INACTIVE: the key must be followed by \"=\"")};
    QTest::newRow("useradd: expiry date passed") << useradd << QByteArray("EXPIRE=2020-01-31\n")
                                                 << QStringList{QStringLiteral(
                                                        "F:1: warning: EXPIRE 2020-01-31 has passed: accounts created now would be expired from the start")};
    QTest::newRow("useradd: expiry date today") << useradd << QByteArray("EXPIRE=2026-06-01\n") << QStringList();

    // /etc/password-expiration-policy/config.ini
    QTest::newRow("settings: valid") << settings << QByteArray(validSettings) << QStringList();
    QTest::newRow("settings: comments of both kinds, quoted false")
        << settings << QByteArray("# managed\n[General]\n; default\nRECEIVE_NOTIFY_FOR_LOCAL=\"false\"\nNOTIFY_DAYS=21 ; three weeks\n") << QStringList();
    QTest::newRow("settings: line without \"=\"") << settings << QByteArray("[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\njust words\n")
                                                  << QStringList{QStringLiteral(
                                                         "F:3: error: neither KEY=VALUE, a [section] header nor a comment (\";\" or \"#\" first)")};
    QTest::newRow("settings: section header without \"]\"")
        << settings << QByteArray("[General\nNOTIFY_DAYS=3\n") << QStringList{QStringLiteral("F:1: error: a section header without \"]\"")};
    QTest::newRow("settings: domain switch no")
        << settings << QByteArray("[General]\nRECEIVE_NOTIFY_FOR_DOMAIN=no\n")
        << QStringList{QStringLiteral(
               "F:2: warning: RECEIVE_NOTIFY_FOR_DOMAIN=no reads as true: only false, 0 or an empty value switch reminders off; write true or false")};
    QTest::newRow("settings: local switch off")
        << settings << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=off\n")
        << QStringList{QStringLiteral(
               "F:1: warning: RECEIVE_NOTIFY_FOR_LOCAL=off reads as true: only false, 0 or an empty value switch reminders off; write true or false")};
    QTest::newRow("settings: switch as a list")
        << settings << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=true, false\n")
        << QStringList{QStringLiteral("F:1: warning: RECEIVE_NOTIFY_FOR_LOCAL is a list (true, false) and reads as false; write true or false")};
    QTest::newRow("settings: switch @Invalid()") << settings << QByteArray("RECEIVE_NOTIFY_FOR_DOMAIN=@Invalid()\n")
                                                 << QStringList{QStringLiteral(
                                                        "F:1: warning: RECEIVE_NOTIFY_FOR_DOMAIN is @Invalid() and reads as false; write true or false")};
    QTest::newRow("settings: serialised switch") << settings << QByteArray("\nRECEIVE_NOTIFY_FOR_LOCAL=@Variant(\\0\\0\\0\\x1\\x1)\n")
                                                 << QStringList{QStringLiteral(
                                                        "F:2: error: RECEIVE_NOTIFY_FOR_LOCAL holds a serialised value, which the programs cannot read")};
    QTest::newRow("settings: days not a number") << settings << QByteArray("NOTIFY_DAYS=soon\n")
                                                 << QStringList{QStringLiteral("F:1: error: NOTIFY_DAYS has the value \"soon\", which is not a whole number")};
    QTest::newRow("settings: days beyond 32 bits")
        << settings << QByteArray("NOTIFY_DAYS=4294967310\n")
        << QStringList{QStringLiteral("F:1: error: NOTIFY_DAYS is 4294967310, beyond the range of the programs' numbers (-2147483648 to 2147483647)")};
    QTest::newRow("settings: days a list") << settings << QByteArray("NOTIFY_DAYS=7, 14\n")
                                           << QStringList{QStringLiteral("F:1: error: NOTIFY_DAYS is not a single number")};
    QTest::newRow("settings: days 0") << settings << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=true\nNOTIFY_DAYS=0\n")
                                      << QStringList{QStringLiteral("F:2: warning: NOTIFY_DAYS is 0: users are reminded only once their password has expired")};
    QTest::newRow("settings: days negative") << settings << QByteArray("NOTIFY_DAYS=-5\n")
                                             << QStringList{
                                                    QStringLiteral("F:1: warning: NOTIFY_DAYS is -5: users are reminded only once their password has expired")};
    QTest::newRow("settings: repeated key, the last counts")
        << settings << QByteArray("NOTIFY_DAYS=7\nRECEIVE_NOTIFY_FOR_LOCAL=true\nNOTIFY_DAYS=21\n")
        << QStringList{QStringLiteral("F:1: warning: NOTIFY_DAYS is not read here: line 3 defines it again, and the last definition counts")};
    QTest::newRow("settings: key in another section")
        << settings << QByteArray("[General]\nNOTIFY_DAYS=14\n[Reminders]\nNOTIFY_DAYS=7\n")
        << QStringList{
               QStringLiteral("F:4: warning: NOTIFY_DAYS in section [Reminders] is not read: the programs read it only before any section or in [General]")};
    QTest::newRow("settings: key in small letters") << settings << QByteArray("notify_days=7\n")
                                                    << QStringList{QStringLiteral(
                                                           "F:1: warning: \"notify_days\" is not read as NOTIFY_DAYS: keys are written in capitals")};
}

void PolicyCheckTest::findings()
{
    QFETCH(PolicyFileKind, kind);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);

    QCOMPARE(texts(checkPolicyText(kind, content, today)), expected);
}

void PolicyCheckTest::readerAgrees_data()
{
    findings_data();
}

// The reader itself on the same file: it fails exactly where the check finds
// an error, and reads the file where the check finds only warnings.
void PolicyCheckTest::readerAgrees()
{
    QFETCH(PolicyFileKind, kind);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const PolicyDir files = writePolicy(dir, kind, content);
    const QList<Finding> found = checkPolicyFile(kind,
                                                 kind == PolicyFileKind::LoginDefs             ? files.loginDefs
                                                     : kind == PolicyFileKind::UseraddDefaults ? files.useradd
                                                                                               : files.settings,
                                                 Presence::Installed,
                                                 today);
    QCOMPARE(texts(found), expected);

    const bool errorExpected = std::any_of(expected.cbegin(), expected.cend(), [](const QString &line) {
        return line.contains(QLatin1String(": error: "));
    });
    QCOMPARE(hasError(found), errorExpected);
    const Result<Config> read = loadConfFrom(files.loginDefs, files.useradd, files.settings);
    QVERIFY2(read.hasValue() != errorExpected, qPrintable(read.hasValue() ? QStringLiteral("the reader reads the file") : read.error().message));
}

void PolicyCheckTest::switchWords_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("readsAs");
    QTest::addColumn<bool>("warned");

    QTest::newRow("true") << QByteArray("true") << true << false;
    QTest::newRow("TRUE") << QByteArray("TRUE") << true << false;
    QTest::newRow("1") << QByteArray("1") << true << false;
    QTest::newRow("false") << QByteArray("false") << false << false;
    QTest::newRow("False") << QByteArray("False") << false << false;
    QTest::newRow("0") << QByteArray("0") << false << false;
    QTest::newRow("empty") << QByteArray("") << false << false;
    QTest::newRow("quoted false") << QByteArray("\"false\"") << false << false;
    QTest::newRow("false and a comment") << QByteArray("false ; not yet") << false << false;
    QTest::newRow("no") << QByteArray("no") << true << true;
    QTest::newRow("No") << QByteArray("No") << true << true;
    QTest::newRow("off") << QByteArray("off") << true << true;
    QTest::newRow("disabled") << QByteArray("disabled") << true << true;
    QTest::newRow("00") << QByteArray("00") << true << true;
    QTest::newRow("false with a dot") << QByteArray("false.") << true << true;
    QTest::newRow("yes") << QByteArray("yes") << true << true;
    QTest::newRow("list") << QByteArray("no, thanks") << false << true;
}

// How the reader takes the words that people write for a switch.
void PolicyCheckTest::switchWords()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, readsAs);
    QFETCH(bool, warned);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QByteArray content = "[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=" + value + "\nNOTIFY_DAYS=14\n";
    const PolicyDir files = writePolicy(dir, PolicyFileKind::Settings, content);
    const Result<Config> read = loadConfFrom(files.loginDefs, files.useradd, files.settings);
    QVERIFY2(read.hasValue(), qPrintable(read.error().message));
    QCOMPARE(read.value().receiveNotifyForDomain, readsAs);

    const QList<Finding> found = checkSettings(content);
    QCOMPARE(found.size(), warned ? 1 : 0);
    if (warned) {
        QCOMPARE(found.first().line, 3);
        QCOMPARE(found.first().severity, Finding::Warning);
        QVERIFY2(found.first().message.contains(readsAs ? QLatin1String("reads as true") : QLatin1String("reads as false")), qPrintable(found.first().message));
    }
}

void PolicyCheckTest::files_data()
{
    QTest::addColumn<PolicyFileKind>("kind");
    QTest::addColumn<QString>("make"); // absent, directory
    QTest::addColumn<bool>("candidate");
    QTest::addColumn<QString>("expected");

    QTest::newRow("login.defs absent") << PolicyFileKind::LoginDefs << QStringLiteral("absent") << false
                                       << QStringLiteral("P: error: cannot be read: No such file or directory");
    QTest::newRow("useradd a directory") << PolicyFileKind::UseraddDefaults << QStringLiteral("directory") << false
                                         << QStringLiteral("P: error: cannot be read: Is a directory");
    QTest::newRow("installed settings absent")
        << PolicyFileKind::Settings << QStringLiteral("absent") << false
        << QStringLiteral("P: warning: absent: no reminders are shown (read as RECEIVE_NOTIFY_FOR_LOCAL=false, RECEIVE_NOTIFY_FOR_DOMAIN=false)");
    QTest::newRow("candidate settings absent") << PolicyFileKind::Settings << QStringLiteral("absent") << true
                                               << QStringLiteral("P: error: cannot be read: No such file or directory");
    QTest::newRow("settings a directory") << PolicyFileKind::Settings << QStringLiteral("directory") << false
                                          << QStringLiteral("P: error: cannot be read: Is a directory");
}

void PolicyCheckTest::files()
{
    QFETCH(PolicyFileKind, kind);
    QFETCH(QString, make);
    QFETCH(bool, candidate);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("file"));
    if (make == QLatin1String("directory")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("file")));
    }
    const QList<Finding> found = checkPolicyFile(kind, path, candidate ? Presence::Candidate : Presence::Installed, today);
    QCOMPARE(found.size(), 1);
    QCOMPARE(findingText(QStringLiteral("P"), found.first()), expected);
}

void PolicyCheckTest::kindNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind"); // -1: refused

    QTest::newRow("login.defs") << QStringLiteral("login.defs") << int(PolicyFileKind::LoginDefs);
    QTest::newRow("useradd") << QStringLiteral("useradd") << int(PolicyFileKind::UseraddDefaults);
    QTest::newRow("settings") << QStringLiteral("settings") << int(PolicyFileKind::Settings);
    QTest::newRow("a path is no kind") << QStringLiteral("/etc/login.defs") << -1;
    QTest::newRow("config.ini is no kind") << QStringLiteral("config.ini") << -1;
    QTest::newRow("capitals") << QStringLiteral("Useradd") << -1;
    QTest::newRow("empty") << QString() << -1;
}

void PolicyCheckTest::kindNames()
{
    QFETCH(QString, name);
    QFETCH(int, kind);

    const std::optional<PolicyFileKind> named = policyFileKindNamed(name);
    QCOMPARE(named ? int(*named) : -1, kind);
}

QTEST_GUILESS_MAIN(PolicyCheckTest)
#include "policychecktest.moc"
