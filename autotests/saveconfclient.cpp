// SPDX-License-Identifier: GPL-2.0-or-later
// Test client: sends one policy record through saveConf (the real KAuth
// action) and prints the outcome.
//
//   saveconfclient [--repeat N] [--extra-argument NAME] LOCAL DOMAIN NOTIFY MIN MAX WARN INACTIVE EXPIRE
//
// LOCAL and DOMAIN are true or false, the ages are integers, EXPIRE is a
// yyyy-MM-dd date or empty for the null date. Prints "ok" and exits 0 on
// success, otherwise prints "error <code>: <message>" and exits 1. With
// --repeat the record is sent N times and the round-trip times are printed.
// With --extra-argument the action is built here instead of by saveConf and
// carries a further argument beside "config".
#include "policy.h"

#include <KAuth/Action>
#include <KAuth/ExecuteJob>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

using namespace PasswordExpirationPolicy;

namespace
{
bool parseBool(const QString &text, bool &ok)
{
    ok = text == QLatin1String("true") || text == QLatin1String("false");
    return text == QLatin1String("true");
}

// Like pwexpiry-notifier after a save: KAuth's polkit backend leaves GLib's
// D-Bus threads running, which can crash the process while it unloads its
// libraries at exit. End at once instead.
[[noreturn]] void finish(int status)
{
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    _exit(status);
}

QVariant sendWithExtraArgument(const Config &config, const QString &name)
{
    KAuth::Action action(QStringLiteral("orvane.kcm.policyexpiration.change"));
    action.setHelperId(QStringLiteral("orvane.kcm.policyexpiration"));
    action.setArguments(QVariantMap{{QStringLiteral("config"), QVariant::fromValue(config)}, {name, QStringLiteral("/tmp/elsewhere")}});
    KAuth::ExecuteJob *job = action.execute();
    if (job->exec()) {
        return QVariant();
    }
    return QVariant::fromValue(Error{-1, job->errorText()});
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption repeatOption(QStringLiteral("repeat"), QStringLiteral("Send the record N times."), QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption extraOption(QStringLiteral("extra-argument"), QStringLiteral("Add an argument NAME."), QStringLiteral("NAME"));
    parser.addOption(repeatOption);
    parser.addOption(extraOption);
    parser.addPositionalArgument(QStringLiteral("record"), QStringLiteral("LOCAL DOMAIN NOTIFY MIN MAX WARN INACTIVE EXPIRE"));
    parser.process(app);

    QTextStream out(stdout);
    const QStringList values = parser.positionalArguments();
    bool ok = values.size() == 8;
    Config config;
    if (ok) {
        bool fieldOk[8];
        config.receiveNotifyForLocal = parseBool(values.at(0), fieldOk[0]);
        config.receiveNotifyForDomain = parseBool(values.at(1), fieldOk[1]);
        config.notifyDays = values.at(2).toInt(&fieldOk[2]);
        config.passMinDays = values.at(3).toInt(&fieldOk[3]);
        config.passMaxDays = values.at(4).toInt(&fieldOk[4]);
        config.passWarnAge = values.at(5).toInt(&fieldOk[5]);
        config.inactiveDays = values.at(6).toInt(&fieldOk[6]);
        config.expireDate = values.at(7).isEmpty() ? QDate() : QDate::fromString(values.at(7), QStringLiteral("yyyy-MM-dd"));
        fieldOk[7] = values.at(7).isEmpty() || config.expireDate.isValid();
        ok = std::all_of(std::begin(fieldOk), std::end(fieldOk), [](bool b) {
            return b;
        });
    }
    const int repeat = parser.value(repeatOption).toInt();
    if (!ok || repeat < 1) {
        out << "usage: " << parser.helpText() << Qt::endl;
        return 2;
    }

    QList<qint64> nanoseconds;
    QVariant result;
    for (int i = 0; i < repeat && result.isNull(); ++i) {
        QElapsedTimer timer;
        timer.start();
        result = parser.isSet(extraOption) ? sendWithExtraArgument(config, parser.value(extraOption)) : saveConf(config);
        nanoseconds.append(timer.nsecsElapsed());
    }
    if (!result.isNull()) {
        const Error error = result.value<Error>();
        out << "error " << error.code << ": " << error.message << Qt::endl;
        finish(1);
    }
    if (repeat > 1) {
        // The first round trip includes starting the helper; the others reach
        // the helper already running.
        const auto ms = [](qint64 ns) {
            return QString::number(ns / 1e6, 'f', 1);
        };
        out << "round trips: " << repeat << ", first " << ms(nanoseconds.first()) << " ms";
        QList<qint64> rest = nanoseconds.mid(1);
        std::sort(rest.begin(), rest.end());
        qint64 total = 0;
        for (qint64 ns : std::as_const(rest)) {
            total += ns;
        }
        out << "; the other " << rest.size() << ": min " << ms(rest.first()) << " ms, median " << ms(rest.at(rest.size() / 2)) << " ms, mean "
            << ms(total / rest.size()) << " ms, max " << ms(rest.last()) << " ms" << Qt::endl;
    }
    out << "ok" << Qt::endl;
    finish(0);
}
