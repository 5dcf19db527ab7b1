// SPDX-License-Identifier: GPL-2.0-or-later
#include "messagesmanager.h"

#include <KMessageWidget>

#include <QVBoxLayout>

#include <algorithm>

namespace KCMOV
{

namespace
{
KMessageWidget::MessageType bannerType(MessageType type)
{
    switch (type) {
    case MessageType::Positive:
        return KMessageWidget::Positive;
    case MessageType::Information:
        return KMessageWidget::Information;
    case MessageType::Warning:
        return KMessageWidget::Warning;
    case MessageType::Error:
        break;
    }
    return KMessageWidget::Error;
}

// The text as rich text: escaped, with each line break kept.
QString richText(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br/>"));
}

QString bannerText(const QString &title, const QString &text)
{
    if (title.isEmpty()) {
        return richText(text);
    }
    return QStringLiteral("<b>%1</b><br/>%2").arg(title.toHtmlEscaped(), richText(text));
}
} // namespace

MessagesManager::MessagesManager(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("messagesManager"));
    m_layout->setContentsMargins(0, 0, 0, 0);
    hide();
}

MessagesManager::~MessagesManager() = default;

void MessagesManager::newMessage(const QString &title, MessageType type, const QString &text, State state)
{
    m_messages.append(Message{title, type, text, state});

    if (state == State::Active) {
        // The same message posted again while its banner is still open keeps
        // that one banner instead of stacking copies of it.
        const bool shown = std::any_of(m_banners.cbegin(), m_banners.cend(), [&](const Banner &banner) {
            return banner.title == title && banner.type == type && banner.text == text;
        });
        if (!shown) {
            auto *banner = new KMessageWidget(this);
            banner->setObjectName(QStringLiteral("message"));
            banner->setMessageType(bannerType(type));
            banner->setText(bannerText(title, text));
            banner->setWordWrap(true);
            banner->setCloseButtonVisible(true);
            connect(banner, &KMessageWidget::hideAnimationFinished, this, [this, banner] {
                dismiss(banner);
            });
            m_layout->addWidget(banner);
            m_banners.append(Banner{banner, title, type, text});
            banner->show();
            show();
            releaseBannerHeights();
        }
    }
    updateGeometry();
    Q_EMIT messagesChanged();
}

void MessagesManager::dismiss(KMessageWidget *banner)
{
    for (int i = 0; i < m_banners.size(); ++i) {
        const Banner entry = m_banners.at(i);
        if (entry.widget != banner) {
            continue;
        }
        for (Message &message : m_messages) {
            if (message.title == entry.title && message.type == entry.type && message.text == entry.text) {
                message.state = State::Dismissed;
            }
        }
        m_banners.removeAt(i);
        banner->deleteLater();
        break;
    }
    if (m_banners.isEmpty()) {
        hide();
    }
    updateGeometry();
    Q_EMIT messagesChanged();
}

void MessagesManager::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    releaseBannerHeights();
}

void MessagesManager::releaseBannerHeights()
{
    // A banner fixes its height to its content when it is first shown, at
    // whatever width it had then; the word-wrapped text gets its height from
    // the width the banner finally has. Animations manage heights of their own.
    for (const Banner &banner : std::as_const(m_banners)) {
        if (!banner.widget->isShowAnimationRunning() && !banner.widget->isHideAnimationRunning()) {
            banner.widget->setMinimumHeight(0);
            banner.widget->setMaximumHeight(QWIDGETSIZE_MAX);
        }
    }
    updateGeometry();
}

QList<Message> MessagesManager::messages() const
{
    return m_messages;
}

QVariantList MessagesManager::messageList() const
{
    QVariantList list;
    for (const Message &message : m_messages) {
        list.append(QVariantMap{
            {QStringLiteral("title"), message.title},
            {QStringLiteral("type"), static_cast<int>(message.type)},
            {QStringLiteral("text"), message.text},
            {QStringLiteral("state"), static_cast<int>(message.state)},
        });
    }
    return list;
}

int MessagesManager::activeCount() const
{
    return m_banners.size();
}

} // namespace KCMOV
