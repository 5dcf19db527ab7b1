// SPDX-License-Identifier: GPL-2.0-or-later
#include "orvanekcmodule.h"

#include "messagesmanager.h"
#include "statewidget.h"

#include <KLocalizedString>

#include <QEvent>
#include <QHBoxLayout>
#include <QLayout>
#include <QPushButton>
#include <QStyle>

namespace KCMOV
{

namespace
{
int heightFor(QWidget *widget, int width)
{
    return widget->hasHeightForWidth() ? widget->heightForWidth(width) : widget->sizeHint().height();
}
} // namespace

OrvaneKCModule::OrvaneKCModule(QWidget *parent, const QList<QVariant> &args)
    : KCModule(parent, args)
    , m_messages(new MessagesManager(this))
    , m_footer(new QWidget(this))
    , m_state(new StateWidget(m_footer))
    , m_resetButton(new QPushButton(m_footer))
{
    // The page has no defaults of its own and no handbook.
    setButtons(KCModule::Apply);

    m_footer->setObjectName(QStringLiteral("frameFooter"));
    auto *footerLayout = new QHBoxLayout(m_footer);
    footerLayout->setContentsMargins(0, 0, 0, 0);
    footerLayout->addWidget(m_state, 1);
    footerLayout->addWidget(m_resetButton);

    m_resetButton->setObjectName(QStringLiteral("resetButton"));
    m_resetButton->setText(i18nd("kcm-orvane-settings", "Reset"));
    m_resetButton->setToolTip(i18nd("kcm-orvane-settings", "Discard the changes and show the stored settings again"));
    m_resetButton->setIcon(QIcon::fromTheme(QStringLiteral("edit-undo")));
    m_resetButton->hide();
    connect(m_resetButton, &QPushButton::clicked, this, &OrvaneKCModule::load);

    connect(m_state, &StateWidget::stateChanged, this, &OrvaneKCModule::updateFrame);
    connect(m_messages, &MessagesManager::messagesChanged, this, &OrvaneKCModule::updateFrame);
    updateFrame();
}

OrvaneKCModule::~OrvaneKCModule() = default;

void OrvaneKCModule::setResetButtonVisible(bool visible)
{
    m_resetButton->setVisible(visible);
    updateFrame();
}

bool OrvaneKCModule::isResetButtonVisible() const
{
    return !m_resetButton->isHidden();
}

MessagesManager *OrvaneKCModule::messagesManager() const
{
    return m_messages;
}

StateWidget *OrvaneKCModule::stateWidget() const
{
    return m_state;
}

void OrvaneKCModule::load()
{
    if (!isValid()) {
        return;
    }
    m_state->setBusy(i18nd("kcm-orvane-settings", "Loading the settings…"));
    access();
}

void OrvaneKCModule::save()
{
    if (!isValid()) {
        return;
    }
    m_state->setBusy(i18nd("kcm-orvane-settings", "Applying the settings…"));
    change();
}

bool OrvaneKCModule::isValid()
{
    return true;
}

void OrvaneKCModule::access()
{
    KCModule::load();
    m_state->resetState();
}

void OrvaneKCModule::change()
{
    KCModule::save();
    m_state->resetState();
}

void OrvaneKCModule::chooseModule()
{
}

void OrvaneKCModule::unchooseModule()
{
}

bool OrvaneKCModule::event(QEvent *event)
{
    // A banner that grows or shrinks asks the page for a new layout.
    if (event->type() == QEvent::LayoutRequest) {
        updateFrame();
    }
    return KCModule::event(event);
}

void OrvaneKCModule::resizeEvent(QResizeEvent *event)
{
    KCModule::resizeEvent(event);
    updateFrame();
}

void OrvaneKCModule::updateFrame()
{
    if (m_updatingFrame) {
        return;
    }
    m_updatingFrame = true;

    m_footer->setVisible(!m_resetButton->isHidden() || !m_state->isNeutral());

    // Banners and footer line up with the page's form: they take the margins
    // of the page's own layout, and keep one layout spacing from the form.
    QMargins margins(style()->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, this),
                     style()->pixelMetric(QStyle::PM_LayoutTopMargin, nullptr, this),
                     style()->pixelMetric(QStyle::PM_LayoutRightMargin, nullptr, this),
                     style()->pixelMetric(QStyle::PM_LayoutBottomMargin, nullptr, this));
    int spacing = style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing, nullptr, this);
    if (layout()) {
        margins = layout()->contentsMargins();
        if (layout()->spacing() >= 0) {
            spacing = layout()->spacing();
        }
    }
    const int innerWidth = qMax(0, width() - margins.left() - margins.right());

    int reservedTop = 0;
    if (!m_messages->isHidden()) {
        const int height = heightFor(m_messages, innerWidth);
        m_messages->setGeometry(margins.left(), margins.top(), innerWidth, height);
        reservedTop = height + spacing;
    }
    int reservedBottom = 0;
    if (!m_footer->isHidden()) {
        const int height = heightFor(m_footer, innerWidth);
        m_footer->setGeometry(margins.left(), this->height() - margins.bottom() - height, innerWidth, height);
        reservedBottom = height + spacing;
    }
    // The page's own layout lays its form out inside the contents rectangle.
    if (contentsMargins() != QMargins(0, reservedTop, 0, reservedBottom)) {
        setContentsMargins(0, reservedTop, 0, reservedBottom);
    }

    m_updatingFrame = false;
}

} // namespace KCMOV
