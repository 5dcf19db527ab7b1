// SPDX-License-Identifier: GPL-2.0-or-later
#include "policyrequest.h"

#include "policy_p.h"
#include "testfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

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

// The faults a change request meets in the files.
enum class Fault {
    None,
    UseraddMissing, // the last file to be written is not there
    LoginDefsIsALink, // the second file is refused
    SettingsNew, // no settings file or directory yet, and useradd missing
    SettingsQuoteOpen, // the settings file ends inside a value's quotes
    LoginDefsNearLimit, // login.defs grows over the readers' size limit
};

// A file's bytes, owner and mode, or "absent".
QString stateOf(const QString &path)
{
    struct stat status;
    if (lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return QStringLiteral("absent");
    }
    if (S_ISLNK(status.st_mode)) {
        return QStringLiteral("link to ") + QFile::symLinkTarget(path);
    }
    return QStringLiteral("%1:%2 %3 %4")
        .arg(status.st_uid)
        .arg(status.st_gid)
        .arg(status.st_mode & 07777, 0, 8)
        .arg(QString::fromLatin1(readFile(path).toHex()));
}
} // namespace

Q_DECLARE_METATYPE(Fault)

class PolicyRequestTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void arguments_data();
    void arguments();
    void checkConfig_data();
    void checkConfig();
    void handleRequest_data();
    void handleRequest();
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
    QTest::newRow("largest ages") << Config{true,
                                            true,
                                            0,
                                            std::numeric_limits<qint32>::max(),
                                            std::numeric_limits<qint32>::max(),
                                            std::numeric_limits<qint32>::max(),
                                            std::numeric_limits<qint32>::max(),
                                            QDate()}
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

void PolicyRequestTest::handleRequest_data()
{
    QTest::addColumn<QVariantMap>("arguments");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("error"); // empty: stored; %1 login.defs, %2 useradd, %3 settings

    const QVariantMap request{{QStringLiteral("config"), QVariant::fromValue(Config{false, true, 30, 1, 60, 10, 30, QDate(2030, 1, 31)})}};
    QTest::newRow("stored") << request << Fault::None << QString();
    QTest::newRow("stored in a new settings file") << QVariantMap{{QStringLiteral("config"), QVariant::fromValue(valid)}} << Fault::None << QString();
    QTest::newRow("refused argument") << QVariantMap{{QStringLiteral("config"), QVariant::fromValue(valid)},
                                                     {QStringLiteral("path"), QStringLiteral("/etc/shadow")}}
                                      << Fault::None << QStringLiteral("Unexpected argument path");
    QTest::newRow("refused value") << QVariantMap{{QStringLiteral("config"), QVariant::fromValue(Config{true, false, 14, -1, -1, -1, -1, QDate()})}}
                                   << Fault::None << QStringLiteral("Parameter PASS_MIN_DAYS has an unexpected value");
    QTest::newRow("failed write: settings and login.defs put back")
        << request << Fault::UseraddMissing << QStringLiteral("Could not opening configuration file %2: No such file or directory");
    QTest::newRow("failed write: settings put back, the link left alone")
        << request << Fault::LoginDefsIsALink << QStringLiteral("Could not opening configuration file %1: Is a symbolic link");
    QTest::newRow("failed write: a settings file made by the save removed")
        << request << Fault::SettingsNew << QStringLiteral("Could not opening configuration file %2: No such file or directory");
    QTest::newRow("refused write: keys would be swallowed by an open quote")
        << request << Fault::SettingsQuoteOpen << QStringLiteral("Error writing configuration file: %3");
    QTest::newRow("read-back fails: everything put back")
        << request << Fault::LoginDefsNearLimit << QStringLiteral("Could not opening configuration file %1: Larger than 1048576 bytes");
}

void PolicyRequestTest::handleRequest()
{
    QFETCH(QVariantMap, arguments);
    QFETCH(Fault, fault);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const PolicyPaths paths{dir.filePath(QStringLiteral("login.defs")),
                            dir.filePath(QStringLiteral("default/useradd")),
                            dir.filePath(QStringLiteral("policy/config.ini"))};
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("default"))));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("policy"))));
    QVERIFY(writeFile(paths.loginDefs, "# caf\xe9\nPASS_MAX_DAYS   99999\nPASS_MIN_DAYS 0\n  PASS_WARN_AGE 7\n"));
    QVERIFY(writeFile(paths.useraddDefaults, "SHELL=/bin/sh\nINACTIVE=-1\nEXPIRE=\n"));
    QVERIFY(writeFile(paths.settings, "# managed elsewhere\n[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nNOTIFY_DAYS=14\n"));
    // Modes and owners of their own, which a put-back file must have again.
    QCOMPARE(chmod(QFile::encodeName(paths.loginDefs).constData(), 0640), 0);
    QCOMPARE(chmod(QFile::encodeName(paths.settings).constData(), 0600), 0);
    if (geteuid() == 0) {
        QCOMPARE(chown(QFile::encodeName(paths.loginDefs).constData(), 0, 42), 0);
        QCOMPARE(chown(QFile::encodeName(paths.settings).constData(), 65534, 65534), 0);
    }
    switch (fault) {
    case Fault::None:
        if (QTest::currentDataTag() == QByteArray("stored in a new settings file")) {
            QVERIFY(QDir(QFileInfo(paths.settings).path()).removeRecursively());
        }
        break;
    case Fault::UseraddMissing:
        QVERIFY(QFile::remove(paths.useraddDefaults));
        break;
    case Fault::LoginDefsIsALink:
        QVERIFY(QFile::rename(paths.loginDefs, dir.filePath(QStringLiteral("real.defs"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("real.defs")), paths.loginDefs));
        break;
    case Fault::SettingsNew:
        QVERIFY(QDir(QFileInfo(paths.settings).path()).removeRecursively());
        QVERIFY(QFile::remove(paths.useraddDefaults));
        break;
    case Fault::SettingsQuoteOpen:
        QVERIFY(writeFile(paths.settings, "[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nNOTE=\"open\n"));
        break;
    case Fault::LoginDefsNearLimit:
        // Just below the limit, and the three keys still to be added.
        QVERIFY(writeFile(paths.loginDefs, QByteArray("# padding\n") + QByteArray(int(policyFileSizeLimit) - 20, 'x') + '\n'));
        break;
    }
    const QStringList before{stateOf(paths.loginDefs),
                             stateOf(paths.useraddDefaults),
                             stateOf(paths.settings),
                             stateOf(dir.filePath(QStringLiteral("real.defs")))};
    const QStringList directoriesBefore{
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).join(QLatin1Char(' ')),
        QDir(dir.filePath(QStringLiteral("default"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).join(QLatin1Char(' '))};

    const QVariant result = handleChangeRequest(arguments, paths);

    const QStringList directoriesAfter{
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).join(QLatin1Char(' ')),
        QDir(dir.filePath(QStringLiteral("default"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).join(QLatin1Char(' '))};
    if (error.isEmpty()) {
        QVERIFY2(result.isNull(), qPrintable(result.value<Error>().message));
        const Result<Config> stored = loadConfFrom(paths.loginDefs, paths.useraddDefaults, paths.settings);
        QVERIFY2(stored.hasValue(), qPrintable(stored.error().message));
        QCOMPARE(stored.value(), arguments.value(QStringLiteral("config")).value<Config>());
        // The replaced files keep their owners and modes.
        QCOMPARE(stateOf(paths.loginDefs).section(QLatin1Char(' '), 0, 1), before.at(0).section(QLatin1Char(' '), 0, 1));
        return;
    }
    QVERIFY(!result.isNull());
    QCOMPARE(result.value<Error>().code, -1);
    error.replace(QLatin1String("%1"), paths.loginDefs).replace(QLatin1String("%2"), paths.useraddDefaults).replace(QLatin1String("%3"), paths.settings);
    QCOMPARE(result.value<Error>().message, error);
    // Every file as it was before the request: bytes, owner, mode; a link
    // still a link; nothing left beside them.
    const QStringList after{stateOf(paths.loginDefs),
                            stateOf(paths.useraddDefaults),
                            stateOf(paths.settings),
                            stateOf(dir.filePath(QStringLiteral("real.defs")))};
    QCOMPARE(after, before);
    QCOMPARE(directoriesAfter, directoriesBefore);
}

QTEST_GUILESS_MAIN(PolicyRequestTest)
#include "policyrequesttest.moc"
