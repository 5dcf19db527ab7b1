// SPDX-License-Identifier: GPL-2.0-or-later
#include "logingate.h"

#include <algorithm>

namespace LoginGate
{
namespace
{
struct AnswerName {
    Answer answer;
    const char *word;
};
constexpr AnswerName answerNames[] = {
    {Answer::Taken, "taken"},
    {Answer::Reminded, "reminded"},
    {Answer::NotActive, "not-active"},
    {Answer::Busy, "busy"},
    {Answer::Limited, "limited"},
};
} // namespace

QByteArray answerWord(Answer answer)
{
    for (const AnswerName &name : answerNames) {
        if (name.answer == answer) {
            return QByteArray(name.word);
        }
    }
    return QByteArray();
}

std::optional<Answer> parseAnswer(const QByteArray &line)
{
    const QByteArray word = line.trimmed();
    for (const AnswerName &name : answerNames) {
        if (word == name.word) {
            return name.answer;
        }
    }
    return std::nullopt;
}

bool isRemindable(const Session &session)
{
    return session.active && (session.type == QLatin1String("x11") || session.type == QLatin1String("wayland")) && session.sessionClass == QLatin1String("user")
        && session.state != QLatin1String("closing");
}

Decision decide(quint32 peerUid, const std::optional<QString> &peerSession, const QList<Session> &sessions, const QSet<QString> &reminded)
{
    QList<Session> own;
    for (const Session &session : sessions) {
        if (session.uid == peerUid && isRemindable(session) && isValidSessionId(session.id)) {
            own.append(session);
        }
    }
    if (own.isEmpty()) {
        return {Answer::NotActive, QString()};
    }
    // The peer's own session first, then those not reminded yet; otherwise in
    // the login manager's order.
    std::stable_sort(own.begin(), own.end(), [&](const Session &a, const Session &b) {
        const auto rank = [&](const Session &s) {
            return (peerSession && s.id == *peerSession ? 0 : 2) + (reminded.contains(s.id) ? 1 : 0);
        };
        return rank(a) < rank(b);
    });
    const Session &chosen = own.constFirst();
    if (reminded.contains(chosen.id)) {
        return {Answer::Reminded, chosen.id};
    }
    return {Answer::Taken, chosen.id};
}

bool isValidSessionId(const QString &id)
{
    if (id.isEmpty() || id.size() > 64) {
        return false;
    }
    return std::all_of(id.cbegin(), id.cend(), [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
    });
}

QSet<QString> endedSessions(const QSet<QString> &reminded, const QList<Session> &sessions)
{
    QSet<QString> ended = reminded;
    for (const Session &session : sessions) {
        ended.remove(session.id);
    }
    return ended;
}

RateLimit::RateLimit(int burst, qint64 refillMs)
    : m_burst(burst)
    , m_refillMs(refillMs)
{
}

void RateLimit::refill(Bucket &bucket, qint64 nowMs) const
{
    if (nowMs > bucket.updatedMs) {
        bucket.tokens = std::min<double>(m_burst, bucket.tokens + double(nowMs - bucket.updatedMs) / double(m_refillMs));
        bucket.updatedMs = nowMs;
    }
}

bool RateLimit::allow(quint32 key, qint64 nowMs)
{
    // Buckets that have filled up again say nothing a new one would not.
    for (auto it = m_buckets.begin(); it != m_buckets.end();) {
        refill(it.value(), nowMs);
        it = it.value().tokens >= m_burst ? m_buckets.erase(it) : std::next(it);
    }
    auto it = m_buckets.find(key);
    if (it == m_buckets.end()) {
        it = m_buckets.insert(key, Bucket{double(m_burst), nowMs});
    }
    if (it->tokens < 1) {
        return false;
    }
    it->tokens -= 1;
    return true;
}

int RateLimit::trackedKeys() const
{
    return m_buckets.size();
}

LogThrottle::LogThrottle(qint64 intervalMs)
    : m_intervalMs(intervalMs)
{
}

bool LogThrottle::shouldLog(qint64 nowMs, int *suppressed)
{
    if (m_lastMs && nowMs - *m_lastMs < m_intervalMs) {
        ++m_suppressed;
        return false;
    }
    m_lastMs = nowMs;
    *suppressed = m_suppressed;
    m_suppressed = 0;
    return true;
}
} // namespace LoginGate
