// SPDX-License-Identifier: GPL-2.0-or-later
// pwexpiry-login-reminder: run by the autostart entry of a graphical
// session. Its log goes to the session's journal.
#include "logingate.h"
#include "loginreminder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
const QString serviceName = QLatin1String(LoginReminder::notificationService);

// Waits until a notification can be shown: the service has an owner, or,
// after a while without one, the bus can start it.
bool waitForNotificationService(const QDBusConnection &connection)
{
    QDBusConnectionInterface *bus = connection.interface();
    QDBusServiceWatcher watcher(serviceName, connection, QDBusServiceWatcher::WatchForRegistration);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QElapsedTimer waited;
    waited.start();
    // Asked after the watcher is in place, so that an owner coming now is not missed.
    for (;;) {
        const bool owned = bus->isServiceRegistered(serviceName);
        bool activatable = false;
        if (!owned && waited.elapsed() >= LoginReminder::ownerWaitMs) {
            const QDBusReply<QStringList> names = bus->activatableServiceNames();
            activatable = names.isValid() && isActivatable(names.value());
        }
        switch (notificationServiceWait(owned, activatable, waited.elapsed())) {
        case ServiceWait::Ready:
            if (!owned) {
                qInfo() << "[login] nobody took" << serviceName << "in" << LoginReminder::ownerWaitMs << "ms; going on with the bus's activation";
            }
            return true;
        case ServiceWait::GiveUp:
            return false;
        case ServiceWait::Wait:
            break;
        }
        const qint64 next = waited.elapsed() < LoginReminder::ownerWaitMs ? LoginReminder::ownerWaitMs : LoginReminder::serviceWaitMs;
        QTimer::singleShot(int(qMax<qint64>(0, next - waited.elapsed())), &loop, &QEventLoop::quit);
        loop.exec();
    }
}

// One request to the login gate: its answer, or nothing with `error` set.
std::optional<LoginGate::Answer> askGate(QString *error)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, LoginReminder::socketPath, sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return std::nullopt;
    }
    timeval timeout{LoginReminder::answerTimeoutMs / 1000, (LoginReminder::answerTimeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    // One short line, then the gate closes the connection.
    QByteArray received;
    char buffer[64];
    while (received.size() < 64 && !received.contains('\n')) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0) {
            break;
        }
        received.append(buffer, int(n));
    }
    ::close(fd);
    const int end = received.indexOf('\n');
    const std::optional<LoginGate::Answer> answer = end < 0 ? std::nullopt : LoginGate::parseAnswer(received.left(end));
    if (!answer) {
        *error = received.isEmpty() ? QStringLiteral("no answer") : QStringLiteral("an answer that is not one");
    }
    return answer;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    const QString type = qEnvironmentVariable("XDG_SESSION_TYPE");
    const QString sessionClass = qEnvironmentVariable("XDG_SESSION_CLASS");
    if (skipsSession(type, sessionClass)) {
        qInfo() << "[login] not a graphical user session, nothing to do:" << type << sessionClass;
        return 0;
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qWarning() << "[login] no session bus:" << bus.lastError().message();
        return 1;
    }
    QElapsedTimer waited;
    waited.start();
    if (!waitForNotificationService(bus)) {
        qWarning() << "[login] no notification service within" << LoginReminder::serviceWaitMs << "ms";
        return 1;
    }
    for (int attempt = 1;; ++attempt) {
        QString error;
        const std::optional<LoginGate::Answer> answer = askGate(&error);
        if (answer && *answer == LoginGate::Answer::Taken) {
            qInfo() << "[login] check run requested; waited(ms)" << waited.elapsed();
            return 0;
        }
        if (answer && *answer == LoginGate::Answer::Reminded) {
            qInfo() << "[login] this session had its check run already";
            return 0;
        }
        const QString what = answer ? QString::fromLatin1(LoginGate::answerWord(*answer)) : error;
        if (attempt >= LoginReminder::requestAttempts) {
            qWarning() << "[login] the check run was not taken at" << LoginReminder::socketPath << "after" << attempt << "requests:" << what;
            return 1;
        }
        const int pause = retryDelayMs(attempt);
        qInfo() << "[login] request" << attempt << "not taken:" << what << "; again in" << pause << "ms";
        QThread::msleep(pause);
    }
}
