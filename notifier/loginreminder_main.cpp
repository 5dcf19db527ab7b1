// SPDX-License-Identifier: GPL-2.0-or-later
// pwexpiry-login-reminder: run by the autostart entry of a graphical
// session. Its log goes to the session's journal.
#include "loginreminder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
bool serviceReady(QDBusConnectionInterface *bus)
{
    const QString name = QLatin1String(LoginReminder::notificationService);
    const QDBusReply<QStringList> activatable = bus->activatableServiceNames();
    return notificationServiceReady(bus->isServiceRegistered(name), activatable.isValid() ? activatable.value() : QStringList());
}

// Waits until the notification service is there, at most `timeoutMs`.
bool waitForNotificationService(const QDBusConnection &connection, int timeoutMs)
{
    QDBusConnectionInterface *bus = connection.interface();
    QDBusServiceWatcher watcher(QLatin1String(LoginReminder::notificationService), connection, QDBusServiceWatcher::WatchForRegistration);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    // Asked after the watcher is in place, so that an owner coming now is not missed.
    if (serviceReady(bus)) {
        return true;
    }
    loop.exec();
    return bus->isServiceRegistered(QLatin1String(LoginReminder::notificationService));
}

// Connects to the system's socket, which starts one check run for the
// active session; nothing is sent. errno is set on failure.
bool requestCheckRun()
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, LoginReminder::socketPath, sizeof(address.sun_path) - 1);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return connected;
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
    if (!waitForNotificationService(bus, LoginReminder::serviceWaitMs)) {
        qWarning() << "[login] no notification service within" << LoginReminder::serviceWaitMs << "ms";
        return 1;
    }
    if (!requestCheckRun()) {
        qWarning() << "[login] cannot ask for a check run at" << LoginReminder::socketPath << ":" << std::strerror(errno);
        return 1;
    }
    qInfo() << "[login] check run requested; waited(ms)" << waited.elapsed();
    return 0;
}
