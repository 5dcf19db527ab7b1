// SPDX-License-Identifier: GPL-2.0-or-later
// Messages of a settings page: every message a page posts is kept in a list
// and, while it is active, shown on the page as a banner until the user
// closes it.
#pragma once

#include <QList>
#include <QString>
#include <QVariantList>
#include <QWidget>

class QVBoxLayout;
class KMessageWidget;

namespace KCMOV
{

// How serious a message is; the values follow KMessageWidget's types.
enum class MessageType : int {
    Positive = 0,
    Information = 1,
    Warning = 2,
    Error = 3,
};

// Where a message is in its life: an active message is shown until the user
// dismisses it; a message posted as dismissed is only recorded.
enum class State : int {
    Active = 0,
    Dismissed = 1,
};

struct Message {
    QString title;
    MessageType type = MessageType::Information;
    QString text;
    State state = State::Active;
};

class MessagesManager : public QWidget
{
    Q_OBJECT
    // Every posted message as a map {title, type, text, state}, in posting order.
    Q_PROPERTY(QVariantList messages READ messageList NOTIFY messagesChanged)

public:
    explicit MessagesManager(QWidget *parent = nullptr);
    ~MessagesManager() override;

    void newMessage(const QString &title, MessageType type, const QString &text, State state);

    // Every message posted so far, oldest first, with its current state.
    QList<Message> messages() const;
    QVariantList messageList() const;

    // Number of banners shown now.
    int activeCount() const;

Q_SIGNALS:
    void messagesChanged();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void dismiss(KMessageWidget *banner);
    void releaseBannerHeights();

    struct Banner {
        KMessageWidget *widget;
        QString title;
        MessageType type;
        QString text;
    };

    QVBoxLayout *m_layout;
    QList<Message> m_messages;
    QList<Banner> m_banners;
};

} // namespace KCMOV
