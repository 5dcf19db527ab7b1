// SPDX-License-Identifier: GPL-2.0-or-later
// The state display of a settings page: it tells the user that the page is
// loading or applying its settings, and is empty in its neutral state.
#pragma once

#include <QWidget>

class QLabel;

namespace KCMOV
{

class StateWidget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool neutral READ isNeutral NOTIFY stateChanged)
    Q_PROPERTY(QString text READ text NOTIFY stateChanged)

public:
    explicit StateWidget(QWidget *parent = nullptr);
    ~StateWidget() override;

    // Shows that the page is busy with the given work.
    void setBusy(const QString &text);
    // Back to the neutral state: nothing shown.
    void resetState();

    bool isNeutral() const;
    QString text() const;

Q_SIGNALS:
    void stateChanged();

private:
    QLabel *m_icon;
    QLabel *m_label;
};

} // namespace KCMOV
