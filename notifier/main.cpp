// SPDX-License-Identifier: GPL-2.0-or-later
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
    parser.addHelpOption();
    parser.addOption(infoOption);
    parser.addOption(setLocalOption);
    parser.addOption(setDomainOption);
    parser.addOption(setNotifyDaysOption);
    parser.addOption(sessionOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);

    if (geteuid() != 0 && !parser.isSet(infoOption)) {
        err << i18nd("pwexpiry-notifier", "Error: must be run as root.") << Qt::endl;
        return 1;
    }

    if (parser.isSet(infoOption)) {
        const PasswordExpirationPolicy::Result<PasswordExpirationPolicy::Config> config = PasswordExpirationPolicy::loadConf();
        if (!config.hasValue()) {
            return 1;
        }
        const QStringList lines = infoLines(config.value());
        for (const QString &line : lines) {
            out << line << Qt::endl;
        }
        return 0;
    }

    const SetOptions setOptions{optionValue(parser, setLocalOption), optionValue(parser, setDomainOption), optionValue(parser, setNotifyDaysOption)};
    if (setOptions.any()) {
        exitAfterSave(applySetOptions(setOptions, out));
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
