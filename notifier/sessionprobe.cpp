// SPDX-License-Identifier: GPL-2.0-or-later
#include "sessionprobe.h"

#include "accountclassifier.h"
#include "busaddress.h"
#include "commandrunner.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>

#include <limits>

namespace
{
const QString loginctl = QStringLiteral("/usr/bin/loginctl");
constexpr int loginctlTimeoutMs = 3000;
// The display manager's greeter runs as this user.
const QString greeterUser = QStringLiteral("plim-dm");
// The bus wait gives up once more than this has passed.
constexpr qint64 busWaitLimitMs = 4999;
constexpr unsigned long busLookupPauseMs = 250;

// Waits for the user's session bus; the first lookup is immediate.
std::optional<QString> waitForBusAddress(const QString &user, const QElapsedTimer &since)
{
    for (;;) {
        if (since.elapsed() > busWaitLimitMs) {
            return std::nullopt;
        }
        if (std::optional<QString> address = findSessionBusAddress(user)) {
            return address;
        }
        QThread::msleep(busLookupPauseMs);
    }
}
} // namespace

std::optional<SessionListing> parseSessionListing(const QString &line)
{
    const QStringList columns = lineColumns(line);
    if (columns.size() < 3) {
        return std::nullopt;
    }
    return SessionListing{columns.at(0), columns.at(1), columns.at(2)};
}

std::optional<SessionProperties> parseSessionProperties(const QString &text)
{
    const QStringList lines = outputLines(text);
    if (lines.size() < 2) {
        return std::nullopt;
    }
    return SessionProperties{lines.at(0), lines.at(1)};
}

bool isActiveGraphical(const SessionProperties &properties)
{
    return properties.active == QLatin1String("yes") && (properties.type == QLatin1String("x11") || properties.type == QLatin1String("wayland"));
}

quint32 uidFromColumn(const QString &column)
{
    const std::optional<quint64> uid = parseDecimal(column);
    if (!uid || *uid > std::numeric_limits<quint32>::max()) {
        return 0;
    }
    return quint32(*uid);
}

namespace
{
// The listed sessions, or nothing when loginctl cannot be asked.
std::optional<QStringList> listSessions()
{
    QByteArray output;
    if (!runCmd(loginctl, {QStringLiteral("list-sessions"), QStringLiteral("--no-legend"), QStringLiteral("--no-pager")}, output, loginctlTimeoutMs)) {
        qInfo() << "[probe] loginctl list-sessions failed";
        return std::nullopt;
    }
    const QStringList lines = outputLines(outputToText(output));
    qInfo() << "[probe] sessions:" << lines.size();
    return lines;
}

// One listed session: its user when it is an active graphical session whose
// bus can be found, else nothing.
std::optional<ActiveSession> probeListedSession(const SessionListing &listing)
{
    qInfo() << "[probe]"
            << "sid:" << listing.sessionId << "uid:" << listing.uid << "user:" << listing.userName;
    if (listing.userName == greeterUser) {
        qInfo() << "[probe] skip DM user";
        return std::nullopt;
    }

    QByteArray propertyOutput;
    const QStringList propertyArgs{QStringLiteral("show-session"),
                                   listing.sessionId,
                                   QStringLiteral("-p"),
                                   QStringLiteral("Type"),
                                   QStringLiteral("-p"),
                                   QStringLiteral("Active"),
                                   QStringLiteral("--value")};
    if (!runCmd(loginctl, propertyArgs, propertyOutput, loginctlTimeoutMs)) {
        qInfo() << "[probe] show-session failed for" << listing.sessionId;
        return std::nullopt;
    }
    const std::optional<SessionProperties> properties = parseSessionProperties(outputToText(propertyOutput));
    if (!properties) {
        qInfo() << "[probe] bad props for" << listing.sessionId;
        return std::nullopt;
    }
    qInfo() << "[probe] type:" << properties->type << "active:" << properties->active;
    if (!isActiveGraphical(*properties)) {
        qInfo() << "[probe] not active GUI";
        return std::nullopt;
    }

    QElapsedTimer busWait;
    busWait.start();
    const std::optional<QString> address = waitForBusAddress(listing.userName, busWait);
    if (!address) {
        qInfo() << "[probe] bus not ready for name" << listing.userName << "waited(ms)" << busWait.elapsed();
        return std::nullopt;
    }
    qDebug() << "[probe] address:" << *address << "waited(ms)" << busWait.elapsed();

    ActiveSession session;
    session.userName = listing.userName;
    session.uid = uidFromColumn(listing.uid);
    session.busAddress = *address;
    session.busPath = busPathFromAddress(*address);
    session.accountKind = classifyAccount(session.userName);
    qInfo() << "[probe] picked user:" << session.userName << "uid:" << session.uid << "addr:" << session.busAddress
            << "account:" << accountKindName(session.accountKind);
    return session;
}

// Up to `attempts` passes of `probe`, sleeping `sleepMs` after each pass that
// found nobody.
template<typename Probe>
std::optional<ActiveSession> withRetry(int attempts, unsigned long sleepMs, Probe probe)
{
    if (attempts <= 0) {
        return std::nullopt;
    }
    for (int attempt = 1;; ++attempt) {
        if (std::optional<ActiveSession> session = probe()) {
            return session;
        }
        qInfo() << "[probe] retry" << attempt << "/" << attempts << "sleep" << sleepMs << "ms";
        QThread::msleep(sleepMs);
        if (attempt >= attempts) {
            return std::nullopt;
        }
    }
}
} // namespace

std::optional<ActiveSession> probeActiveSession()
{
    const std::optional<QStringList> lines = listSessions();
    if (!lines) {
        return std::nullopt;
    }
    for (const QString &line : *lines) {
        const std::optional<SessionListing> listing = parseSessionListing(line);
        if (!listing) {
            qInfo() << "[probe] skip line:" << line;
            continue;
        }
        if (std::optional<ActiveSession> session = probeListedSession(*listing)) {
            return session;
        }
    }

    qInfo() << "[probe] no active GUI sessions";
    return std::nullopt;
}

std::optional<ActiveSession> probeSession(const QString &sessionId)
{
    const std::optional<QStringList> lines = listSessions();
    if (!lines) {
        return std::nullopt;
    }
    for (const QString &line : *lines) {
        const std::optional<SessionListing> listing = parseSessionListing(line);
        if (listing && listing->sessionId == sessionId) {
            return probeListedSession(*listing);
        }
    }
    qInfo() << "[probe] no session" << sessionId;
    return std::nullopt;
}

std::optional<ActiveSession> probeActiveSessionWithRetry(int attempts, unsigned long sleepMs)
{
    return withRetry(attempts, sleepMs, probeActiveSession);
}

std::optional<ActiveSession> probeSessionWithRetry(const QString &sessionId, int attempts, unsigned long sleepMs)
{
    return withRetry(attempts, sleepMs, [&sessionId] {
        return probeSession(sessionId);
    });
}
