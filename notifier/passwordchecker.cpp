// SPDX-License-Identifier: GPL-2.0-or-later
#include "passwordchecker.h"

#include "busaddress.h"
#include "expirydecision.h"
#include "notification.h"
#include "policy.h"
#include "sessionprobe.h"

#include <QDate>
#include <QDebug>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace
{
constexpr int probeAttempts = 10;
constexpr unsigned long probePauseMs = 500;
} // namespace

PasswordChecker::PasswordChecker(QObject *parent)
    : QObject(parent)
{
}

PasswordChecker::~PasswordChecker() = default;

void PasswordChecker::run()
{
    check(std::nullopt);
}

void PasswordChecker::runForSession(const QString &sessionId)
{
    check(sessionId);
}

void PasswordChecker::check(const std::optional<QString> &sessionId)
{
    const PasswordExpirationPolicy::Result<PasswordExpirationPolicy::Config> config = PasswordExpirationPolicy::loadConf();
    if (!config.hasValue()) {
        qCritical() << metaObject()->className() << "- failed to read config";
        // Which file and why, for the administrator reading the journal.
        qInfo() << metaObject()->className() << "- reason:" << config.error().message;
        return;
    }
    const PasswordExpirationPolicy::Config conf = config.value();
    const bool notifyLocal = conf.receiveNotifyForLocal;
    const bool notifyDomain = conf.receiveNotifyForDomain;
    const qint32 notifyDays = conf.notifyDays;

    if (!notifyLocal && !notifyDomain) {
        qInfo() << metaObject()->className() << "- notifications are disabled, skip";
        return;
    }

    const std::optional<ActiveSession> user =
        sessionId ? probeSessionWithRetry(*sessionId, probeAttempts, probePauseMs) : probeActiveSessionWithRetry(probeAttempts, probePauseMs);
    if (!user) {
        qInfo() << metaObject()->className() << "- no active GUI user, skip";
        return;
    }

    switch (user->accountKind) {
    case AccountKind::Local:
        if (notifyLocal && !processLocalUser(notifyDays, *user)) {
            qCritical() << metaObject()->className() << "- failed to process local user";
        }
        return;
    case AccountKind::Domain:
        if (notifyDomain && !processDomainUser(notifyDays, *user)) {
            qCritical() << metaObject()->className() << "- failed to process domain user";
        }
        return;
    case AccountKind::Unknown:
        break;
    }
    qCritical() << metaObject()->className() << "- failed to classify user";
}

bool PasswordChecker::processLocalUser(qint32 notifyDays, const ActiveSession &user)
{
    if (user.accountKind != AccountKind::Local) {
        qInfo() << metaObject()->className() << "- not a local account, skip";
        return true;
    }

    const std::optional<spwd> entry = getSpwd(user.userName);
    if (!entry) {
        qInfo() << metaObject()->className() << "- failed to get spwd";
        return false;
    }

    const ExpiryDecision decision = decideExpiryReminder(entry->sp_lstchg, entry->sp_max, QDate::currentDate(), notifyDays);
    qInfo() << QStringLiteral("The password expires in %1 days").arg(decision.daysLeft);

    if (!decision.remindDays) {
        return true;
    }
    return sendNotification(user, *decision.remindDays);
}

std::optional<spwd> PasswordChecker::getSpwd(const QString &userName)
{
    const spwd *entry = getspnam(userName.toUtf8().constData());
    if (!entry) {
        qInfo() << QStringLiteral("Failed to read shadow for user %1").arg(userName);
        return std::nullopt;
    }
    return *entry;
}

bool PasswordChecker::processDomainUser(qint32 notifyDays, const ActiveSession &user)
{
    if (user.accountKind != AccountKind::Domain) {
        qInfo() << metaObject()->className() << "- not a domain account, skip";
        return true;
    }

    QProcess script;
    script.setProgram(QStringLiteral("bash"));
    script.setArguments({QStringLiteral("/usr/sbin/ad-password-expiry-notify.sh"), QString::number(notifyDays)});
    script.start(QIODevice::ReadWrite);
    if (!script.waitForFinished(-1) || script.exitCode() != 0) {
        qInfo() << "Failed to run ad-password-expiry-notify.sh";
        return false;
    }
    return true;
}

bool PasswordChecker::sendNotification(const ActiveSession &user, qint32 daysLeft)
{
    const QString address = notificationBusAddress(user);
    if (address.isEmpty()) {
        qInfo() << "[notify] no DBUS address for" << user.userName << "(uid" << QString::number(user.uid) << ")";
        return false;
    }

    const QString socketPath = busPathFromAddress(address);
    if (!socketPath.isEmpty() && !QFileInfo::exists(socketPath)) {
        // Only a warning: the address is still passed on as it is.
        qInfo() << "[notify] bus path missing:" << socketPath;
    }

    const QString body = notificationBody(daysLeft);
    const QString runtimeDir = userRuntimeDirectory(user.uid);
    const bool hasRuntimeDir = QFileInfo(runtimeDir).isDir();

    if (!QFileInfo::exists(QLatin1String(NotificationTool::notifySend))) {
        qInfo() << "[notify] notify-send not found";
        return false;
    }
    const QString program = QLatin1String(NotificationTool::runuser);
    if (!QFileInfo::exists(program)) {
        qInfo() << "[notify] neither sudo nor runuser found";
        return false;
    }

    const QStringList arguments = notificationArguments(user.userName, address, hasRuntimeDir ? runtimeDir : QString(), notificationTitle(), body);
    qInfo() << "[notify] run:" << program << PasswordExpirationPolicy::QtCompat::LoggedList{arguments};

    for (int attempt = 1; attempt <= NotificationTool::maxAttempts; ++attempt) {
        qInfo() << "[notify] attempt" << attempt << "/" << NotificationTool::maxAttempts << "run:" << program
                << PasswordExpirationPolicy::QtCompat::LoggedList{arguments};

        QElapsedTimer timer;
        timer.start();
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(QIODevice::ReadWrite);
        if (!process.waitForStarted(NotificationTool::startTimeoutMs)) {
            qInfo() << "[notify] start failed";
            return false;
        }
        if (!process.waitForFinished(-1)) {
            qInfo() << "[notify] wait failed";
            return false;
        }

        const bool normalExit = process.exitStatus() == QProcess::NormalExit;
        qInfo() << "[notify] rc:" << process.exitCode() << "status:" << (normalExit ? "ok" : "crash") << "elapsed(ms):" << timer.elapsed();

        const QByteArray standardError = process.readAllStandardError();
        if (!standardError.isEmpty()) {
            qInfo() << "[notify] stderr:" << standardError;
        }
        const QByteArray standardOutput = process.readAllStandardOutput();
        if (!standardOutput.isEmpty()) {
            qInfo() << "[notify] stdout:" << standardOutput;
        }

        if (normalExit && process.exitCode() == 0) {
            return true;
        }
        if (attempt < NotificationTool::maxAttempts) {
            QThread::msleep(NotificationTool::retryPauseMs);
        }
    }

    qInfo() << "[notify] all attempts failed";
    return false;
}
