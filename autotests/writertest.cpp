// SPDX-License-Identifier: GPL-2.0-or-later
#include "policy_p.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace PasswordExpirationPolicy;

namespace
{
const uid_t nobodyId = 65534;

// Root ignores file modes. While an object of this class lives, file access
// of this thread is checked as for the user nobody (the file-system uid and
// gid; changing them away from 0 drops the capabilities that bypass modes).
// Not root, the process is unprivileged already and nothing changes.
class UnprivilegedFileAccess
{
public:
    UnprivilegedFileAccess()
        : m_root(geteuid() == 0)
    {
        if (m_root) {
            setfsgid(nobodyId);
            setfsuid(nobodyId);
        }
    }
    ~UnprivilegedFileAccess()
    {
        if (m_root) {
            setfsuid(0);
            setfsgid(0);
        }
    }
    Q_DISABLE_COPY(UnprivilegedFileAccess)

private:
    bool m_root;
};

// Lets nobody read and traverse a directory made by QTemporaryDir (mode 0700).
bool openToOthers(const QString &path)
{
    return QFile::setPermissions(path,
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther
                                     | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
}

bool makeReadOnlyDir(const QString &path)
{
    return QFile::setPermissions(path,
                                 QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::ReadGroup
                                     | QFileDevice::ExeGroup);
}

const ParamMap loginParams{{QStringLiteral("PASS_MIN_DAYS"), QStringLiteral("1")},
                           {QStringLiteral("PASS_MAX_DAYS"), QStringLiteral("60")},
                           {QStringLiteral("PASS_WARN_AGE"), QStringLiteral("7")}};
const ParamMap useraddParams{{QStringLiteral("INACTIVE"), QStringLiteral("30")}, {QStringLiteral("EXPIRE"), QString()}};

const char loginDefs[] = "# shadow password suite\nMAIL_DIR\t/var/mail\nPASS_MAX_DAYS\t99999\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\nUMASK\t022\n";
const char useradd[] = "# useradd defaults\nSHELL=/bin/sh\nINACTIVE=-1\nEXPIRE=\n";
const char settingsContent[] = "[General]\nNOTIFY_DAYS=14\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nRECEIVE_NOTIFY_FOR_LOCAL=true\n";

struct PolicyFiles {
    QString loginDefs;
    QString useradd;
    QString settings;
};

PolicyFiles policyFilesIn(const QTemporaryDir &dir)
{
    return {dir.filePath(QStringLiteral("login.defs")), dir.filePath(QStringLiteral("useradd")), dir.filePath(QStringLiteral("settings/config.ini"))};
}

bool writePolicyFiles(const PolicyFiles &files)
{
    return writeFile(files.loginDefs, loginDefs) && writeFile(files.useradd, useradd) && QDir().mkpath(QFileInfo(files.settings).path())
        && writeFile(files.settings, settingsContent);
}

QString errorMessage(const QVariant &result)
{
    return result.value<Error>().message;
}
} // namespace

class WriterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rewrite_data();
    void rewrite();
    void missingFileRefused();
    void unwritableDirectory();
    void modeAndOwnerKept();
    void writeAll_data();
    void writeAll();
    void roundTrip_data();
    void roundTrip();
    void settingsNotStorable_data();
    void settingsNotStorable();
    void settingsDirectoryCreated();
    void malformedSettingsKept();
    void useraddAbsent();
};

void WriterTest::rewrite_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("useraddSyntax");
    QTest::addColumn<ParamMap>("params");
    QTest::addColumn<QByteArray>("expected");

    const ParamMap maxDays{{QStringLiteral("PASS_MAX_DAYS"), QStringLiteral("60")}};
    const ParamMap warnAge{{QStringLiteral("PASS_WARN_AGE"), QStringLiteral("14")}};
    const ParamMap minDays{{QStringLiteral("PASS_MIN_DAYS"), QStringLiteral("5")}};

    QTest::newRow("spacing and value replaced") << QByteArray("PASS_MAX_DAYS   99999\n") << false << maxDays << QByteArray("PASS_MAX_DAYS\t60\n");
    QTest::newRow("tab-separated line rewritten the same way") << QByteArray("PASS_MAX_DAYS\t99999\n") << false << maxDays << QByteArray("PASS_MAX_DAYS\t60\n");
    QTest::newRow("repeated definition commented out")
        << QByteArray("PASS_WARN_AGE 7\nUMASK 022\nPASS_WARN_AGE 10\n") << false << warnAge << QByteArray("PASS_WARN_AGE\t14\nUMASK 022\n#PASS_WARN_AGE 10\n");
    QTest::newRow("commented definition kept, key appended") << QByteArray("# PASS_MIN_DAYS 3\n#PASS_MIN_DAYS\t4\nMAIL_DIR /var/mail\n") << false << minDays
                                                             << QByteArray("# PASS_MIN_DAYS 3\n#PASS_MIN_DAYS\t4\nMAIL_DIR /var/mail\nPASS_MIN_DAYS\t5\n");
    QTest::newRow("login.defs keys appended in ascending order") << QByteArray("MAIL_DIR /var/mail\n") << false << loginParams
                                                                 << QByteArray("MAIL_DIR /var/mail\nPASS_MAX_DAYS\t60\nPASS_MIN_DAYS\t1\nPASS_WARN_AGE\t7\n");
    QTest::newRow("useradd keys appended in ascending order")
        << QByteArray("SHELL=/bin/sh\n") << true << useraddParams << QByteArray("SHELL=/bin/sh\nEXPIRE=\nINACTIVE=30\n");
    QTest::newRow("empty file gains the keys") << QByteArray() << true << useraddParams << QByteArray("EXPIRE=\nINACTIVE=30\n");
    QTest::newRow("only the missing key appended") << QByteArray("PASS_WARN_AGE 3\n") << false << loginParams
                                                   << QByteArray("PASS_WARN_AGE\t7\nPASS_MAX_DAYS\t60\nPASS_MIN_DAYS\t1\n");
    QTest::newRow("lines trimmed, blank lines and order kept")
        << QByteArray("  UMASK 022  \n\n\t PASS_MIN_DAYS 3 \n   \n  # note  \nENCRYPT_METHOD SHA512\n") << false << minDays
        << QByteArray("UMASK 022\n\nPASS_MIN_DAYS\t5\n\n# note\nENCRYPT_METHOD SHA512\n");
    QTest::newRow("blanks around equals not recognised") << QByteArray("INACTIVE = 30\nEXPIRE=2020-01-01\n") << true
                                                         << ParamMap{{QStringLiteral("INACTIVE"), QStringLiteral("10")}, {QStringLiteral("EXPIRE"), QString()}}
                                                         << QByteArray("INACTIVE = 30\nEXPIRE=\nINACTIVE=10\n");
    QTest::newRow("whitespace is no useradd separator")
        << QByteArray("INACTIVE 30\n") << true << useraddParams << QByteArray("INACTIVE 30\nEXPIRE=\nINACTIVE=30\n");
    QTest::newRow("equals is no login.defs separator")
        << QByteArray("PASS_MAX_DAYS=30\n") << false << maxDays << QByteArray("PASS_MAX_DAYS=30\nPASS_MAX_DAYS\t60\n");
    QTest::newRow("first equals splits") << QByteArray("EXPIRE=a=b\n") << true << useraddParams << QByteArray("EXPIRE=\nINACTIVE=30\n");
    QTest::newRow("key alone replaced") << QByteArray("PASS_WARN_AGE\n") << false << warnAge << QByteArray("PASS_WARN_AGE\t14\n");
    QTest::newRow("value with comment replaced") << QByteArray("PASS_MAX_DAYS 90 # ninety\n") << false << maxDays << QByteArray("PASS_MAX_DAYS\t60\n");
    QTest::newRow("key is case-sensitive") << QByteArray("pass_max_days 1\n") << false << maxDays << QByteArray("pass_max_days 1\nPASS_MAX_DAYS\t60\n");
    QTest::newRow("missing final line feed") << QByteArray("UMASK 022\nPASS_MIN_DAYS 3") << false << minDays << QByteArray("UMASK 022\nPASS_MIN_DAYS\t5\n");
    QTest::newRow("missing final line feed after other key") << QByteArray("UMASK 022") << false << minDays << QByteArray("UMASK 022\nPASS_MIN_DAYS\t5\n");
    QTest::newRow("CRLF line ends become LF") << QByteArray("UMASK 022\r\nPASS_MIN_DAYS 3\r\n") << false << minDays
                                              << QByteArray("UMASK 022\nPASS_MIN_DAYS\t5\n");
    QTest::newRow("Latin-1 comment kept byte for byte")
        << QByteArray("# caf\xe9 au lait\nPASS_MIN_DAYS 3\n") << false << minDays << QByteArray("# caf\xe9 au lait\nPASS_MIN_DAYS\t5\n");
    QTest::newRow("non-ASCII comment kept") << QByteArray("# Kennwort \xc3\xa4nderung\nPASS_MIN_DAYS 3\n") << false << minDays
                                            << QByteArray("# Kennwort \xc3\xa4nderung\nPASS_MIN_DAYS\t5\n");
}

void WriterTest::rewrite()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, useraddSyntax);
    QFETCH(ParamMap, params);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("file"));
    QVERIFY(writeFile(path, content));

    const QVariant result = useraddSyntax ? writeParamsToConf(path, params, isUseraddSeparator, QLatin1Char('='))
                                          : writeParamsToConf(path, params, isLoginDefsSeparator, QLatin1Char('\t'));
    QVERIFY2(result.isNull(), qPrintable(errorMessage(result)));
    QCOMPARE(readFile(path), expected);
    // Nothing but the file itself is left in its directory.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{QStringLiteral("file")});
}

void WriterTest::missingFileRefused()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("useradd"));

    const QVariant result = writeParamsToConf(path, useraddParams, isUseraddSeparator, QLatin1Char('='));
    QVERIFY(!result.isNull());
    QCOMPARE(result.value<Error>().code, -1);
    QCOMPARE(errorMessage(result), QStringLiteral("Could not opening configuration file %1: No such file or directory").arg(path));
    QVERIFY(!QFile::exists(path));
    QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

void WriterTest::unwritableDirectory()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("login.defs"));
    QVERIFY(writeFile(path, loginDefs));
    QVERIFY(makeReadOnlyDir(dir.path()));

    QVariant result;
    {
        UnprivilegedFileAccess unprivileged;
        QFile probe(dir.filePath(QStringLiteral("probe")));
        QVERIFY2(!probe.open(QIODevice::WriteOnly), "the directory must not be writable for this test");
        result = writeParamsToConf(path, loginParams, isLoginDefsSeparator, QLatin1Char('\t'));
    }
    QVERIFY(openToOthers(dir.path()));

    QVERIFY(!result.isNull());
    QCOMPARE(result.value<Error>().code, -1);
    // The reason is the save file's: the existing file itself was readable.
    QCOMPARE(errorMessage(result), QStringLiteral("Could not opening configuration file %1: Permission denied").arg(path));
    QCOMPARE(readFile(path), QByteArray(loginDefs));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{QStringLiteral("login.defs")});
}

void WriterTest::modeAndOwnerKept()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("login.defs"));
    QVERIFY(writeFile(path, loginDefs));
    const QByteArray nativePath = QFile::encodeName(path);
    QCOMPARE(chmod(nativePath.constData(), 0640), 0);
    const bool root = geteuid() == 0;
    if (root) {
        QCOMPARE(chown(nativePath.constData(), nobodyId, 42), 0);
    }
    struct stat before;
    QCOMPARE(stat(nativePath.constData(), &before), 0);

    const QVariant result = writeParamsToConf(path, loginParams, isLoginDefsSeparator, QLatin1Char('\t'));
    QVERIFY2(result.isNull(), qPrintable(errorMessage(result)));

    struct stat after;
    QCOMPARE(stat(nativePath.constData(), &after), 0);
    QVERIFY2(before.st_ino != after.st_ino, "the file is replaced, not edited in place");
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    if (!root) {
        qInfo("not root: the owner cannot be changed here, only the mode was checked against a foreign owner");
    }
}

void WriterTest::writeAll_data()
{
    QTest::addColumn<Config>("config");
    QTest::addColumn<QByteArray>("expectedLoginDefs");
    QTest::addColumn<QByteArray>("expectedUseradd");
    QTest::addColumn<QByteArray>("expectedSettings");

    QTest::newRow("sentinels") << Config{false, false, 14, 0, -1, -1, -1, QDate()}
                               << QByteArray(
                                      "# shadow password suite\nMAIL_DIR\t/var/mail\nPASS_MAX_DAYS\t-1\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t-1\nUMASK\t022\n")
                               << QByteArray("# useradd defaults\nSHELL=/bin/sh\nINACTIVE=-1\nEXPIRE=\n")
                               << QByteArray("[General]\nNOTIFY_DAYS=14\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nRECEIVE_NOTIFY_FOR_LOCAL=false\n");
    QTest::newRow("values and a date")
        << Config{true, true, -3, 2, 60, 10, 30, QDate(2026, 3, 1)}
        << QByteArray("# shadow password suite\nMAIL_DIR\t/var/mail\nPASS_MAX_DAYS\t60\nPASS_MIN_DAYS\t2\nPASS_WARN_AGE\t10\nUMASK\t022\n")
        << QByteArray("# useradd defaults\nSHELL=/bin/sh\nINACTIVE=30\nEXPIRE=2026-03-01\n")
        << QByteArray("[General]\nNOTIFY_DAYS=-3\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=true\n");
}

void WriterTest::writeAll()
{
    QFETCH(Config, config);
    QFETCH(QByteArray, expectedLoginDefs);
    QFETCH(QByteArray, expectedUseradd);
    QFETCH(QByteArray, expectedSettings);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const PolicyFiles files = policyFilesIn(dir);
    QVERIFY(writePolicyFiles(files));

    const QVariant result = writeAllParamsTo(files.loginDefs, files.useradd, files.settings, config);
    QVERIFY2(result.isNull(), qPrintable(errorMessage(result)));
    QCOMPARE(readFile(files.loginDefs), expectedLoginDefs);
    QCOMPARE(readFile(files.useradd), expectedUseradd);
    QCOMPARE(readFile(files.settings), expectedSettings);
}

void WriterTest::roundTrip_data()
{
    QTest::addColumn<QByteArray>("loginDefsContent");
    QTest::addColumn<QByteArray>("useraddContent");
    QTest::addColumn<Config>("config");

    QTest::newRow("defaults on stock files") << QByteArray(loginDefs) << QByteArray(useradd) << Config();
    QTest::newRow("sentinels on empty files") << QByteArray() << QByteArray() << Config{false, false, 14, 0, -1, -1, -1, QDate()};
    QTest::newRow("extremes") << QByteArray(loginDefs) << QByteArray(useradd)
                              << Config{true,
                                        true,
                                        std::numeric_limits<qint32>::min(),
                                        std::numeric_limits<qint32>::max(),
                                        std::numeric_limits<qint32>::max(),
                                        std::numeric_limits<qint32>::max(),
                                        std::numeric_limits<qint32>::max(),
                                        QDate(9999, 12, 31)};
    QTest::newRow("first day of the format") << QByteArray(loginDefs) << QByteArray(useradd) << Config{false, true, 0, 0, 0, 0, 0, QDate(1, 1, 1)};
    QTest::newRow("repeated and unrecognised definitions")
        << QByteArray("PASS_MAX_DAYS 1\nPASS_MAX_DAYS 2\n  PASS_MIN_DAYS   9  \nPASS_WARN_AGE\n") << QByteArray("INACTIVE = 4\nEXPIRE=\nEXPIRE=2000-01-01\n")
        << Config{true, false, 7, 3, 90, 5, 12, QDate(2030, 1, 31)};
}

void WriterTest::roundTrip()
{
    QFETCH(QByteArray, loginDefsContent);
    QFETCH(QByteArray, useraddContent);
    QFETCH(Config, config);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const PolicyFiles files = policyFilesIn(dir);
    QVERIFY(writePolicyFiles(files));
    QVERIFY(writeFile(files.loginDefs, loginDefsContent));
    QVERIFY(writeFile(files.useradd, useraddContent));

    const QVariant result = writeAllParamsTo(files.loginDefs, files.useradd, files.settings, config);
    QVERIFY2(result.isNull(), qPrintable(errorMessage(result)));
    const Result<Config> stored = loadConfFrom(files.loginDefs, files.useradd, files.settings);
    QVERIFY2(stored.hasValue(), qPrintable(stored.error().message));
    QCOMPARE(stored.value(), config);
}

void WriterTest::settingsNotStorable_data()
{
    QTest::addColumn<bool>("settingsFileExists");

    QTest::newRow("settings directory not writable") << true;
    QTest::newRow("settings directory absent, parent not writable") << false;
}

void WriterTest::settingsNotStorable()
{
    QFETCH(bool, settingsFileExists);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(openToOthers(dir.path()));
    PolicyFiles files = policyFilesIn(dir);
    QVERIFY(writePolicyFiles(files));
    QString settingsDir = QFileInfo(files.settings).path();
    QString readOnlyDir = settingsDir;
    if (!settingsFileExists) {
        // The settings directory would have to be made in a directory that
        // cannot be written; the system files stay writable.
        readOnlyDir = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(readOnlyDir));
        settingsDir = readOnlyDir + QStringLiteral("/policy");
        files.settings = settingsDir + QStringLiteral("/config.ini");
    }
    QVERIFY(makeReadOnlyDir(readOnlyDir));
    if (geteuid() == 0) {
        // The system files stay writable for the unprivileged writer, so
        // that only stopping early keeps them unchanged.
        for (const QString &path : {dir.path(), files.loginDefs, files.useradd}) {
            QCOMPARE(chown(QFile::encodeName(path).constData(), nobodyId, nobodyId), 0);
        }
    }
    const QByteArray settingsBefore = readFile(files.settings);

    QVariant result;
    {
        UnprivilegedFileAccess unprivileged;
        QFile probe(readOnlyDir + QStringLiteral("/probe"));
        QVERIFY2(!probe.open(QIODevice::WriteOnly), "the directory must not be writable for this test");
        result = writeAllParamsTo(files.loginDefs, files.useradd, files.settings, Config{false, true, 3, 1, 60, 7, 30, QDate(2026, 3, 1)});
    }
    QVERIFY(openToOthers(readOnlyDir));

    QVERIFY(!result.isNull());
    QCOMPARE(result.value<Error>().code, -1);
    QCOMPARE(errorMessage(result), QStringLiteral("Error writing configuration file: %1").arg(files.settings));
    QCOMPARE(readFile(files.settings), settingsBefore);
    QCOMPARE(QFileInfo::exists(settingsDir), settingsFileExists);
    // The system files were not touched.
    QCOMPARE(readFile(files.loginDefs), QByteArray(loginDefs));
    QCOMPARE(readFile(files.useradd), QByteArray(useradd));
}

void WriterTest::settingsDirectoryCreated()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const PolicyFiles files = policyFilesIn(dir);
    QVERIFY(writePolicyFiles(files));
    QVERIFY(QDir(QFileInfo(files.settings).path()).removeRecursively());

    const Config config{true, false, 21, 0, 99999, 7, -1, QDate()};
    const QVariant result = writeAllParamsTo(files.loginDefs, files.useradd, files.settings, config);
    QVERIFY2(result.isNull(), qPrintable(errorMessage(result)));
    QCOMPARE(readFile(files.settings), QByteArray("[General]\nNOTIFY_DAYS=21\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nRECEIVE_NOTIFY_FOR_LOCAL=true\n"));
    const Result<Config> stored = loadConfFrom(files.loginDefs, files.useradd, files.settings);
    QVERIFY2(stored.hasValue(), qPrintable(stored.error().message));
    QCOMPARE(stored.value(), config);
}

void WriterTest::malformedSettingsKept()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const PolicyFiles files = policyFilesIn(dir);
    QVERIFY(writePolicyFiles(files));
    const QByteArray malformed("[General\nNOTIFY_DAYS=3\nOTHER=kept\n");
    QVERIFY(writeFile(files.settings, malformed));
    QVERIFY(!loadConfFrom(files.loginDefs, files.useradd, files.settings).hasValue());

    // Lines that cannot be understood cannot be kept for sure: the save
    // stops before anything is written.
    const QVariant result = writeAllParamsTo(files.loginDefs, files.useradd, files.settings, Config{true, true, 5, 0, 99999, 7, -1, QDate()});
    QVERIFY(!result.isNull());
    QCOMPARE(errorMessage(result), QStringLiteral("Error writing configuration file: %1").arg(files.settings));
    QCOMPARE(readFile(files.settings), malformed);
    QCOMPARE(readFile(files.loginDefs), QByteArray(loginDefs));
    QCOMPARE(readFile(files.useradd), QByteArray(useradd));
}

void WriterTest::useraddAbsent()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const PolicyFiles files = policyFilesIn(dir);
    QVERIFY(writePolicyFiles(files));
    QVERIFY(QFile::remove(files.useradd));

    const QVariant result = writeAllParamsTo(files.loginDefs, files.useradd, files.settings, Config{false, true, 9, 1, 60, 7, 30, QDate(2026, 3, 1)});
    QVERIFY(!result.isNull());
    QCOMPARE(errorMessage(result), QStringLiteral("Could not opening configuration file %1: No such file or directory").arg(files.useradd));
    // What came before is already written and stays so.
    QCOMPARE(readFile(files.settings), QByteArray("[General]\nNOTIFY_DAYS=9\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nRECEIVE_NOTIFY_FOR_LOCAL=false\n"));
    QCOMPARE(readFile(files.loginDefs),
             QByteArray("# shadow password suite\nMAIL_DIR\t/var/mail\nPASS_MAX_DAYS\t60\nPASS_MIN_DAYS\t1\nPASS_WARN_AGE\t7\nUMASK\t022\n"));
    QVERIFY(!QFile::exists(files.useradd));
}

QTEST_GUILESS_MAIN(WriterTest)
#include "writertest.moc"
