// SPDX-License-Identifier: GPL-2.0-or-later
// Test driver for the session probe and its parts, run by the system tests
// against stand-in tools, real sockets and real processes:
//
//   probedriver probe ATTEMPTS SLEEP_MS   probeActiveSessionWithRetry
//   probedriver pass                      probeActiveSession
//   probedriver bus USER                  findSessionBusAddress
//   probedriver classify NAME             classifyAccount
//
// Results go to standard output, one "key=value" a line, followed by
// "elapsed_ms=" with the call's duration; the log goes to standard error.
#include "accountclassifier.h"
#include "busaddress.h"
#include "sessionprobe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>

namespace
{
void printSession(QTextStream &out, const std::optional<ActiveSession> &session)
{
    if (!session) {
        out << "session=none\n";
        return;
    }
    out << "user=" << session->userName << '\n'
        << "uid=" << session->uid << '\n'
        << "busPath=" << session->busPath << '\n'
        << "busAddress=" << session->busAddress << '\n'
        << "account=" << accountKindName(session->accountKind) << '\n';
}

int usage()
{
    QTextStream(stderr) << "usage: probedriver probe ATTEMPTS SLEEP_MS | pass | bus USER | classify NAME\n";
    return 2;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        return usage();
    }
    const QString mode = args.at(0);
    QTextStream out(stdout);
    QElapsedTimer timer;
    timer.start();

    if (mode == QLatin1String("probe") && args.size() == 3) {
        bool attemptsOk = false;
        bool sleepOk = false;
        const int attempts = args.at(1).toInt(&attemptsOk);
        const unsigned long sleepMs = args.at(2).toULong(&sleepOk);
        if (!attemptsOk || !sleepOk) {
            return usage();
        }
        printSession(out, probeActiveSessionWithRetry(attempts, sleepMs));
    } else if (mode == QLatin1String("pass") && args.size() == 1) {
        printSession(out, probeActiveSession());
    } else if (mode == QLatin1String("bus") && args.size() == 2) {
        const std::optional<QString> address = findSessionBusAddress(args.at(1));
        out << "address=" << (address ? *address : QStringLiteral("none")) << '\n';
    } else if (mode == QLatin1String("classify") && args.size() == 2) {
        out << "account=" << accountKindName(classifyAccount(args.at(1))) << '\n';
    } else {
        return usage();
    }
    out << "elapsed_ms=" << timer.elapsed() << '\n';
    return 0;
}
