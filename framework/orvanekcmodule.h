// SPDX-License-Identifier: GPL-2.0-or-later
// The frame of an Orvane settings page. A page derives from it, builds its
// own form into itself (with a top-level layout of its own) and implements
// access() to load and change() to save. The frame adds a message area above
// the form and a footer with the state display and a reset button below it;
// it reserves room for them through the page's contents margins, so that the
// page's own layout stays exactly as the page built it.
#pragma once

#include "kcmodulecompat.h"

#include <QList>
#include <QVariant>

class QPushButton;

namespace KCMOV
{

class MessagesManager;
class StateWidget;

class OrvaneKCModule : public ModuleWidget
{
    Q_OBJECT

public:
    explicit OrvaneKCModule(QWidget *parent = nullptr, const QList<QVariant> &args = QList<QVariant>());
    ~OrvaneKCModule() override;

    // Shows or hides the frame's reset button, which loads the page again.
    void setResetButtonVisible(bool visible);
    bool isResetButtonVisible() const;

    MessagesManager *messagesManager() const;
    StateWidget *stateWidget() const;

    // The shell's load and save reach the page's access() and change().
    void load() override;
    void save() override;

public Q_SLOTS:
    // Whether the page can be used at all; an invalid page is neither loaded nor saved.
    virtual bool isValid();
    // Loads the settings into the page; called on load and on reset.
    virtual void access();
    // Stores the settings shown on the page; called when the user applies them.
    virtual void change();
    // Called by a container that shows several pages when this page becomes
    // the current one, and when another page takes its place.
    virtual void chooseModule();
    virtual void unchooseModule();

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateFrame();
    void growWindow();

    MessagesManager *m_messages;
    QWidget *m_footer;
    StateWidget *m_state;
    QPushButton *m_resetButton;
    bool m_updatingFrame = false;
    // What the page last told the shell through changed(bool).
    bool m_changed = false;
    // Height of banners and footer when the page was last seen on screen.
    int m_frameHeightShown = 0;
};

} // namespace KCMOV
