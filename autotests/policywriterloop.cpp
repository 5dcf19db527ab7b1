// SPDX-License-Identifier: GPL-2.0-or-later
// Test-only writer for the crash-safety test: stores one of two policy
// records, or alternates between them until it is killed.
//
//   policywriterloop a|b LOGIN_DEFS USERADD SETTINGS   store record a or b once
//   policywriterloop loop LOGIN_DEFS USERADD SETTINGS  store a once, print "looping",
//                                                      then store b, a, b, ... forever,
//                                                      printing "saved" after each
//
// The first save, which pays for the lazy set-up of the libraries, comes
// before "looping", so that the saves after it all take about as long.
#include "policy_p.h"

#include <QCoreApplication>

#include <cstdio>

using namespace PasswordExpirationPolicy;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fputs("usage: policywriterloop a|b|loop LOGIN_DEFS USERADD SETTINGS\n", stderr);
        return 2;
    }
    // The two records differ in every member, so that every file differs.
    const Config records[2] = {
        Config{true, false, 14, 0, 99999, 7, -1, QDate()},
        Config{false, true, 30, 1, 60, 10, 30, QDate(2030, 1, 31)},
    };
    const QString &mode = args.at(1);
    const auto store = [&](const Config &config) {
        const QVariant result = writeAllParamsTo(args.at(2), args.at(3), args.at(4), config);
        if (!result.isNull()) {
            std::fprintf(stderr, "%s\n", qPrintable(result.value<Error>().message));
            return false;
        }
        return true;
    };
    if (mode == QLatin1String("a") || mode == QLatin1String("b")) {
        return store(records[mode == QLatin1String("a") ? 0 : 1]) ? 0 : 1;
    }
    if (mode != QLatin1String("loop")) {
        return 2;
    }
    if (!store(records[0])) {
        return 1;
    }
    std::puts("looping");
    std::fflush(stdout);
    for (unsigned i = 1;; ++i) {
        if (!store(records[i % 2])) {
            return 1;
        }
        std::puts("saved");
        std::fflush(stdout);
    }
}
