// SPDX-License-Identifier: GPL-2.0-or-later
#include "orvanekcmodule.h"

#include "messagesmanager.h"
#include "statewidget.h"

#include <KLocalizedString>

#include <QEvent>
#include <QHBoxLayout>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
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
    : ModuleWidget(parent, args)
    , m_messages(new MessagesManager(this))
    , m_footer(new QWidget(this))
    , m_state(new StateWidget(m_footer))
    , m_resetButton(new QPushButton(m_footer))
{
    // The page has no defaults of its own and no handbook.
    setButtons(ModuleWidget::Apply);

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

    connect(this, qOverload<bool>(&ModuleWidget::changed), this, [this](bool changed) {
        m_changed = changed;
    });
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
    // A settings shell marks its page unchanged once save() returns, even when
    // the page refused the save and still holds the user's entries. Tell it
    // again, after it has done so.
    if (m_changed) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_changed) {
                    Q_EMIT changed(true);
                }
            },
            Qt::QueuedConnection);
    }
}

bool OrvaneKCModule::isValid()
{
    return true;
}

void OrvaneKCModule::access()
{
    ModuleWidget::load();
    m_state->resetState();
}

void OrvaneKCModule::change()
{
    ModuleWidget::save();
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
    // The footer was created before the page's form: before the page is
    // first shown, its reset button moves behind the form in the tab order.
    if (event->type() == QEvent::Polish) {
        QWidget *last = nullptr;
        for (QWidget *widget = nextInFocusChain(); widget != this && isAncestorOf(widget); widget = widget->nextInFocusChain()) {
            if (widget != m_footer && !m_footer->isAncestorOf(widget) && widget != m_messages && !m_messages->isAncestorOf(widget)) {
                last = widget;
            }
        }
        if (last) {
            QWidget::setTabOrder(last, m_resetButton);
        }
    }
    return ModuleWidget::event(event);
}

void OrvaneKCModule::resizeEvent(QResizeEvent *event)
{
    ModuleWidget::resizeEvent(event);
    updateFrame();
}

void OrvaneKCModule::growWindow()
{
    // A banner that appears on a page already on screen makes the page
    // taller. Where the page is shown in a scroll area of a window that is
    // too small for it now (the settings shell sizes its dialog before the
    // page is loaded), the window grows by what is missing, within the
    // screen, instead of hiding the end of the form behind a scroll bar.
    QScrollArea *scrollArea = nullptr;
    for (QWidget *ancestor = parentWidget(); ancestor && !scrollArea; ancestor = ancestor->parentWidget()) {
        scrollArea = qobject_cast<QScrollArea *>(ancestor);
    }
    if (!isVisible() || !scrollArea || !scrollArea->widget()) {
        return;
    }
    const int missing = scrollArea->widget()->minimumSizeHint().height() - scrollArea->viewport()->height();
    if (missing <= 0) {
        return;
    }
    QWidget *top = window();
    int height = top->height() + missing;
    if (const QScreen *screen = top->screen()) {
        height = qMin(height, screen->availableGeometry().height() - (top->frameGeometry().height() - top->height()));
    }
    if (height > top->height()) {
        top->resize(top->width(), height);
    }
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
    const QMargins reserved(0, reservedTop, 0, reservedBottom);
    if (contentsMargins() != reserved) {
        setContentsMargins(reserved);
    }
    // Once the layouts have settled, make room for a frame that has grown
    // while the page is on screen.
    if (isVisible()) {
        if (reservedTop + reservedBottom > m_frameHeightShown) {
            QMetaObject::invokeMethod(this, &OrvaneKCModule::growWindow, Qt::QueuedConnection);
        }
        m_frameHeightShown = reservedTop + reservedBottom;
    }

    m_updatingFrame = false;
}

} // namespace KCMOV
