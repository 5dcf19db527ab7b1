// SPDX-License-Identifier: GPL-2.0-or-later
#include "kcmodulecompat.h"

#if PWEXPIRY_KF_MAJOR_VERSION >= 6

namespace KCMOV
{

ModuleWidget::ModuleWidget(QWidget *parent, const QVariantList &args)
    : QWidget(parent)
{
    Q_UNUSED(args)
}

ModuleWidget::~ModuleWidget() = default;

void ModuleWidget::setButtons(Buttons buttons)
{
    m_buttons = buttons;
}

ModuleWidget::Buttons ModuleWidget::buttons() const
{
    return m_buttons;
}

void ModuleWidget::load()
{
}

void ModuleWidget::save()
{
}

void ModuleWidget::defaults()
{
}

} // namespace KCMOV

#endif
