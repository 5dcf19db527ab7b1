// SPDX-License-Identifier: GPL-2.0-or-later
#include "policy_p.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace PasswordExpirationPolicy;

namespace
{
const char defaultLoginDefs[] = "MAIL_DIR /var/mail\nPASS_MAX_DAYS\t99999\nPASS_MIN_DAYS 0\nPASS_WARN_AGE 7\n";
const char defaultUseradd[] = "SHELL=/bin/sh\nINACTIVE=-1\nEXPIRE=\n";
const char defaultSettings[] = "[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nNOTIFY_DAYS=14\n";
} // namespace

class ReaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lineRules_data();
    void lineRules();
    void missingFile();
    void integerRule_data();
    void integerRule();
    void loadConf_data();
    void loadConf();
    void settingsFileAbsent();
    void settingsFileUnreadable();
    void settingsObjectsAreIndependent();
};

void ReaderTest::lineRules_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("useraddSyntax");
    QTest::addColumn<QVariantMap>("expected"); // empty with error set = failure
    QTest::addColumn<bool>("duplicateError");

    auto map = [](std::initializer_list<std::pair<const char *, const char *>> entries) {
        QVariantMap m;
        for (const auto &e : entries) {
            m.insert(QString::fromLatin1(e.first), QString::fromLatin1(e.second));
        }
        return m;
    };

    QTest::newRow("tab separator") << QByteArray("PASS_MAX_DAYS\t99999\n") << false << map({{"PASS_MAX_DAYS", "99999"}}) << false;
    QTest::newRow("several blanks") << QByteArray("PASS_MAX_DAYS   99999\n") << false << map({{"PASS_MAX_DAYS", "99999"}}) << false;
    QTest::newRow("indented and trailing blanks") << QByteArray("   PASS_MIN_DAYS 5   \n") << false << map({{"PASS_MIN_DAYS", "5"}}) << false;
    QTest::newRow("commented definition ignored") << QByteArray("#PASS_MIN_DAYS 5\n  # PASS_MAX_DAYS 3\n") << false << QVariantMap() << false;
    QTest::newRow("inline hash is part of value") << QByteArray("PASS_MAX_DAYS 90 # ninety\n") << false << map({{"PASS_MAX_DAYS", "90 # ninety"}}) << false;
    QTest::newRow("key alone has empty value") << QByteArray("PASS_WARN_AGE\n") << false << map({{"PASS_WARN_AGE", ""}}) << false;
    QTest::newRow("equals sign is not whitespace") << QByteArray("PASS_MAX_DAYS=30\n") << false << QVariantMap() << false;
    QTest::newRow("unknown keys ignored, even twice") << QByteArray("UMASK 022\nUMASK 077\nPASS_MIN_DAYS 1\n") << false << map({{"PASS_MIN_DAYS", "1"}})
                                                      << false;
    QTest::newRow("duplicate with same value") << QByteArray("PASS_WARN_AGE 7\nPASS_WARN_AGE 7\n") << false << QVariantMap() << true;
    QTest::newRow("key is case-sensitive") << QByteArray("pass_min_days 5\n") << false << QVariantMap() << false;
    QTest::newRow("CRLF line ends") << QByteArray("PASS_MIN_DAYS 5\r\nPASS_MAX_DAYS 9\r\n") << false << map({{"PASS_MIN_DAYS", "5"}, {"PASS_MAX_DAYS", "9"}})
                                    << false;
    QTest::newRow("no final line feed") << QByteArray("PASS_MIN_DAYS 5") << false << map({{"PASS_MIN_DAYS", "5"}}) << false;
    QTest::newRow("useradd equals") << QByteArray("INACTIVE=30\nEXPIRE=2026-03-01\n") << true << map({{"INACTIVE", "30"}, {"EXPIRE", "2026-03-01"}}) << false;
    QTest::newRow("useradd only first equals splits") << QByteArray("EXPIRE=a=b\n") << true << map({{"EXPIRE", "a=b"}}) << false;
    QTest::newRow("useradd blank before equals is part of key") << QByteArray("INACTIVE = 30\n") << true << QVariantMap() << false;
    QTest::newRow("useradd value trimmed") << QByteArray("INACTIVE=  30  \n") << true << map({{"INACTIVE", "30"}}) << false;
    QTest::newRow("useradd empty value") << QByteArray("EXPIRE=\n") << true << map({{"EXPIRE", ""}}) << false;
    QTest::newRow("useradd whitespace does not split") << QByteArray("INACTIVE 30\n") << true << QVariantMap() << false;
}

void ReaderTest::lineRules()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, useraddSyntax);
    QFETCH(QVariantMap, expected);
    QFETCH(bool, duplicateError);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("file"));
    QVERIFY(writeFile(path, content));

    const QSet<QString> keys = useraddSyntax ? QSet<QString>{QStringLiteral("INACTIVE"), QStringLiteral("EXPIRE")}
                                             : QSet<QString>{QStringLiteral("PASS_MIN_DAYS"), QStringLiteral("PASS_MAX_DAYS"), QStringLiteral("PASS_WARN_AGE")};
    const Result<ParamMap> result = readParamsFromConf(path, keys, useraddSyntax ? isUseraddSeparator : isLoginDefsSeparator);

    if (duplicateError) {
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().code, -1);
        QCOMPARE(result.error().message, QStringLiteral("The configuration file %1 contains several definitions of the same parameter").arg(path));
        return;
    }
    QVERIFY2(result.hasValue(), qPrintable(result.error().message));
    QVariantMap actual;
    const ParamMap params = result.value();
    for (auto it = params.begin(); it != params.end(); ++it) {
        actual.insert(it.key(), it.value());
    }
    QCOMPARE(actual, expected);
}

void ReaderTest::missingFile()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("absent"));
    const Result<ParamMap> result = readParamsFromConf(path, {QStringLiteral("INACTIVE")}, isUseraddSeparator);
    QVERIFY(!result.hasValue());
    QCOMPARE(result.error().code, -1);
    QCOMPARE(result.error().message, QStringLiteral("Could not opening configuration file %1: No such file or directory").arg(path));
}

void ReaderTest::integerRule_data()
{
    QTest::addColumn<QString>("value"); // "<absent>" leaves the key out
    QTest::addColumn<int>("minimum");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("expected");

    QTest::newRow("absent gives minimum 0") << QStringLiteral("<absent>") << 0 << true << 0;
    QTest::newRow("absent gives minimum -1") << QStringLiteral("<absent>") << -1 << true << -1;
    QTest::newRow("plain") << QStringLiteral("99999") << 0 << true << 99999;
    QTest::newRow("plus sign") << QStringLiteral("+5") << 0 << true << 5;
    QTest::newRow("minus one at minimum -1") << QStringLiteral("-1") << -1 << true << -1;
    QTest::newRow("minus two below -1") << QStringLiteral("-2") << -1 << false << 0;
    QTest::newRow("minus one below 0") << QStringLiteral("-1") << 0 << false << 0;
    QTest::newRow("zero at minimum 0") << QStringLiteral("0") << 0 << true << 0;
    QTest::newRow("empty") << QString() << -1 << false << 0;
    QTest::newRow("trailing comment") << QStringLiteral("90 # days") << -1 << false << 0;
    QTest::newRow("hex") << QStringLiteral("0x10") << -1 << false << 0;
    QTest::newRow("decimal point") << QStringLiteral("1.5") << -1 << false << 0;
    QTest::newRow("overflow") << QStringLiteral("2147483648") << -1 << false << 0;
    QTest::newRow("int max") << QStringLiteral("2147483647") << -1 << true << 2147483647;
    QTest::newRow("word") << QStringLiteral("never") << -1 << false << 0;
}

void ReaderTest::integerRule()
{
    QFETCH(QString, value);
    QFETCH(int, minimum);
    QFETCH(bool, ok);
    QFETCH(int, expected);

    ParamMap params;
    if (value != QLatin1String("<absent>")) {
        params.insert(QStringLiteral("KEY"), value);
    }
    const Result<int> result = readIntParam(params, QStringLiteral("KEY"), minimum);
    QCOMPARE(result.hasValue(), ok);
    if (ok) {
        QCOMPARE(result.value(), expected);
    } else {
        QCOMPARE(result.error().code, -1);
        QCOMPARE(result.error().message, QStringLiteral("Parameter KEY has an unexpected value"));
    }
}

void ReaderTest::loadConf_data()
{
    QTest::addColumn<QByteArray>("loginDefs");
    QTest::addColumn<QByteArray>("useradd");
    QTest::addColumn<QByteArray>("settingsFile");
    QTest::addColumn<QString>("error"); // empty: success expected
    QTest::addColumn<Config>("expected");

    const Config stock{true, false, 14, 0, 99999, 7, -1, QDate()};
    QTest::newRow("stock files") << QByteArray(defaultLoginDefs) << QByteArray(defaultUseradd) << QByteArray(defaultSettings) << QString() << stock;

    QTest::newRow("no keys anywhere") << QByteArray("# nothing\n") << QByteArray("\n") << QByteArray() << QString()
                                      << Config{false, false, 14, 0, -1, -1, -1, QDate()};

    Config dated = stock;
    dated.inactiveDays = 30;
    dated.expireDate = QDate(2026, 3, 1);
    QTest::newRow("inactive and expire set") << QByteArray(defaultLoginDefs) << QByteArray("INACTIVE=30\nEXPIRE=2026-03-01\n") << QByteArray(defaultSettings)
                                             << QString() << dated;

    Config spaced = stock;
    QTest::newRow("blanks around equals not recognised")
        << QByteArray(defaultLoginDefs) << QByteArray("INACTIVE = 30\n") << QByteArray(defaultSettings) << QString() << spaced;

    QTest::newRow("inactive without value") << QByteArray(defaultLoginDefs) << QByteArray("INACTIVE=\n") << QByteArray(defaultSettings)
                                            << QStringLiteral("Parameter INACTIVE has an unexpected value") << Config();
    QTest::newRow("30 February") << QByteArray(defaultLoginDefs) << QByteArray("EXPIRE=2026-02-30\n") << QByteArray(defaultSettings)
                                 << QStringLiteral("Parameter EXPIRE has an unexpected value") << Config();
    QTest::newRow("date in another format") << QByteArray(defaultLoginDefs) << QByteArray("EXPIRE=01.03.2026\n") << QByteArray(defaultSettings)
                                            << QStringLiteral("Parameter EXPIRE has an unexpected value") << Config();
    QTest::newRow("max days with comment") << QByteArray("PASS_MAX_DAYS 99999 # forever\n") << QByteArray(defaultUseradd) << QByteArray(defaultSettings)
                                           << QStringLiteral("Parameter PASS_MAX_DAYS has an unexpected value") << Config();
    QTest::newRow("warn age without value") << QByteArray("PASS_WARN_AGE\n") << QByteArray(defaultUseradd) << QByteArray(defaultSettings)
                                            << QStringLiteral("Parameter PASS_WARN_AGE has an unexpected value") << Config();
    QTest::newRow("min days -1") << QByteArray("PASS_MIN_DAYS -1\n") << QByteArray(defaultUseradd) << QByteArray(defaultSettings)
                                 << QStringLiteral("Parameter PASS_MIN_DAYS has an unexpected value") << Config();
    QTest::newRow("max days -2") << QByteArray("PASS_MAX_DAYS -2\n") << QByteArray(defaultUseradd) << QByteArray(defaultSettings)
                                 << QStringLiteral("Parameter PASS_MAX_DAYS has an unexpected value") << Config();

    Config maxMinusOne{true, false, 14, 0, -1, -1, -1, QDate()};
    QTest::newRow("max days -1") << QByteArray("PASS_MAX_DAYS -1\n") << QByteArray(defaultUseradd) << QByteArray(defaultSettings) << QString() << maxMinusOne;

    // The first error wins: login.defs is read before useradd.
    QTest::newRow("errors in both files") << QByteArray("PASS_MIN_DAYS x\nPASS_MIN_DAYS y\n") << QByteArray("INACTIVE=x\n") << QByteArray(defaultSettings)
                                          << QStringLiteral("The configuration file %1 contains several definitions of the same parameter") << Config();

    QTest::newRow("flag 'no' counts as true") << QByteArray(defaultLoginDefs) << QByteArray(defaultUseradd)
                                              << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=no\nRECEIVE_NOTIFY_FOR_DOMAIN=yes\n") << QString()
                                              << Config{true, true, 14, 0, 99999, 7, -1, QDate()};
    QTest::newRow("flag FALSE, 0 and empty count as false") << QByteArray(defaultLoginDefs) << QByteArray(defaultUseradd)
                                                            << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=FALSE\nRECEIVE_NOTIFY_FOR_DOMAIN=0\nNOTIFY_DAYS=-5\n")
                                                            << QString() << Config{false, false, -5, 0, 99999, 7, -1, QDate()};
    QTest::newRow("flag empty value") << QByteArray(defaultLoginDefs) << QByteArray(defaultUseradd)
                                      << QByteArray("RECEIVE_NOTIFY_FOR_LOCAL=\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nNOTIFY_DAYS=0\n") << QString()
                                      << Config{false, true, 0, 0, 99999, 7, -1, QDate()};
    QTest::newRow("notify days not a number") << QByteArray(defaultLoginDefs) << QByteArray(defaultUseradd) << QByteArray("NOTIFY_DAYS=soon\n")
                                              << QStringLiteral("Parameter NOTIFY_DAYS has an unexpected value") << Config();
    QTest::newRow("settings with a comment header") << QByteArray(defaultLoginDefs) << QByteArray(defaultUseradd)
                                                    << QByteArray(
                                                           "# managed by configuration management\n[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nNOTIFY_DAYS=9\n")
                                                    << QString() << Config{true, false, 9, 0, 99999, 7, -1, QDate()};
    QTest::newRow("notify days beyond 32 bits") << QByteArray(defaultLoginDefs) << QByteArray(defaultUseradd) << QByteArray("NOTIFY_DAYS=4294967310\n")
                                                << QStringLiteral("Parameter NOTIFY_DAYS has an unexpected value") << Config();
    QTest::newRow("Latin-1 comment and no-break space separator") << QByteArray(
        "# caf\xe9\nPASS_MAX_DAYS\xc2\xa0"
        "90\n") << QByteArray(defaultUseradd) << QByteArray(defaultSettings)
                                                                  << QString() << Config{true, false, 14, 0, 90, -1, -1, QDate()};
    QTest::newRow("settings not well-formed") << QByteArray(defaultLoginDefs) << QByteArray(defaultUseradd) << QByteArray("[General\nNOTIFY_DAYS=3\n")
                                              << QStringLiteral("Parameter RECEIVE_NOTIFY_FOR_LOCAL has an unexpected value") << Config();
}

void ReaderTest::loadConf()
{
    QFETCH(QByteArray, loginDefs);
    QFETCH(QByteArray, useradd);
    QFETCH(QByteArray, settingsFile);
    QFETCH(QString, error);
    QFETCH(Config, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString loginPath = dir.filePath(QStringLiteral("login.defs"));
    const QString useraddPath = dir.filePath(QStringLiteral("useradd"));
    const QString settingsFilePath = dir.filePath(QStringLiteral("config.ini"));
    QVERIFY(writeFile(loginPath, loginDefs));
    QVERIFY(writeFile(useraddPath, useradd));
    if (!settingsFile.isEmpty()) {
        QVERIFY(writeFile(settingsFilePath, settingsFile));
    }

    const Result<Config> result = loadConfFrom(loginPath, useraddPath, settingsFilePath);
    if (error.isEmpty()) {
        QVERIFY2(result.hasValue(), qPrintable(result.error().message));
        QCOMPARE(result.value(), expected);
    } else {
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().code, -1);
        QCOMPARE(result.error().message, error.contains(QLatin1String("%1")) ? error.arg(loginPath) : error);
    }
}

void ReaderTest::settingsFileAbsent()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString loginPath = dir.filePath(QStringLiteral("login.defs"));
    const QString useraddPath = dir.filePath(QStringLiteral("useradd"));
    QVERIFY(writeFile(loginPath, defaultLoginDefs));

    // Both system files absent: the first one is named.
    Result<Config> result = loadConfFrom(loginPath + QStringLiteral(".absent"), useraddPath, dir.filePath(QStringLiteral("config.ini")));
    QVERIFY(!result.hasValue());
    QVERIFY(result.error().message.startsWith(QStringLiteral("Could not opening configuration file %1.absent: ").arg(loginPath)));

    result = loadConfFrom(loginPath, useraddPath, dir.filePath(QStringLiteral("config.ini")));
    QVERIFY(!result.hasValue());
    QCOMPARE(result.error().message, QStringLiteral("Could not opening configuration file %1: No such file or directory").arg(useraddPath));

    QVERIFY(writeFile(useraddPath, defaultUseradd));
    result = loadConfFrom(loginPath, useraddPath, dir.filePath(QStringLiteral("config.ini")));
    QVERIFY2(result.hasValue(), qPrintable(result.error().message));
    QCOMPARE(result.value().receiveNotifyForLocal, false);
    QCOMPARE(result.value().receiveNotifyForDomain, false);
    QCOMPARE(result.value().notifyDays, 14);
    // Reading never creates the settings file.
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("config.ini"))));
}

void ReaderTest::settingsFileUnreadable()
{
    if (geteuid() == 0) {
        QSKIP("root reads every file; the unprivileged case runs in the system tests");
    }
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString loginPath = dir.filePath(QStringLiteral("login.defs"));
    const QString useraddPath = dir.filePath(QStringLiteral("useradd"));
    const QString settingsFilePath = dir.filePath(QStringLiteral("config.ini"));
    QVERIFY(writeFile(loginPath, defaultLoginDefs));
    QVERIFY(writeFile(useraddPath, defaultUseradd));
    QVERIFY(writeFile(settingsFilePath, defaultSettings));
    QVERIFY(QFile::setPermissions(settingsFilePath, QFileDevice::WriteOwner));

    const Result<Config> result = loadConfFrom(loginPath, useraddPath, settingsFilePath);
    QVERIFY(!result.hasValue());
    QCOMPARE(result.error().message, QStringLiteral("Parameter RECEIVE_NOTIFY_FOR_LOCAL has an unexpected value"));
}

void ReaderTest::settingsObjectsAreIndependent()
{
    QSettings first = settings();
    QCOMPARE(first.fileName(), QStringLiteral("/etc/password-expiration-policy/config.ini"));
    QCOMPARE(first.format(), QSettings::IniFormat);
    QVERIFY(first.group().isEmpty());
    // What one caller does with its object does not reach the next one's.
    first.beginGroup(QStringLiteral("Other"));
    QSettings second = settings();
    QVERIFY(second.group().isEmpty());
    QCOMPARE(first.group(), QStringLiteral("Other"));
    second.beginGroup(QStringLiteral("Second"));
    QCOMPARE(first.group(), QStringLiteral("Other"));
}

QTEST_GUILESS_MAIN(ReaderTest)
#include "readertest.moc"
