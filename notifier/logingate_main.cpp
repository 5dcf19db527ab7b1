// SPDX-License-Identifier: GPL-2.0-or-later
// pwexpiry-login-gate: the service behind the login socket. systemd starts it
// with the listening socket on the first connection; it serves connections
// until it has been idle for a minute. For each connection it takes the peer's
// user from the kernel, decides with the login manager's sessions and the
// sessions already reminded (logingate.h), starts the check run of the
// caller's session as its own unit, and writes one answer line. It never
// reads what a caller sends.
#include "logingate.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <systemd/sd-daemon.h>
#include <systemd/sd-login.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const QString systemctl = QStringLiteral("/usr/bin/systemctl");
constexpr int systemctlTimeoutMs = 10000;

// A string sd-login allocated, freed at the end of its scope.
struct SdString {
    char *value = nullptr;
    ~SdString()
    {
        std::free(value);
    }
    QString text() const
    {
        return value ? QString::fromUtf8(value) : QString();
    }
};

// The login manager's sessions; one that ends while it is read is left out.
QList<LoginGate::Session> readSessions()
{
    QList<LoginGate::Session> sessions;
    char **ids = nullptr;
    const int count = sd_get_sessions(&ids);
    for (int i = 0; i < count; ++i) {
        LoginGate::Session session;
        session.id = QString::fromUtf8(ids[i]);
        uid_t uid = 0;
        SdString type;
        SdString sessionClass;
        SdString state;
        const bool read = sd_session_get_uid(ids[i], &uid) >= 0 && sd_session_get_type(ids[i], &type.value) >= 0
            && sd_session_get_class(ids[i], &sessionClass.value) >= 0 && sd_session_get_state(ids[i], &state.value) >= 0;
        if (read) {
            session.uid = uid;
            session.type = type.text();
            session.sessionClass = sessionClass.text();
            session.state = state.text();
            session.active = sd_session_is_active(ids[i]) > 0;
            sessions.append(session);
        }
        std::free(ids[i]);
    }
    std::free(ids);
    if (count < 0) {
        qInfo() << "[gate] cannot list the login sessions:" << std::strerror(-count);
    }
    return sessions;
}

std::optional<QString> sessionOfProcess(pid_t pid)
{
    SdString session;
    if (pid <= 0 || sd_pid_get_session(pid, &session.value) < 0) {
        return std::nullopt;
    }
    return session.text();
}

QString remindedPath(const QString &sessionId)
{
    return QLatin1String(LoginGate::remindedDirectory) + QLatin1Char('/') + sessionId;
}

QSet<QString> readReminded()
{
    QSet<QString> reminded;
    const QStringList names = QDir(QLatin1String(LoginGate::remindedDirectory)).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (LoginGate::isValidSessionId(name)) {
            reminded.insert(name);
        }
    }
    return reminded;
}

// Marks a session as reminded; false when it was marked already or the mark
// cannot be made.
bool markReminded(const QString &sessionId)
{
    ::mkdir(LoginGate::remindedDirectory, 0700);
    const int fd = ::open(QFile::encodeName(remindedPath(sessionId)).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        qInfo() << "[gate] cannot remember session" << sessionId << ":" << std::strerror(errno);
        return false;
    }
    ::close(fd);
    return true;
}

void forget(const QString &sessionId)
{
    ::unlink(QFile::encodeName(remindedPath(sessionId)).constData());
}

// Starts the check run of the session as a unit of its own, without waiting
// for it: its sandbox, time-out and log are the unit's.
bool startCheckRun(const QString &sessionId)
{
    QProcess process;
    process.setProgram(systemctl);
    process.setArguments({QStringLiteral("start"), QStringLiteral("--no-block"), QStringLiteral("pwexpiry-notifier-login@%1.service").arg(sessionId)});
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(systemctlTimeoutMs)) {
        qCritical() << "[gate] cannot start" << systemctl;
        return false;
    }
    if (!process.waitForFinished(systemctlTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        qCritical() << "[gate]" << systemctl << "did not finish";
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qCritical() << "[gate]" << systemctl << "start failed with status" << process.exitCode();
        return false;
    }
    return true;
}

class Gate : public QObject
{
public:
    explicit Gate(int listenFd)
        : m_listenFd(listenFd)
        , m_notifier(listenFd, QSocketNotifier::Read)
        , m_userLimit(LoginGate::userBurst, LoginGate::userRefillMs)
        , m_runLimit(LoginGate::runBurst, LoginGate::runRefillMs)
        , m_refusalLog(LoginGate::refusalLogIntervalMs)
    {
        m_clock.start();
        m_idle.setSingleShot(true);
        m_idle.setInterval(LoginGate::idleExitMs);
        QObject::connect(&m_idle, &QTimer::timeout, QCoreApplication::instance(), &QCoreApplication::quit);
        QObject::connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
            acceptConnections();
        });
        m_idle.start();
    }

private:
    void acceptConnections()
    {
        for (int i = 0; i < LoginGate::acceptBatch; ++i) {
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0) {
                break;
            }
            serve(fd);
            ::close(fd);
        }
        m_idle.start();
    }

    void serve(int fd)
    {
        ucred peer{};
        socklen_t length = sizeof(peer);
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || length != sizeof(peer)) {
            return;
        }
        const qint64 now = m_clock.elapsed();
        if (!m_userLimit.allow(peer.uid, now)) {
            refuse(fd, peer.uid, LoginGate::Answer::Limited, QString());
            return;
        }

        const QList<LoginGate::Session> sessions = readSessions();
        QSet<QString> reminded = readReminded();
        const QSet<QString> ended = LoginGate::endedSessions(reminded, sessions);
        for (const QString &sessionId : ended) {
            forget(sessionId);
            reminded.remove(sessionId);
        }

        const LoginGate::Decision decision = LoginGate::decide(peer.uid, sessionOfProcess(peer.pid), sessions, reminded);
        if (decision.answer != LoginGate::Answer::Taken) {
            refuse(fd, peer.uid, decision.answer, decision.sessionId);
            return;
        }
        if (!m_runLimit.allow(0, now)) {
            refuse(fd, peer.uid, LoginGate::Answer::Busy, decision.sessionId);
            return;
        }
        if (!markReminded(decision.sessionId)) {
            answer(fd, LoginGate::Answer::Busy);
            return;
        }
        if (!startCheckRun(decision.sessionId)) {
            forget(decision.sessionId);
            answer(fd, LoginGate::Answer::Busy);
            return;
        }
        qInfo() << "[gate] check run for session" << decision.sessionId << "of uid" << peer.uid << "started";
        answer(fd, LoginGate::Answer::Taken);
    }

    void refuse(int fd, quint32 uid, LoginGate::Answer reply, const QString &sessionId)
    {
        answer(fd, reply);
        int suppressed = 0;
        if (!m_refusalLog.shouldLog(m_clock.elapsed(), &suppressed)) {
            return;
        }
        QDebug line = qInfo();
        line << "[gate] uid" << uid << "answered" << LoginGate::answerWord(reply).constData();
        if (!sessionId.isEmpty()) {
            line << "for session" << sessionId;
        }
        if (suppressed > 0) {
            line << "(and" << suppressed << "more requests refused since the last line)";
        }
    }

    static void answer(int fd, LoginGate::Answer reply)
    {
        const QByteArray line = LoginGate::answerWord(reply) + '\n';
        // A fresh connection's buffer takes the few bytes at once; a caller
        // that has gone gets nothing.
        (void)::send(fd, line.constData(), size_t(line.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
    }

    int m_listenFd;
    QSocketNotifier m_notifier;
    QTimer m_idle;
    QElapsedTimer m_clock;
    LoginGate::RateLimit m_userLimit;
    LoginGate::RateLimit m_runLimit;
    LoginGate::LogThrottle m_refusalLog;
};
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = sd_listen_fds(1);
    if (count != 1 || sd_is_socket_unix(SD_LISTEN_FDS_START, SOCK_STREAM, 1, nullptr, 0) <= 0) {
        qCritical() << "[gate] expects one listening stream socket from systemd, got" << count;
        return 1;
    }
    const int fd = SD_LISTEN_FDS_START;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    Gate gate(fd);
    return app.exec();
}
