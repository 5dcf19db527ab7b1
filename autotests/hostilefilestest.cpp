// SPDX-License-Identifier: GPL-2.0-or-later
// Policy files that are not what they should be: symbolic links, a directory,
// a FIFO, a device, a file far too large, a file of another user. Each gives
// a clear error, nothing blocks, and nothing is lost.
#include "policy_p.h"
#include "testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace PasswordExpirationPolicy;

namespace
{
const char loginDefs[] = "MAIL_DIR\t/var/mail\nPASS_MAX_DAYS\t99999\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n";
const char useradd[] = "SHELL=/bin/sh\nINACTIVE=-1\nEXPIRE=\n";
const char settingsContent[] = "[General]\nRECEIVE_NOTIFY_FOR_LOCAL=true\nRECEIVE_NOTIFY_FOR_DOMAIN=false\nNOTIFY_DAYS=14\n";
const Config changed{false, true, 3, 1, 60, 10, 30, QDate(2030, 1, 31)};

enum class Kind {
    SymlinkToFile,
    SymlinkToDevice,
    Directory,
    Fifo,
    Oversized,
    DanglingSymlink,
};

// Puts a hostile file at `path`; `target` is where a link points (a regular
// file with content of its own).
bool plant(Kind kind, const QString &path, const QString &target)
{
    const QByteArray native = QFile::encodeName(path);
    switch (kind) {
    case Kind::SymlinkToFile:
        // Something that each of the three files could hold.
        return writeFile(target, target.endsWith(QLatin1String(".ini")) ? "[General]\nNOTIFY_DAYS=5\n" : "PASS_MAX_DAYS\t5\nINACTIVE=5\n")
            && symlink(QFile::encodeName(target).constData(), native.constData()) == 0;
    case Kind::SymlinkToDevice:
        return symlink("/dev/zero", native.constData()) == 0;
    case Kind::DanglingSymlink:
        return symlink(QFile::encodeName(target).constData(), native.constData()) == 0;
    case Kind::Directory:
        return QDir().mkpath(path);
    case Kind::Fifo:
        return mkfifo(native.constData(), 0644) == 0;
    case Kind::Oversized: {
        // 100 MB, sparse: nothing of it may be read.
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.resize(100 * 1000 * 1000);
    }
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

namespace
{
struct PolicyFiles {
    QString loginDefs;
    QString useradd;
    QString settings;
};

PolicyFiles writeStockFiles(const QTemporaryDir &dir)
{
    PolicyFiles files{dir.filePath(QStringLiteral("login.defs")), dir.filePath(QStringLiteral("useradd")), dir.filePath(QStringLiteral("policy/config.ini"))};
    QDir().mkpath(dir.filePath(QStringLiteral("policy")));
    writeFile(files.loginDefs, loginDefs);
    writeFile(files.useradd, useradd);
    writeFile(files.settings, settingsContent);
    return files;
}

QString &pathOf(PolicyFiles &files, int which)
{
    return which == 0 ? files.loginDefs : which == 1 ? files.useradd : files.settings;
}

QString fileKind(const QString &path)
{
    struct stat status;
    if (lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return QStringLiteral("absent");
    }
    if (S_ISLNK(status.st_mode)) {
        return QStringLiteral("link");
    }
    if (S_ISDIR(status.st_mode)) {
        return QStringLiteral("directory");
    }
    if (S_ISFIFO(status.st_mode)) {
        return QStringLiteral("fifo");
    }
    return QStringLiteral("file of %1 bytes").arg(status.st_size);
}

QStringList entriesOf(const QString &path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}
} // namespace

class HostileFilesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reading_data();
    void reading();
    void writing_data();
    void writing();
    void settingsDirectoryIsALink();
    void foreignOwnerNotTakenOver();
    void leftoversOfKilledSavesRemoved();
};

void HostileFilesTest::reading_data()
{
    QTest::addColumn<int>("which"); // 0 login.defs, 1 useradd, 2 settings
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("reason"); // empty: read through the link

    QTest::newRow("login.defs: link to a regular file is read") << 0 << Kind::SymlinkToFile << QString();
    QTest::newRow("login.defs: link to a device") << 0 << Kind::SymlinkToDevice << QStringLiteral("Not a regular file");
    QTest::newRow("login.defs: directory") << 0 << Kind::Directory << QStringLiteral("Is a directory");
    QTest::newRow("login.defs: FIFO") << 0 << Kind::Fifo << QStringLiteral("Not a regular file");
    QTest::newRow("login.defs: 100 MB") << 0 << Kind::Oversized << QStringLiteral("Larger than 1048576 bytes");
    QTest::newRow("useradd: FIFO") << 1 << Kind::Fifo << QStringLiteral("Not a regular file");
    QTest::newRow("useradd: dangling link") << 1 << Kind::DanglingSymlink << QStringLiteral("No such file or directory");
    QTest::newRow("settings: link to a regular file is read") << 2 << Kind::SymlinkToFile << QString();
    QTest::newRow("settings: FIFO") << 2 << Kind::Fifo << QStringLiteral("Not a regular file");
    QTest::newRow("settings: directory") << 2 << Kind::Directory << QStringLiteral("Is a directory");
    QTest::newRow("settings: 100 MB") << 2 << Kind::Oversized << QStringLiteral("Larger than 1048576 bytes");
}

void HostileFilesTest::reading()
{
    QFETCH(int, which);
    QFETCH(Kind, kind);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    PolicyFiles files = writeStockFiles(dir);
    const QString path = pathOf(files, which);
    QVERIFY(QFile::remove(path));
    QVERIFY(plant(kind, path, dir.filePath(which == 2 ? QStringLiteral("target.ini") : QStringLiteral("target"))));

    QElapsedTimer timer;
    timer.start();
    const Result<Config> result = loadConfFrom(files.loginDefs, files.useradd, files.settings);
    // Refused at once: nothing is read from a FIFO or a huge file.
    QVERIFY2(timer.elapsed() < 5000, "the read must not wait for anything");
    if (reason.isEmpty()) {
        QVERIFY2(result.hasValue(), qPrintable(result.error().message));
        QCOMPARE(which == 0 ? result.value().passMaxDays : result.value().notifyDays, 5);
    } else {
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().code, -1);
        QCOMPARE(result.error().message, QStringLiteral("Could not opening configuration file %1: %2").arg(path, reason));
    }
}

void HostileFilesTest::writing_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("reason");

    // Refused before anything is written: the settings file is written first.
    QTest::newRow("settings: link to a regular file") << 2 << Kind::SymlinkToFile << QStringLiteral("Is a symbolic link");
    QTest::newRow("settings: dangling link") << 2 << Kind::DanglingSymlink << QStringLiteral("Is a symbolic link");
    QTest::newRow("settings: FIFO") << 2 << Kind::Fifo << QStringLiteral("Not a regular file");
    QTest::newRow("settings: directory") << 2 << Kind::Directory << QStringLiteral("Is a directory");
    QTest::newRow("settings: 100 MB") << 2 << Kind::Oversized << QStringLiteral("Larger than 1048576 bytes");
    // Refused at the system file, after the settings file.
    QTest::newRow("login.defs: link to a regular file") << 0 << Kind::SymlinkToFile << QStringLiteral("Is a symbolic link");
    QTest::newRow("login.defs: link to a device") << 0 << Kind::SymlinkToDevice << QStringLiteral("Is a symbolic link");
    QTest::newRow("login.defs: FIFO") << 0 << Kind::Fifo << QStringLiteral("Not a regular file");
    QTest::newRow("login.defs: directory") << 0 << Kind::Directory << QStringLiteral("Is a directory");
    QTest::newRow("useradd: 100 MB") << 1 << Kind::Oversized << QStringLiteral("Larger than 1048576 bytes");
}

void HostileFilesTest::writing()
{
    QFETCH(int, which);
    QFETCH(Kind, kind);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    PolicyFiles files = writeStockFiles(dir);
    const QString path = pathOf(files, which);
    const QString target = dir.filePath(QStringLiteral("target"));
    QVERIFY(QFile::remove(path));
    QVERIFY(plant(kind, path, target));
    const QByteArray targetBefore = readFile(target);
    const QString kindBefore = fileKind(path);
    const QStringList entriesBefore = entriesOf(QFileInfo(path).path());

    QElapsedTimer timer;
    timer.start();
    const QVariant result = writeAllParamsTo(files.loginDefs, files.useradd, files.settings, changed);
    QVERIFY2(timer.elapsed() < 5000, "the save must not wait for anything");

    QVERIFY(!result.isNull());
    QCOMPARE(result.value<Error>().message, QStringLiteral("Could not opening configuration file %1: %2").arg(path, reason));
    // The hostile file, and whatever a link points to, are as they were, and
    // no file is left beside them.
    QCOMPARE(fileKind(path), kindBefore);
    QCOMPARE(readFile(target), targetBefore);
    QCOMPARE(entriesOf(QFileInfo(path).path()), entriesBefore);
    if (which != 2) {
        // The writer's order: the settings file came first and is replaced
        // (putting it back is the helper's part); the system files after the
        // refused one are untouched.
        QCOMPARE(readFile(files.settings), QByteArray("[General]\nRECEIVE_NOTIFY_FOR_LOCAL=false\nRECEIVE_NOTIFY_FOR_DOMAIN=true\nNOTIFY_DAYS=3\n"));
        if (which == 0) {
            QCOMPARE(readFile(files.useradd), QByteArray(useradd));
        } else {
            QCOMPARE(readFile(files.loginDefs), QByteArray("MAIL_DIR\t/var/mail\nPASS_MAX_DAYS\t60\nPASS_MIN_DAYS\t1\nPASS_WARN_AGE\t10\n"));
        }
    } else {
        QCOMPARE(readFile(files.loginDefs), QByteArray(loginDefs));
        QCOMPARE(readFile(files.useradd), QByteArray(useradd));
    }
}

void HostileFilesTest::settingsDirectoryIsALink()
{
    // A link planted in place of the settings directory must not lead the
    // writer into the directory it points to.
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    PolicyFiles files = writeStockFiles(dir);
    QVERIFY(QDir(dir.filePath(QStringLiteral("policy"))).removeRecursively());
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(writeFile(elsewhere + QStringLiteral("/config.ini"), "victim\n"));
    QCOMPARE(symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(dir.filePath(QStringLiteral("policy"))).constData()), 0);

    const QVariant result = writeAllParamsTo(files.loginDefs, files.useradd, files.settings, changed);
    QVERIFY(!result.isNull());
    QCOMPARE(result.value<Error>().message,
             QStringLiteral("Could not opening configuration file %1: Its directory %2 is not a directory but a symbolic link or other file")
                 .arg(files.settings, dir.filePath(QStringLiteral("policy"))));
    QCOMPARE(readFile(elsewhere + QStringLiteral("/config.ini")), QByteArray("victim\n"));
    QCOMPARE(entriesOf(elsewhere), QStringList{QStringLiteral("config.ini")});
    QCOMPARE(readFile(files.loginDefs), QByteArray(loginDefs));
}

void HostileFilesTest::foreignOwnerNotTakenOver()
{
    // A writer that cannot give the new file the owner of the old one (not
    // root, another user's file in a directory it may write) gives up
    // instead of leaving the file with another owner.
    if (geteuid() != 0) {
        QSKIP("needs root to make a file of another user");
    }
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("login.defs"));
    QVERIFY(writeFile(path, loginDefs));
    QCOMPARE(chown(QFile::encodeName(path).constData(), 4242, 4242), 0);
    QCOMPARE(chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);

    setfsgid(65534);
    setfsuid(65534);
    const QVariant result = writeParamsToConf(path, {{QStringLiteral("PASS_MAX_DAYS"), QStringLiteral("60")}}, isLoginDefsSeparator, QLatin1Char('\t'));
    setfsuid(0);
    setfsgid(0);

    QVERIFY(!result.isNull());
    QCOMPARE(result.value<Error>().message, QStringLiteral("Error writing configuration file %1: Operation not permitted").arg(path));
    QCOMPARE(readFile(path), QByteArray(loginDefs));
    QCOMPARE(QFileInfo(path).ownerId(), 4242u);
    QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("login.defs")});
}

void HostileFilesTest::leftoversOfKilledSavesRemoved()
{
    // A save killed between making its new file and renaming it leaves the
    // new file behind; the next save removes it once it is older than any
    // save in progress could be, and nothing else.
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("login.defs"));
    QVERIFY(writeFile(path, loginDefs));
    const QString old = dir.filePath(QStringLiteral(".login.defs.pwexpiry-old"));
    const QString recent = dir.filePath(QStringLiteral(".login.defs.pwexpiry-recent"));
    const QString foreign = dir.filePath(QStringLiteral(".login.defs.other-old"));
    for (const QString &file : {old, recent, foreign}) {
        QVERIFY(writeFile(file, "partial"));
    }
    const QDateTime longAgo = QDateTime::currentDateTime().addSecs(-3600);
    for (const QString &file : {old, foreign}) {
        QFile handle(file);
        QVERIFY(handle.open(QIODevice::ReadWrite) && handle.setFileTime(longAgo, QFileDevice::FileModificationTime));
    }

    const QVariant result = writeParamsToConf(path, {{QStringLiteral("PASS_MAX_DAYS"), QStringLiteral("60")}}, isLoginDefsSeparator, QLatin1Char('\t'));
    QVERIFY2(result.isNull(), qPrintable(result.value<Error>().message));
    QCOMPARE(entriesOf(dir.path()),
             (QStringList{QStringLiteral(".login.defs.other-old"), QStringLiteral(".login.defs.pwexpiry-recent"), QStringLiteral("login.defs")}));
}

QTEST_GUILESS_MAIN(HostileFilesTest)
#include "hostilefilestest.moc"
