// SPDX-License-Identifier: GPL-2.0-or-later
// The settings page as the settings shell gets it: the built plug-in loaded
// with QPluginLoader, the page created by the plug-in's factory.
//
// The shell holds a KCModule. With KDE Frameworks 5 that is the page itself;
// KF6's KCModule is no widget, and the page is the widget it shows. The
// tests drive the module as the shell does (load, save, buttons) and look at
// the page's widgets and its changed(bool) signal, the same on both.
#pragma once

#include <KCModule>
#include <KMessageWidget>
#include <KPluginFactory>

#include <QPluginLoader>
#include <QTest>
#include <QVariantMap>

#include <memory>

namespace PageFixture
{

// The plug-in built with the tests, or a copy of it that a system test names.
inline QString pluginPath()
{
    return qEnvironmentVariable("PWEXPIRY_PLUGIN", QStringLiteral(PWEXPIRY_PLUGIN));
}

inline KPluginFactory *factory()
{
    QPluginLoader loader(pluginPath());
    auto *factory = qobject_cast<KPluginFactory *>(loader.instance());
    if (!factory) {
        qWarning() << "cannot load" << loader.fileName() << loader.errorString();
    }
    return factory;
}

// What the factory makes for the given parent, or null when the plug-in
// cannot make anything.
inline QObject *createPage(QWidget *parent = nullptr)
{
    KPluginFactory *pluginFactory = factory();
    return pluginFactory ? pluginFactory->create<QObject>(parent, QVariantList()) : nullptr;
}

// The page's widget in what the factory made.
inline QWidget *pageWidget(QObject *created)
{
#if PWEXPIRY_KF_MAJOR_VERSION >= 6
    auto *module = qobject_cast<KCModule *>(created);
    return module ? module->widget() : nullptr;
#else
    return qobject_cast<KCModule *>(created);
#endif
}

// The class the framework's page class derives from: KF5's KCModule, or on
// KF6 the framework's own page widget.
#if PWEXPIRY_KF_MAJOR_VERSION >= 6
constexpr char moduleBaseClass[] = "KCMOV::ModuleWidget";
#else
constexpr char moduleBaseClass[] = "KCModule";
#endif

// A page as the shell holds it, owned: get() and -> are the page's widget,
// load(), save() and buttons() go to the shell's KCModule.
class Page
{
public:
    Page() = default;
    explicit Page(QObject *created)
    {
        reset(created);
    }

    void reset(QObject *created = nullptr)
    {
        auto *module = qobject_cast<KCModule *>(created);
        if (created && !module) {
            qWarning() << "the factory made no KCModule but" << created->metaObject()->className();
            delete created;
        }
        m_module.reset(module);
    }

    KCModule *module() const
    {
        return m_module.get();
    }
    QWidget *get() const
    {
        return pageWidget(m_module.get());
    }
    QWidget *operator->() const
    {
        return get();
    }
    explicit operator bool() const
    {
        return get() != nullptr;
    }

    void load()
    {
        m_module->load();
    }
    void save()
    {
        m_module->save();
    }
    int buttons() const
    {
        return int(m_module->buttons());
    }

private:
    std::unique_ptr<KCModule> m_module;
};

template<typename T>
T *widget(QObject *page, const char *name)
{
    T *found = page->findChild<T *>(QString::fromLatin1(name));
    if (!found) {
        qWarning() << "no widget" << name;
    }
    return found;
}

// Every message posted to the framework's message manager: {title, type, text, state}.
inline QVariantList postedMessages(QObject *page)
{
    QObject *manager = page->findChild<QObject *>(QStringLiteral("messagesManager"));
    return manager ? manager->property("messages").toList() : QVariantList();
}

inline QVariantMap message(const QString &title, const QString &text)
{
    return QVariantMap{
        {QStringLiteral("title"), title},
        {QStringLiteral("type"), 3},
        {QStringLiteral("text"), text},
        {QStringLiteral("state"), 0},
    };
}

// Banners that a person sees on the page now.
inline QList<KMessageWidget *> shownBanners(QWidget *page)
{
    QList<KMessageWidget *> shown;
    const QList<KMessageWidget *> banners = page->findChildren<KMessageWidget *>();
    for (KMessageWidget *banner : banners) {
        if (banner->isVisibleTo(page)) {
            shown.append(banner);
        }
    }
    return shown;
}

// The page's signal changed(bool): KF5's KCModule's, or on KF6 the framework's.
const char *const changedSignal = SIGNAL(changed(bool));

// The values changed(bool) carried, in order.
inline QList<bool> changedValues(const QList<QList<QVariant>> &spy)
{
    QList<bool> values;
    for (const QList<QVariant> &arguments : spy) {
        values.append(arguments.at(0).toBool());
    }
    return values;
}

} // namespace PageFixture
