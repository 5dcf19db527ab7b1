// SPDX-License-Identifier: GPL-2.0-or-later
// The plug-in's entry: the factory that creates the page.
//
// With KDE Frameworks 5 the factory has no JSON metadata and creates the page
// itself, which is KF5's KCModule. KF6's settings shells find a module by the
// JSON metadata of its plug-in and take a KF6 KCModule, which is no widget;
// there the factory carries the metadata and hands the shell a KCModule that
// shows the page as its widget.
#include "kcmodule.h"

#include <KPluginFactory>

#if PWEXPIRY_KF_MAJOR_VERSION >= 6
#include <KAcceleratorManager>
#include <KCModule>

#include <QEvent>
#include <QPointer>
#endif

class Q_DECL_EXPORT KCMExpirationFactory : public KPluginFactory
{
    Q_OBJECT
#if PWEXPIRY_KF_MAJOR_VERSION >= 6
    Q_PLUGIN_METADATA(IID KPluginFactory_iid FILE "kcm_pwexpiry.json")
#else
    Q_PLUGIN_METADATA(IID KPluginFactory_iid)
#endif
    Q_INTERFACES(KPluginFactory)

public:
    KCMExpirationFactory();
    ~KCMExpirationFactory() override;
};

namespace
{
// The page's parent is the parent object when that is a widget; the separate
// parent-widget argument is not used.
PasswordExpirationPolicy::KCModule *newPage(QObject *parent, const QVariantList &args)
{
    return new PasswordExpirationPolicy::KCModule(qobject_cast<QWidget *>(parent), args);
}

#if PWEXPIRY_KF_MAJOR_VERSION >= 6
// What a KF6 shell holds: its widget is the page, and the shell's load, save
// and defaults reach the page's, whose changed(bool) tells the shell whether
// there is something to save.
class PageModule : public KCModule
{
    Q_OBJECT

public:
    PageModule(QWidget *parent, const KPluginMetaData &metaData, PasswordExpirationPolicy::KCModule *page)
        : KCModule(parent, metaData)
        , m_page(page)
    {
        setButtons(KAbstractConfigModule::Buttons(int(page->buttons())));
        // KF5's shells gave the buttons and check boxes of their window,
        // the page's among them, keyboard accelerators; KF6's leave the
        // page out. The window is known once the page is shown in it.
        page->installEventFilter(this);
        connect(page, &KCMOV::ModuleWidget::changed, this, &KAbstractConfigModule::setNeedsSave);
    }

    ~PageModule() override
    {
        if (m_page) {
            m_page->removeEventFilter(this);
            delete m_page.data();
        }
    }

    QWidget *widget() override
    {
        return m_page;
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The page sends events while it is destroyed as well, when it is no
        // page any more: only a Show is looked at.
        if (event->type() == QEvent::Show && watched == m_page) {
            m_page->removeEventFilter(this);
            KAcceleratorManager::manage(m_page->window());
        }
        return KCModule::eventFilter(watched, event);
    }

    void load() override
    {
        if (m_page) {
            m_page->load();
        }
    }

    void save() override
    {
        if (m_page) {
            m_page->save();
        }
    }

    void defaults() override
    {
        if (m_page) {
            m_page->defaults();
        }
    }

private:
    QPointer<PasswordExpirationPolicy::KCModule> m_page;
};

QObject *createPage(QWidget *parentWidget, QObject *parent, const KPluginMetaData &metaData, const QVariantList &args)
{
    Q_UNUSED(parentWidget)
    return new PageModule(qobject_cast<QWidget *>(parent), metaData, newPage(parent, args));
}
#else
QObject *createPage(QWidget *parentWidget, QObject *parent, const QVariantList &args)
{
    Q_UNUSED(parentWidget)
    return newPage(parent, args);
}
#endif
} // namespace

KCMExpirationFactory::KCMExpirationFactory()
{
#if PWEXPIRY_KF_MAJOR_VERSION >= 6
    registerPlugin<PageModule>(&createPage);
#else
    // The keyword form is the one way to register an instance function of our
    // own; the default one asserts on a parent that is not a widget.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    registerPlugin<PasswordExpirationPolicy::KCModule>(QString(), &createPage);
    QT_WARNING_POP
#endif
}

KCMExpirationFactory::~KCMExpirationFactory() = default;

#include "kcmexpirationfactory.moc"
