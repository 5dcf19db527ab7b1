// SPDX-License-Identifier: GPL-2.0-or-later
#include "checkcommands.h"
#include "info.h"
#include "logingate.h"
#include "passwordchecker.h"
#include "policy.h"
#include "settingscommands.h"

#include <KLocalizedString>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

namespace
{
std::optional<QString> optionValue(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    if (!parser.isSet(option)) {
        return std::nullopt;
    }
    return parser.value(option);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    KLocalizedString::setApplicationDomain("pwexpiry-notifier");

    QCommandLineParser parser;
    const QCommandLineOption infoOption({QStringLiteral("i"), QStringLiteral("info")},
                                        i18nd("pwexpiry-notifier", "Output information about current configuration."));
    const QCommandLineOption setLocalOption({QStringLiteral("sl"), QStringLiteral("set-local")},
                                            i18nd("pwexpiry-notifier", "Enable or disable reminders for local users."),
                                            i18nd("pwexpiry-notifier", "enable/disable"));
    const QCommandLineOption setDomainOption({QStringLiteral("sd"), QStringLiteral("set-domain")},
                                             i18nd("pwexpiry-notifier", "Enable or disable reminders for domain users."),
                                             i18nd("pwexpiry-notifier", "enable/disable"));
    const QCommandLineOption setNotifyDaysOption({QStringLiteral("sn"), QStringLiteral("set-notify-days")},
                                                 i18nd("pwexpiry-notifier", "Set number of days before password expires for which notification is sent."),
                                                 i18nd("pwexpiry-notifier", "N"));
    const QCommandLineOption sessionOption(QStringLiteral("session"),
                                           i18nd("pwexpiry-notifier", "Check run for the login session ID only, as the reminder at login starts it."),
                                           i18nd("pwexpiry-notifier", "ID"));
    const QCommandLineOption setMinDaysOption(QStringLiteral("set-min-days"),
                                              i18nd("pwexpiry-notifier", "Set the minimum number of days between password changes (0: not set)."),
                                              i18nd("pwexpiry-notifier", "N"));
    const QCommandLineOption setMaxDaysOption(QStringLiteral("set-max-days"),
                                              i18nd("pwexpiry-notifier", "Set the maximum number of days a password may be used (-1: not set)."),
                                              i18nd("pwexpiry-notifier", "N"));
    const QCommandLineOption setWarnAgeOption(QStringLiteral("set-warn-age"),
                                              i18nd("pwexpiry-notifier", "Set the number of days of warning before a password expires (-1: not set)."),
                                              i18nd("pwexpiry-notifier", "N"));
    const QCommandLineOption setInactiveOption(
        QStringLiteral("set-inactive"),
        i18nd("pwexpiry-notifier", "Set the number of days after a password has expired until the account is disabled (-1: not set)."),
        i18nd("pwexpiry-notifier", "N"));
    const QCommandLineOption setExpireOption(QStringLiteral("set-expire"),
                                             i18nd("pwexpiry-notifier", "Set the date on which new accounts expire (none: not set)."),
                                             i18nd("pwexpiry-notifier", "YYYY-MM-DD|none"));
    const QCommandLineOption policyOption(QStringLiteral("policy"), i18nd("pwexpiry-notifier", "Print the whole policy as KEY=VALUE lines."));
    const QCommandLineOption checkOption(QStringLiteral("check"),
                                         i18nd("pwexpiry-notifier", "Check the policy files as both programs read them and print each problem."));
    const QCommandLineOption checkFileOption(
        QStringLiteral("check-file"),
        i18nd("pwexpiry-notifier", "Check the file whose path follows KIND as a candidate for a policy file; KIND is login.defs, useradd or settings."),
        i18nd("pwexpiry-notifier", "KIND"));
    parser.addHelpOption();
    parser.addOption(infoOption);
    parser.addOption(setLocalOption);
    parser.addOption(setDomainOption);
    parser.addOption(setNotifyDaysOption);
    parser.addOption(sessionOption);
    parser.addOption(setMinDaysOption);
    parser.addOption(setMaxDaysOption);
    parser.addOption(setWarnAgeOption);
    parser.addOption(setInactiveOption);
    parser.addOption(setExpireOption);
    parser.addOption(policyOption);
    parser.addOption(checkOption);
    parser.addOption(checkFileOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);

    const SetOptions setOptions{optionValue(parser, setLocalOption),
                                optionValue(parser, setDomainOption),
                                optionValue(parser, setNotifyDaysOption),
                                optionValue(parser, setMinDaysOption),
                                optionValue(parser, setMaxDaysOption),
                                optionValue(parser, setWarnAgeOption),
                                optionValue(parser, setInactiveOption),
                                optionValue(parser, setExpireOption)};
    const bool info = parser.isSet(infoOption);
    const bool check = parser.isSet(checkOption);
    const bool checkFile = parser.isSet(checkFileOption);
    const bool policy = parser.isSet(policyOption);
    // Reading and checking the policy files is open to every user who may
    // read them; everything else needs root.
    const bool readOnly = info || check || checkFile || policy;

    if (!info && int(check) + int(checkFile) + int(policy) + int(setOptions.any()) > 1) {
        err << i18nd("pwexpiry-notifier", "Error: --check, --check-file, --policy and the set options cannot be combined.") << Qt::endl;
        return 1;
    }
    const QStringList arguments = parser.positionalArguments();
    if (!info && (check || policy) && !arguments.isEmpty()) {
        err << i18nd("pwexpiry-notifier", "Error: unexpected argument \"%1\".", arguments.first()) << Qt::endl;
        return 1;
    }

    if (geteuid() != 0 && !readOnly) {
        err << i18nd("pwexpiry-notifier", "Error: must be run as root.") << Qt::endl;
        return 1;
    }

    if (info || policy) {
        const PasswordExpirationPolicy::Result<PasswordExpirationPolicy::Config> config = PasswordExpirationPolicy::loadConf();
        if (!config.hasValue()) {
            err << unreadablePolicyText() << Qt::endl;
            return 1;
        }
        const QStringList lines = info ? infoLines(config.value()) : policyLines(config.value());
        for (const QString &line : lines) {
            out << line << Qt::endl;
        }
        return 0;
    }

    if (check) {
        return checkInstalledPolicy(out, QDate::currentDate());
    }
    if (checkFile) {
        if (arguments.size() != 1) {
            err << i18nd("pwexpiry-notifier", "Error: --check-file takes a kind and one path, as in: pwexpiry-notifier --check-file login.defs /tmp/login.defs")
                << Qt::endl;
            return 1;
        }
        return checkCandidateFile(parser.value(checkFileOption), arguments.first(), out, err, QDate::currentDate());
    }

    if (setOptions.any()) {
        exitAfterSave(applySetOptions(setOptions, out, err, QDate::currentDate()));
    }

    // A check run reports only to the log; its status is always 0.
    PasswordChecker checker;
    if (parser.isSet(sessionOption)) {
        const QString sessionId = parser.value(sessionOption);
        if (!LoginGate::isValidSessionId(sessionId)) {
            err << i18nd("pwexpiry-notifier", "Error: invalid session id.") << Qt::endl;
            return 1;
        }
        checker.runForSession(sessionId);
        return 0;
    }
    checker.run();
    return 0;
}
