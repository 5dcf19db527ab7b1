// SPDX-License-Identifier: GPL-2.0-or-later
// A settings page for a security-related system setting, identified by the
// module name that it is created with.
#pragma once

#include "orvanekcmodule.h"

#include <QString>

namespace KCMTN
{

class SecurityKCModule : public KCMOV::OrvaneKCModule
{
    Q_OBJECT

public:
    SecurityKCModule(const QString &moduleName, QWidget *parent, const QList<QVariant> &args);
    ~SecurityKCModule() override;

    QString moduleName() const;

private:
    const QString m_moduleName;
};

} // namespace KCMTN
