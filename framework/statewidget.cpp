// SPDX-License-Identifier: GPL-2.0-or-later
#include "statewidget.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QStyle>

namespace KCMOV
{

StateWidget::StateWidget(QWidget *parent)
    : QWidget(parent)
    , m_icon(new QLabel(this))
    , m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("stateWidget"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_icon);
    layout->addWidget(m_label, 1);
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    m_icon->setPixmap(QIcon::fromTheme(QStringLiteral("view-refresh")).pixmap(iconSize));
    resetState();
}

StateWidget::~StateWidget() = default;

void StateWidget::setBusy(const QString &text)
{
    m_label->setText(text);
    m_icon->setVisible(!m_icon->pixmap(Qt::ReturnByValue).isNull());
    m_label->show();
    // The page may block while it works; show the state at once.
    repaint();
    Q_EMIT stateChanged();
}

void StateWidget::resetState()
{
    m_label->clear();
    m_label->hide();
    m_icon->hide();
    Q_EMIT stateChanged();
}

bool StateWidget::isNeutral() const
{
    return m_label->text().isEmpty();
}

QString StateWidget::text() const
{
    return m_label->text();
}

} // namespace KCMOV
