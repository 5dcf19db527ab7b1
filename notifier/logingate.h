// SPDX-License-Identifier: GPL-2.0-or-later
// The gate in front of the reminder at login. A graphical session's
// pwexpiry-login-reminder connects to the login socket; the gate takes the
// connecting user from the socket's peer credentials and starts a check run
// only for that user's own active graphical session, once per session, and
// answers with one line saying what it did. Everything here is pure: the
// daemon around it reads the login manager's sessions and the sessions
// already reminded, and passes them in.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace LoginGate
{
// What the gate answers on a connection, one line ending in "\n".
enum class Answer {
    // A check run for the caller's session was started.
    Taken,
    // The caller's session has had its check run already.
    Reminded,
    // The caller owns no active graphical session (yet).
    NotActive,
    // The gate cannot start a run now; ask again shortly.
    Busy,
    // The caller asked too often; ask again later.
    Limited,
};

// The answer's word as it goes over the socket ("taken", "reminded",
// "not-active", "busy", "limited").
QByteArray answerWord(Answer answer);
// The answer a line from the gate holds (trailing white space ignored);
// nothing for anything else.
std::optional<Answer> parseAnswer(const QByteArray &line);

// A login session as the login manager reports it.
struct Session {
    QString id;
    quint32 uid = 0;
    // "x11", "wayland", "tty", ...
    QString type;
    // "user", "greeter", "lock-screen", "background", ...
    QString sessionClass;
    bool active = false;
    // "online", "active", "closing"
    QString state;
};

// A session that may get a reminder at login: active, graphical ("x11" or
// "wayland"), of class "user", and not closing.
bool isRemindable(const Session &session);

struct Decision {
    Answer answer = Answer::NotActive;
    // The session to run the check for (Taken), or the one that had its run
    // (Reminded).
    QString sessionId;
};

// Decides a request of the user `peerUid`. `peerSession` is the session the
// connecting process belongs to, when the login manager knows it (a program
// started by the user's service manager belongs to none). Among the caller's
// remindable sessions the peer's own comes first, then one not reminded yet;
// a user who has none gets NotActive, whoever else is active.
Decision decide(quint32 peerUid, const std::optional<QString> &peerSession, const QList<Session> &sessions, const QSet<QString> &reminded);

// Whether a session id may name a file and a unit instance: 1 to 64 ASCII
// letters and digits, as the login manager makes them ("7", "c2").
bool isValidSessionId(const QString &id);

// The reminded sessions that no longer exist, to be forgotten.
QSet<QString> endedSessions(const QSet<QString> &reminded, const QList<Session> &sessions);

// A token bucket: `burst` requests at once, then one every `refillMs`.
class RateLimit
{
public:
    RateLimit(int burst, qint64 refillMs);
    // Takes a token for `key` at the time `nowMs` (any monotonic clock);
    // false when its bucket is empty.
    bool allow(quint32 key, qint64 nowMs);
    // Keys whose buckets are full again are dropped, so that the table stays
    // as small as the number of users asking at the moment.
    int trackedKeys() const;

private:
    struct Bucket {
        double tokens = 0;
        qint64 updatedMs = 0;
    };
    void refill(Bucket &bucket, qint64 nowMs) const;
    int m_burst;
    qint64 m_refillMs;
    QHash<quint32, Bucket> m_buckets;
};

// Log lines about refused requests, at most one every `intervalMs`: the
// first refusal is logged at once, later ones are counted and the count goes
// with the next line that is logged.
class LogThrottle
{
public:
    explicit LogThrottle(qint64 intervalMs);
    // Whether to log now; `suppressed` is set to the number of lines left out
    // since the last logged one.
    bool shouldLog(qint64 nowMs, int *suppressed);

private:
    qint64 m_intervalMs;
    std::optional<qint64> m_lastMs;
    int m_suppressed = 0;
};

// The limits the gate works with (the README gives the reasons).
// Requests of one user: five at once, then one every ten seconds.
constexpr int userBurst = 5;
constexpr qint64 userRefillMs = 10000;
// Check runs started, all users together: thirty at once, then one a second.
constexpr int runBurst = 30;
constexpr qint64 runRefillMs = 1000;
// At most one line about refused requests every ten seconds.
constexpr qint64 refusalLogIntervalMs = 10000;
// Connections taken from the socket's queue before other events get a turn.
constexpr int acceptBatch = 64;
// The gate ends after this long without a connection; the socket starts it
// again with the next one.
constexpr int idleExitMs = 60000;
// Where the gate remembers the sessions that had their check run.
constexpr char remindedDirectory[] = "/run/pwexpiry-notifier/reminded";
} // namespace LoginGate
