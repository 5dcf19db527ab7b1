// SPDX-License-Identifier: GPL-2.0-or-later
// A writer process killed with SIGKILL at random moments during saves leaves
// every policy file either as it was or wholly replaced, never partial.
#include "testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace
{
const int trials = 300;

} // namespace

class CrashSafetyTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedWriterLeavesWholeFiles();

private:
    bool runWriter(const QString &mode);
    qint64 saveDurationUs();
    QStringList m_files;
};

bool CrashSafetyTest::runWriter(const QString &mode)
{
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(QStringLiteral(POLICY_WRITER_LOOP), QStringList{mode} + m_files);
    return writer.waitForFinished(30000) && writer.exitStatus() == QProcess::NormalExit && writer.exitCode() == 0;
}

// How long one save takes in the looping writer, from ten saves in a row.
qint64 CrashSafetyTest::saveDurationUs()
{
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(QStringLiteral(POLICY_WRITER_LOOP), QStringList{QStringLiteral("loop")} + m_files);
    const int saves = 10;
    int seen = -1; // the "looping" line
    QElapsedTimer timer;
    while (seen < saves && writer.waitForReadyRead(30000)) {
        while (writer.canReadLine()) {
            writer.readLine();
            if (++seen == 0) {
                timer.start();
            }
        }
    }
    const qint64 elapsed = timer.isValid() ? timer.nsecsElapsed() / 1000 : -1;
    writer.kill();
    writer.waitForFinished(30000);
    return seen >= saves ? elapsed / seen : -1;
}

void CrashSafetyTest::killedWriterLeavesWholeFiles()
{
    // On a memory file system where there is one: a save then costs no
    // waiting for the disk, and the kills land on the writer's own work.
    const QString memoryFs = QStringLiteral("/dev/shm");
    QTemporaryDir dir(QFileInfo(memoryFs).isWritable() ? memoryFs + QStringLiteral("/crashsafetytest-XXXXXX") : QString());
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("policy")));
    m_files =
        QStringList{dir.filePath(QStringLiteral("login.defs")), dir.filePath(QStringLiteral("useradd")), dir.filePath(QStringLiteral("policy/config.ini"))};
    QVERIFY(writeFile(m_files.at(0), "# login defaults\nMAIL_DIR /var/mail\nPASS_MAX_DAYS 99999\nPASS_MIN_DAYS 0\nPASS_WARN_AGE 7\nUMASK 022\n"));
    QVERIFY(writeFile(m_files.at(1), "# useradd defaults\nSHELL=/bin/sh\nINACTIVE=-1\nEXPIRE=\n"));

    // The two contents each file may have: after record a, after record b.
    QVERIFY(runWriter(QStringLiteral("a")));
    QByteArrayList contentA;
    for (const QString &file : std::as_const(m_files)) {
        contentA.append(readFile(file));
    }
    QVERIFY(runWriter(QStringLiteral("b")));
    QByteArrayList contentB;
    for (const QString &file : std::as_const(m_files)) {
        contentB.append(readFile(file));
    }
    for (int i = 0; i < m_files.size(); ++i) {
        QVERIFY2(contentA.at(i) != contentB.at(i), qPrintable(m_files.at(i)));
    }

    // Kills fall anywhere in the first four saves after the writer starts
    // looping (b, a, b, a), so that they land in every part of a save and
    // between saves of both records.
    const qint64 saveUs = saveDurationUs();
    QVERIFY2(saveUs >= 0, "the writer did not save");
    const quint32 maxDelayUs = quint32(qMax<qint64>(4 * saveUs, 1000));

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    int seenB[3] = {0, 0, 0};
    int mixed = 0;
    for (int trial = 0; trial < trials; ++trial) {
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(QStringLiteral(POLICY_WRITER_LOOP), QStringList{QStringLiteral("loop")} + m_files);
        QVERIFY2(writer.waitForReadyRead(30000), "the writer did not start");
        QThread::usleep(random.bounded(maxDelayUs));
        writer.kill();
        QVERIFY(writer.waitForFinished(30000));
        // A writer that ended by itself met an error (printed above).
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        int inB = 0;
        for (int i = 0; i < m_files.size(); ++i) {
            const QByteArray content = readFile(m_files.at(i));
            if (content == contentB.at(i)) {
                ++seenB[i];
                ++inB;
            } else if (content != contentA.at(i)) {
                QFAIL(qPrintable(QStringLiteral("trial %1 (seed %2): %3 is neither the old nor the new content:\n%4")
                                     .arg(trial)
                                     .arg(seed)
                                     .arg(m_files.at(i), QString::fromUtf8(content))));
            }
        }
        if (inB != 0 && inB != m_files.size()) {
            ++mixed;
        }
    }

    const QStringList ownFiles{QStringLiteral("login.defs"), QStringLiteral("useradd"), QStringLiteral("config.ini")};
    int temporaryFiles = 0;
    for (const QString &path : {dir.path(), dir.filePath(QStringLiteral("policy"))}) {
        const QStringList entries = QDir(path).entryList(QDir::Files | QDir::Hidden);
        for (const QString &entry : entries) {
            temporaryFiles += ownFiles.contains(entry) ? 0 : 1;
        }
    }
    qInfo(
        "%d kills within %u us of the start of a writer (one save: %lld us; seed %u): every file whole after each; files in the new state: "
        "login.defs %d, useradd %d, settings %d; kills between two files of one save: %d; temporary files left: %d",
        trials,
        maxDelayUs,
        saveUs,
        seed,
        seenB[0],
        seenB[1],
        seenB[2],
        mixed,
        temporaryFiles);
    // Kills fell on both records of the loop for every file.
    for (int i = 0; i < m_files.size(); ++i) {
        QVERIFY2(seenB[i] > 0 && seenB[i] < trials, qPrintable(m_files.at(i)));
    }
}

QTEST_GUILESS_MAIN(CrashSafetyTest)
#include "crashsafetytest.moc"
