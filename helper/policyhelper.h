// SPDX-License-Identifier: GPL-2.0-or-later
// The privileged side of saveConf: stores a received policy record.
#pragma once

#include <KAuth/ActionReply>

#include <QObject>
#include <QVariantMap>

class PolicyHelper : public QObject
{
    Q_OBJECT

public:
    PolicyHelper();

public Q_SLOTS:
    // The action orvane.kcm.policyexpiration.change.
    KAuth::ActionReply change(const QVariantMap &args);
};
