// SPDX-License-Identifier: GPL-2.0-or-later
// The base of a settings page. With KDE Frameworks 5 it is KDE's KCModule,
// which is a widget. KF6's KCModule is no widget any more; there a page is a
// widget of its own, ModuleWidget, with the calls of KF5's KCModule that the
// frame and its pages use: load(), save() and defaults(), the buttons, and
// the changed(bool) signal through which a page tells about unsaved changes.
// The plug-in hands a KF6 shell a KCModule that shows the page as its widget
// and passes these calls on.
#pragma once

#if PWEXPIRY_KF_MAJOR_VERSION >= 6

#include <QVariant>
#include <QWidget>

namespace KCMOV
{

class ModuleWidget : public QWidget
{
    Q_OBJECT

public:
    // The values of KCModule's buttons in both versions of KDE Frameworks.
    enum Button {
        NoAdditionalButton = 0,
        Help = 1,
        Default = 2,
        Apply = 4,
        Export = 8,
    };
    Q_DECLARE_FLAGS(Buttons, Button)
    Q_FLAG(Buttons)

    explicit ModuleWidget(QWidget *parent = nullptr, const QVariantList &args = QVariantList());
    ~ModuleWidget() override;

    void setButtons(Buttons buttons);
    Buttons buttons() const;

public Q_SLOTS:
    virtual void load();
    virtual void save();
    virtual void defaults();

Q_SIGNALS:
    // true: the page holds changes that are not saved; false: it shows what is stored.
    void changed(bool state);

private:
    Buttons m_buttons = Buttons(Help | Default | Apply);
};

} // namespace KCMOV

Q_DECLARE_OPERATORS_FOR_FLAGS(KCMOV::ModuleWidget::Buttons)

#else

#include <KCModule>

namespace KCMOV
{
using ModuleWidget = ::KCModule;
} // namespace KCMOV

#endif
