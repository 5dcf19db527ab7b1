// SPDX-License-Identifier: GPL-2.0-or-later
// Collects the log lines written while it lives, as "<level> <category>: <text>".
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const
    {
        return s_lines;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        const char *level = "other";
        switch (type) {
        case QtDebugMsg:
            level = "debug";
            break;
        case QtInfoMsg:
            level = "info";
            break;
        case QtWarningMsg:
            level = "warning";
            break;
        case QtCriticalMsg:
            level = "critical";
            break;
        case QtFatalMsg:
            level = "fatal";
            break;
        }
        s_lines << QStringLiteral("%1 %2: %3").arg(QLatin1String(level), QLatin1String(context.category ? context.category : "(none)"), message);
    }

    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};
