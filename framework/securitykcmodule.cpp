// SPDX-License-Identifier: GPL-2.0-or-later
#include "securitykcmodule.h"

namespace KCMTN
{

SecurityKCModule::SecurityKCModule(const QString &moduleName, QWidget *parent, const QList<QVariant> &args)
    : KCMOV::OrvaneKCModule(parent, args)
    , m_moduleName(moduleName)
{
}

SecurityKCModule::~SecurityKCModule() = default;

QString SecurityKCModule::moduleName() const
{
    return m_moduleName;
}

} // namespace KCMTN
