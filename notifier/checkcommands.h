// SPDX-License-Identifier: GPL-2.0-or-later
// The --check and --check-file options: the policy files checked as both
// programs read them, each finding printed as PATH:LINE: SEVERITY: MESSAGE.
#pragma once

#include <QDate>
#include <QString>

class QTextStream;

// Checks the three installed policy files. Returns 0 when both programs can
// use them (warnings may have been printed), 1 otherwise.
int checkInstalledPolicy(QTextStream &out, const QDate &today);

// Checks a candidate for one policy file: `kind` is "login.defs", "useradd"
// or "settings". Returns 0 when the programs could use it in that file's
// place, 1 otherwise or for an unknown kind (told on `err`).
int checkCandidateFile(const QString &kind, const QString &path, QTextStream &out, QTextStream &err, const QDate &today);
