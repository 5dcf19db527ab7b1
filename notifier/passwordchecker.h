// SPDX-License-Identifier: GPL-2.0-or-later
// One check run: find the active graphical user and remind them of their
// password's expiry, or hand a domain account to the domain reminder script.
#pragma once

#include "activesession.h"

#include <QObject>

#include <optional>

#include <shadow.h>

class PasswordChecker : QObject
{
    Q_OBJECT

public:
    explicit PasswordChecker(QObject *parent = nullptr);
    ~PasswordChecker() override;

    // Reads the policy, finds the active user and processes them. Every
    // finding goes to the log only.
    void run();
    // The same for one login session only: its user is reminded when that
    // session is an active graphical one, nobody otherwise. The reminder at
    // login runs this for the session that asked.
    void runForSession(const QString &sessionId);

    // True when the user was handled, also when no reminder was due.
    bool processLocalUser(qint32 notifyDays, const ActiveSession &user);
    bool processDomainUser(qint32 notifyDays, const ActiveSession &user);

    // A copy of the user's shadow entry; its string members are not to be used.
    std::optional<spwd> getSpwd(const QString &userName);

    // Shows the reminder for `daysLeft` days (0: today) in the user's session.
    bool sendNotification(const ActiveSession &user, qint32 daysLeft);

private:
    // The steps of a run, with the active session found by the probe or,
    // given a session id, that session.
    void check(const std::optional<QString> &sessionId);
};
