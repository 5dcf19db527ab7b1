// SPDX-License-Identifier: GPL-2.0-or-later
#include "kcmodule.h"

#include "ui_kcmodule.h"

#include <messagesmanager.h>
#include <statewidget.h>

#include <KLazyLocalizedString>
#include <KLocalizedString>

namespace PasswordExpirationPolicy
{

namespace
{
const char translationDomain[] = "kcm_pwexpiry";

// The unit of the four aging parameters, translated when shown.
const QString &daysSuffix()
{
    // i18n: unit suffix after a number of days
    static const QString suffix = QString::fromUtf8(kli18n(" d").untranslatedText());
    return suffix;
}

// The framework's message type and state values for an error the user has to see.
constexpr auto errorMessageType = static_cast<KCMOV::MessageType>(3);
constexpr auto newMessageState = static_cast<KCMOV::State>(0);

// Shows an error to the user through the framework's messages.
void postError(KCMOV::MessagesManager *messages, const KLocalizedString &title, const QString &text)
{
    messages->newMessage(title.toString(), errorMessageType, text, newMessageState);
}

void postError(KCMOV::MessagesManager *messages, const KLocalizedString &title, const KLocalizedString &text)
{
    postError(messages, title, text.toString());
}
} // namespace

KCModule::KCModule(QWidget *parent, const QList<QVariant> &args)
    : KCMTN::SecurityKCModule(QString::fromLatin1(translationDomain), parent, args)
    , ui(new Ui_KCModule)
    , currentConfig()
{
    ui->setupUi(this);
    setResetButtonVisible(true);

    setSpinBoxConstraints(ui->passMinDaysSpinBox, 1, 0, daysSuffix(), ui->passMinDaysCheckBox);
    setSpinBoxConstraints(ui->passMaxDaysSpinBox, 0, -1, daysSuffix(), ui->passMaxDaysCheckBox);
    setSpinBoxConstraints(ui->passWarnAgeSpinBox, 0, -1, daysSuffix(), ui->passWarnAgeCheckBox);
    setSpinBoxConstraints(ui->inactiveDaysSpinBox, 0, -1, daysSuffix(), ui->inactiveDaysCheckBox);

    connect(
        ui->receiveNotifyGroupBox,
        &QGroupBox::clicked,
        ui->receiveNotifyGroupBox,
        [this](bool checked) {
            setNotifyEnabled(checked);
            Q_EMIT changed(true);
        },
        Qt::DirectConnection);

    const QList<QCheckBox *> checkBoxes = findChildren<QCheckBox *>();
    for (QCheckBox *checkBox : checkBoxes) {
        connect(
            checkBox,
            &QCheckBox::clicked,
            checkBox,
            [this] {
                Q_EMIT changed(true);
            },
            Qt::DirectConnection);
    }

    for (QCheckBox *checkBox : {ui->passMinDaysCheckBox, ui->passMaxDaysCheckBox, ui->passWarnAgeCheckBox, ui->inactiveDaysCheckBox}) {
        connect(
            checkBox,
            &QCheckBox::clicked,
            checkBox,
            [this, checkBox](bool checked) {
                setSpinBoxEnabled(checkBoxSpinBoxes.value(checkBox, nullptr), checked, -1);
            },
            Qt::DirectConnection);
    }

    const QList<QSpinBox *> spinBoxes = findChildren<QSpinBox *>();
    for (QSpinBox *spinBox : spinBoxes) {
        connect(
            spinBox,
            qOverload<int>(&QSpinBox::valueChanged),
            spinBox,
            [this] {
                Q_EMIT changed(true);
            },
            Qt::DirectConnection);
    }

    connect(
        ui->expireDateCheckBox,
        &QCheckBox::clicked,
        ui->expireDateCheckBox,
        [this](bool checked) {
            setDateEditEnabled(ui->expireDateEdit, checked, QDate());
        },
        Qt::DirectConnection);

    connect(
        ui->expireDateEdit,
        &QDateEdit::dateChanged,
        ui->expireDateEdit,
        [this] {
            Q_EMIT changed(true);
        },
        Qt::DirectConnection);

    ui->expireDateEdit->setMinimumDate(QDate::currentDate());
    ui->importButton->hide();
}

KCModule::~KCModule()
{
    delete ui;
}

void KCModule::access()
{
    const Result<Config> result = loadConf();
    if (result.hasValue()) {
        currentConfig = result.value();
        updateConfig(currentConfig);
    } else {
        ui->receiveNotifyGroupBox->setEnabled(false);
        ui->passMinDaysCheckBox->setEnabled(false);
        ui->passMaxDaysCheckBox->setEnabled(false);
        ui->passWarnAgeCheckBox->setEnabled(false);
        ui->inactiveDaysCheckBox->setEnabled(false);
        ui->expireDateCheckBox->setEnabled(false);
        // The second line names the command that tells what is wrong with the files.
        postError(messagesManager(),
                  ki18nd(translationDomain, "Settings access error"),
                  ki18nd(translationDomain, "Cannot load current configuration").toString() + QLatin1Char('\n')
                      + ki18nd(translationDomain, "Run \"pwexpiry-notifier --check\" for details.").toString());
    }
    stateWidget()->resetState();
    Q_EMIT changed(false);
}

void KCModule::change()
{
    const bool notify = ui->receiveNotifyGroupBox->isChecked();

    Config config;
    config.receiveNotifyForLocal = notify && ui->localUserCheckBox->isChecked();
    config.receiveNotifyForDomain = notify && ui->domainUserCheckBox->isChecked();
    config.notifyDays = ui->notifyDaysSpinBox->value();
    config.passMinDays = ui->passMinDaysSpinBox->value();
    config.passMaxDays = ui->passMaxDaysSpinBox->value();
    config.passWarnAge = ui->passWarnAgeSpinBox->value();
    config.inactiveDays = ui->inactiveDaysSpinBox->value();
    config.expireDate = ui->expireDateCheckBox->isChecked() ? ui->expireDateEdit->date() : QDate();

    // A switched-off maximum (-1) means that passwords never expire, which
    // is compatible with any minimum.
    if (ui->passMinDaysCheckBox->isChecked() && ui->passMaxDaysCheckBox->isChecked() && config.passMaxDays < config.passMinDays) {
        postError(messagesManager(),
                  ki18nd(translationDomain, "Settings change error"),
                  ki18nd(translationDomain, "The maximum password validity period is less than the minimum validity period."));
        stateWidget()->resetState();
        Q_EMIT changed(true);
        return;
    }

    if (saveConf(config).isNull()) {
        currentConfig = config;
    } else {
        postError(messagesManager(), ki18nd(translationDomain, "Settings change error"), ki18nd(translationDomain, "Cannot save current configuration"));
    }

    updateConfig(currentConfig);
    stateWidget()->resetState();
    Q_EMIT changed(false);
}

void KCModule::setSpinBoxConstraints(QSpinBox *spinBox, int minimum, int disabledValue, const QString &suffix, QCheckBox *checkBox)
{
    if (!spinBox || !checkBox) {
        return;
    }
    spinBoxConstraints.insert(spinBox, SpinBoxConstraint{minimum, disabledValue, suffix});
    checkBoxSpinBoxes.insert(checkBox, spinBox);
}

void KCModule::setSpinBoxEnabled(QSpinBox *spinBox, bool enabled, int value)
{
    if (!spinBox || !spinBoxConstraints.contains(spinBox)) {
        return;
    }
    const SpinBoxConstraint constraint = spinBoxConstraints.value(spinBox);

    spinBox->setEnabled(enabled);
    spinBox->setMinimum(enabled ? constraint.minimum : constraint.disabledValue);
    spinBox->setValue(spinBox->minimum());
    if (enabled) {
        spinBox->setSuffix(ki18nd(translationDomain, constraint.suffix.toLocal8Bit().constData()).toString());
        if (value != -1 && value != spinBox->minimum()) {
            spinBox->setValue(value);
        }
    } else {
        spinBox->setSuffix(QString());
    }
}

void KCModule::setDateEditEnabled(QDateEdit *dateEdit, bool enabled, const QDate &date)
{
    if (!dateEdit) {
        return;
    }
    if (enabled) {
        // The editor ignores a null date here, so a null date keeps what it shows.
        if (dateEdit->minimumDate() > date) {
            dateEdit->setMinimumDate(date);
        }
        dateEdit->setDate(date);
    } else {
        dateEdit->setDate(dateEdit->minimumDate());
    }
    dateEdit->setEnabled(enabled);
}

void KCModule::setNotifyEnabled(bool enabled)
{
    if (enabled) {
        ui->localUserCheckBox->setChecked(currentConfig.receiveNotifyForLocal);
        ui->domainUserCheckBox->setChecked(currentConfig.receiveNotifyForDomain);
        ui->notifyDaysSpinBox->setValue(currentConfig.notifyDays);
    } else {
        ui->localUserCheckBox->setChecked(false);
        ui->domainUserCheckBox->setChecked(false);
        ui->notifyDaysSpinBox->setValue(ui->notifyDaysSpinBox->minimum());
    }
}

void KCModule::updateConfig(const Config &config)
{
    const struct {
        QCheckBox *checkBox;
        int value;
        bool on;
    } agingRows[] = {
        {ui->passMinDaysCheckBox, config.passMinDays, config.passMinDays > 0},
        {ui->passMaxDaysCheckBox, config.passMaxDays, config.passMaxDays >= 0},
        {ui->passWarnAgeCheckBox, config.passWarnAge, config.passWarnAge >= 0},
        {ui->inactiveDaysCheckBox, config.inactiveDays, config.inactiveDays >= 0},
    };
    for (const auto &row : agingRows) {
        row.checkBox->setChecked(row.on);
        setSpinBoxEnabled(checkBoxSpinBoxes.value(row.checkBox, nullptr), row.on, row.value);
    }

    ui->expireDateCheckBox->setChecked(config.expireDate.isValid());
    setDateEditEnabled(ui->expireDateEdit, ui->expireDateCheckBox->isChecked(), config.expireDate);

    ui->receiveNotifyGroupBox->setChecked(config.receiveNotifyForLocal || config.receiveNotifyForDomain);
    setNotifyEnabled(ui->receiveNotifyGroupBox->isChecked());
}

} // namespace PasswordExpirationPolicy
