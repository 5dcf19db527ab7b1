// SPDX-License-Identifier: GPL-2.0-or-later
// The settings page: the system-wide password-aging parameters and the
// reminder settings, loaded from and saved to the policy files.
#pragma once

#include "policy.h"
#include "spinboxconstraint.h"

#include <securitykcmodule.h>

#include <QHash>
#include <QList>
#include <QVariant>

class QCheckBox;
class QDate;
class QDateEdit;
class QSpinBox;

namespace PasswordExpirationPolicy
{

class Ui_KCModule;

class Q_DECL_EXPORT KCModule : public KCMTN::SecurityKCModule
{
    Q_OBJECT

public:
    KCModule(QWidget *parent, const QList<QVariant> &args);
    ~KCModule() override;

public Q_SLOTS:
    // Loads the policy into the form.
    void access() override;
    // Validates the form and saves the policy.
    void change() override;

private:
    void setSpinBoxConstraints(QSpinBox *spinBox, int minimum, int disabledValue, const QString &suffix, QCheckBox *checkBox);
    void setSpinBoxEnabled(QSpinBox *spinBox, bool enabled, int value);
    void setDateEditEnabled(QDateEdit *dateEdit, bool enabled, const QDate &date);
    void setNotifyEnabled(bool enabled);
    void updateConfig(const Config &config);

    Ui_KCModule *ui;
    // The configuration last loaded or successfully saved.
    Config currentConfig;
    QHash<QSpinBox *, SpinBoxConstraint> spinBoxConstraints;
    QHash<QCheckBox *, QSpinBox *> checkBoxSpinBoxes;
};

} // namespace PasswordExpirationPolicy
