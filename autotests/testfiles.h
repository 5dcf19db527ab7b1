// SPDX-License-Identifier: GPL-2.0-or-later
// Fixture files for the tests that read and write policy files.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
